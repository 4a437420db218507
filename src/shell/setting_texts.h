// Every text the settings dialog shows: captions, list items, the filter and
// title of the system dialogs it opens, and its messages. The window and the
// dialog's logic both take them from here.
#pragma once

#include <string_view>

#include "nimbrel_version.h"

namespace nimbrel::setting_texts {

inline constexpr std::string_view kCaption = "Nimbrelの設定";

// The tabs of pgcSetting, indexed by TSettingPage.
inline constexpr std::string_view kPageCaptions[] = {"ﾌｧｲﾙ", "表示", "ﾊﾞｰｼﾞｮﾝ情報", "ｽﾞｰﾑ"};

// The buttons below the pages: OK is the default button, Cancel the cancel
// button; "&" marks the accelerator.
inline constexpr std::string_view kOK = "了解(&O)";
inline constexpr std::string_view kCancel = "ｷｬﾝｾﾙ(&C)";
inline constexpr std::string_view kUpdate = "更新(&A)";

// tbsFile
inline constexpr std::string_view kMrpFileLabel = "MRPﾌｧｲﾙ名";
inline constexpr std::string_view kBrows = "参照(&B)...";
inline constexpr std::string_view kMcfFolderLabel = "MCFﾌｧｲﾙの読み込み元";
inline constexpr std::string_view kRef = "参照(&R)...";

// tbsView, group by group
inline constexpr std::string_view kSizeGroup = "サイズ";
inline constexpr std::string_view kSizeFull = "全画面";
inline constexpr std::string_view kSizeUser = "サイズ指定";
inline constexpr std::string_view kSizeX = "横のサイズ";
inline constexpr std::string_view kSizeY = "縦のサイズ";

inline constexpr std::string_view kPositionGroup = "表示位置";
inline constexpr std::string_view kSpread = "並べる";
inline constexpr std::string_view kCenter = "中央";
inline constexpr std::string_view kBgcolor = "背景色";

inline constexpr std::string_view kWaitGroup = "待ち時間";
inline constexpr std::string_view kSeconds = "秒";

inline constexpr std::string_view kDrawModeGroup = "描画方法";
// The items of cmbDrawMode; an item's index is its draw mode (dmNormal ..
// dmAntialias).
inline constexpr std::string_view kDrawModeItems[] = {"普通", "探索", "境界走査", "浮き出し", "簡易ｱﾝﾁｴﾘｱｼﾝｸﾞ"};

// tbsJourney: the check box, and the seconds per halving of the view.
inline constexpr std::string_view kJourney = "場面ごとにｽﾞｰﾑする";
inline constexpr std::string_view kZoomSpeed = "幅が半分になるまでの時間";

// tbsAbout: the title in bold, then the version and the author.
inline constexpr std::string_view kAboutTitle = "Nimbrel";
inline constexpr std::string_view kAboutVersion = "Version " NIMBREL_VERSION;
inline constexpr std::string_view kAboutAuthor = "Orv";

// dlgMrp
inline constexpr std::string_view kMrpFilter = "MRPﾌｧｲﾙ(*.mrp)|*.mrp|全てのﾌｧｲﾙ|*";

// The folder browser for the MCF folder, rooted at the current drive.
inline constexpr std::string_view kMcfFolderTitle = "MCFファイルがあるフォルダを選んで下さい";
inline constexpr std::string_view kMcfFolderRoot = "\\";

// Messages of a failed check.
inline constexpr std::string_view kNoMrpFile = "MRPﾌｧｲﾙが見つかりません";
inline constexpr std::string_view kNoMcfFolder = "MCFﾌｫﾙﾀﾞが見つかりません";
inline constexpr std::string_view kBadEntry = "不正な入力があります";

}  // namespace nimbrel::setting_texts
