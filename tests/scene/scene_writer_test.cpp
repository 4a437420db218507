#include "scene/scene_writer.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "../support/bitmap_pixels.h"
#include "../support/temp_folder.h"
#include "engine/mandel_class.h"
#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "platform/sysutils.h"
#include "platform/text_file.h"
#include "scene/Hmcfr.h"
#include "scene/scene_apply.h"

namespace nimbrel {
namespace {

using testing::TTempFolder;

std::string ReadAll(const std::string& path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Same(double a, double b) { return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b); }

// Everything of the engine that decides its picture; the options of the
// shaded modes only where they are drawn with.
void ExpectSameState(const TMandel& a, const TMandel& b) {
    EXPECT_EQ(a.GetKind(), b.GetKind());
    EXPECT_TRUE(Same(a.GetCenter().Re, b.GetCenter().Re) && Same(a.GetCenter().Im, b.GetCenter().Im));
    EXPECT_TRUE(Same(a.GetViewWidth(), b.GetViewWidth()));
    if (a.GetKind() == fkJulia) {
        EXPECT_TRUE(Same(a.GetJuliaConstant().Re, b.GetJuliaConstant().Re) &&
                    Same(a.GetJuliaConstant().Im, b.GetJuliaConstant().Im));
    }
    EXPECT_EQ(a.GetMaxIter(), b.GetMaxIter());
    EXPECT_EQ(a.GetColorStep(), b.GetColorStep());
    EXPECT_EQ(a.GetPower(), b.GetPower());
    EXPECT_EQ(a.DrawMode, b.DrawMode);
    EXPECT_EQ(a.GetColorTable(), b.GetColorTable());
    if (IsPotentialDrawMode(a.DrawMode)) {
        EXPECT_EQ(a.PotentialVariant, b.PotentialVariant);
        EXPECT_EQ(a.BrightnessFold, b.BrightnessFold);
        EXPECT_TRUE(Same(a.GetEscapeRadius(), b.GetEscapeRadius()));
        EXPECT_EQ(a.InvertBrightness, b.InvertBrightness);
        EXPECT_TRUE(Same(a.GetScaleExponent(), b.GetScaleExponent()));
        EXPECT_EQ(a.ShadingFunction, b.ShadingFunction);
    }
}

// Random views of both kinds, every power 2..5 and draw mode 0..8, with the
// options of the shaded modes, palettes with Shift-JIS names, widths down to
// 1e-13 and coordinates that need 17 digits. Each is written as a line, read
// back by the scene reader and applied to a fresh engine as the show applies a
// scene: the engine state and the pixels are those of the view the line came
// from.
TEST(SceneWriter, EveryViewReadsBackAsTheSameStateAndPixels) {
    TTempFolder folder;
    const char* const palettes[] = {"", "fire", "夕焼け", "表"};
    folder.Write("fire.mcf", "000000\r\n#GRAD 200000, FFD070, 40\r\n");
    folder.Write("夕焼け.mcf", "000020\r\n#GRAD 000040, 3050C0, 32\r\n#GRAD 3050C0, FFD070, 32\r\n");
    folder.Write("表.mcf", "101010\r\n#LINE 0, 32, 255, -8, 30, 2.5, 24\r\n");
    const std::string palettesFolder = PathToUtf8(std::filesystem::u8path(folder.PathOf("fire.mcf")).parent_path());
    const std::string titles[] = {"Scene 1", "夕焼けの小さな複製", "a=b", "T=MANDEL"};

    std::mt19937_64 random(17);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(random); };
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<uint64_t>(n)); };
    const double hard[] = {0.30000000000000004, -0.7453000000000001, 1e-13, -1.7687000000000002, 0.0, -0.0};

    for (int i = 0; i < 360; ++i) {
        TMandel view;
        view.SetWidth(23);
        view.SetHeight(15);
        const bool julia = i % 2 == 1;
        if (julia) view.SwitchKind();
        view.SetPower(2 + (i / 2) % 4);
        const double width = i % 7 == 0 ? 1e-13 : std::pow(10.0, uniform(-13.5, 0.7));
        view.SetViewWidth(width);
        view.SetCenter({pick(5) == 0 ? hard[pick(6)] : uniform(-2, 2), pick(5) == 0 ? hard[pick(6)] : uniform(-1.5, 1.5)});
        if (julia) view.SetJuliaConstant({uniform(-1, 1), pick(4) == 0 ? hard[pick(6)] : uniform(-1, 1)});
        view.SetMaxIter(1 + pick(1500));
        view.SetColorStep(pick(3) == 0 ? 2 + pick(4) : 1);
        const std::string mcf = palettes[pick(4)];
        if (!mcf.empty()) LoadPalette(view, folder.PathOf(mcf + ".mcf"));
        view.DrawMode = static_cast<uint8_t>((i / 8) % 9);
        view.PotentialVariant = static_cast<uint8_t>(pick(2));
        view.BrightnessFold = static_cast<uint8_t>(pick(2));
        view.InvertBrightness = static_cast<uint8_t>(pick(2));
        view.ShadingFunction = static_cast<uint8_t>(pick(4));
        view.SetEscapeRadius(pick(3) == 0 ? 2.0 : std::exp(uniform(0.7, 9)));
        view.SetScaleExponent(pick(3) == 0 ? 0.0 : uniform(-3, 3));
        const std::string title = EncodeCp932(titles[pick(4)]);

        const std::string line = FormatRecommendation(CaptureRecommendation(view, title, EncodeCp932(mcf)));
        SCOPED_TRACE(line);
        TRecommendationList list;
        ASSERT_NO_THROW(list.LoadFromBytes("* written\r\n" + line + "\r\n"));
        ASSERT_EQ(list.Count(), 1);
        EXPECT_EQ(list.Item(0).Title, title);

        TMandel shown;
        shown.SetWidth(23);
        shown.SetHeight(15);
        ApplyRecommendation(shown, list, 0, palettesFolder, dmNormal);
        ExpectSameState(view, shown);
        view.Draw();
        shown.Draw();
        EXPECT_EQ(testing::Pixels(view.GetBitmap()), testing::Pixels(shown.GetBitmap()));
        if (HasFailure()) break;
    }
}

// Every scene the reader takes from a line, whatever its spacing, case, key
// order, repeated or unknown keys, number forms ("$1F", "1E3", ".5") and text
// (tabs, "=", Shift-JIS), has a line of its own: the writer refuses nothing
// the show accepts.
TEST(SceneWriter, EverySceneTheReaderTakesCanBeWritten) {
    // Each key with values of its kind, good and bad.
    const struct {
        const char* key;
        std::vector<std::string> values;
    } fields[] = {
        {"Title", {"A", "Scene 1", "a=b", "a\tb", "x\ry", "\x95\x5c", "\x97\x5b\x8f\xc4", "T=MANDEL", ""}},
        {"Cr", {"0", "-0.75", ".5", "3.", "1e-13", "2.5E+2", "-0", "1e300", "$1F", "abc"}},
        {"Ci", {"0", "0.1127", "-1e-300", "4.9e-324", "12345678901234567890", "1e999"}},
        {"W", {"3", "1e-13", "0.012", "2.5E+2", "0", "-1"}},
        {"Jr", {"-0.8", "0", "-0", "1e-7"}},
        {"Ji", {"0.156", "1", ".25"}},
        {"I", {"256", "1", "$400", "2147483647", "0", "1.5"}},
        {"D", {"1", "2", "$FFFFFFFF", "0"}},
        {"Pow", {"2", "3", "5", "17", "1"}},
        {"MCF", {"fire", "\x97\x5b\x8f\xc4\x82\xaf", "a=b", "x y"}},
        {"DM", {"0", "1", "3", "4", "8", "9", "-1"}},
        {"CM", {"1", "01", "yes"}},
        {"RE", {"1", "0", "2"}},
        {"ER", {"2", "50", "-2", "1e20", "0"}},
        {"LD", {"1", "0", "-7"}},
        {"CO", {"0", "-0", "1.5", "-3"}},
        {"PB", {"0", "1", "3", "4", "-1"}},
        {"Memo", {"note", "a=b", "\x95\x5c"}},
        {"Itr", {"500"}},
    };
    std::mt19937 random(4);
    auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
    const char* const blanks[] = {"", " ", "\t", "  "};
    auto field = [&](std::size_t f) {
        std::string key = fields[f].key;
        if (pick(2)) key = UpperCase(key);
        const auto& values = fields[f].values;
        // Mostly a good value: those come first.
        const std::string& value = values[pick(4) == 0 ? pick(values.size()) : pick(std::min<std::size_t>(3, values.size()))];
        return std::string(blanks[pick(4)]) + "," + blanks[pick(4)] + key + blanks[pick(4)] + "=" + blanks[pick(4)] + value;
    };
    int accepted = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string line = pick(2) ? "T=MANDEL" : "t = julia";
        for (std::size_t f = 0; f < 6; ++f)  // mostly complete scenes
            if (pick(10) != 0) line += field(f);
        for (std::size_t n = pick(7); n > 0; --n) line += field(pick(std::size(fields)));
        TRecommendationList list;
        try {
            list.LoadFromBytes(line);
        } catch (const EAbort&) {
            continue;
        }
        ++accepted;
        try {
            FormatRecommendation(list.Item(0));
        } catch (const EConvertError& e) {
            ADD_FAILURE() << line << ": " << e.what();
            break;
        }
    }
    EXPECT_GT(accepted, 5000);
}

// What a line names, field by field, in the order of the reader's keys.
TEST(SceneWriter, LinesNameTheViewAndLeaveOutWhatIsAbsent) {
    TMandel m;
    EXPECT_EQ(FormatRecommendation(CaptureRecommendation(m, "Home", "")), "T=MANDEL, Title=Home, Cr=-0.8, Ci=0, W=3, I=256");
    m.SwitchKind();
    m.SetJuliaConstant({-0.8, 0.156});
    m.SetPower(3);
    m.SetColorStep(2);
    m.DrawMode = dmAntialias;
    m.ShadingFunction = 2;  // not drawn with in mode 4, so not written
    EXPECT_EQ(FormatRecommendation(CaptureRecommendation(m, "J", "fire")),
              "T=JULIA, Title=J, Cr=0, Ci=0, W=4, Jr=-0.8, Ji=0.156, I=256, D=2, Pow=3, MCF=fire, DM=3");
    m.DrawMode = dmPotentialSmooth;
    m.SetEscapeRadius(50);
    m.SetScaleExponent(-1.5);
    m.PotentialVariant = 1;
    m.BrightnessFold = 1;
    m.InvertBrightness = 1;
    EXPECT_EQ(FormatRecommendation(CaptureRecommendation(m, "J", "")),
              "T=JULIA, Title=J, Cr=0, Ci=0, W=4, Jr=-0.8, Ji=0.156, I=256, D=2, Pow=3, DM=7, CM=1, RE=1, ER=50, LD=1, "
              "CO=-1.5, PB=2");
}

// A view that no line can hold is refused with the reason, and nothing is
// written for it.
TEST(SceneWriter, ViewsWithoutALineAreRefusedWithTheReason) {
    const struct {
        const char* name;
        void (*change)(TMandel&, std::string& title, std::string& mcf);
        const char* reason;
    } cases[] = {
        {"comma in the title", [](TMandel&, std::string& t, std::string&) { t = "a,b"; }, "title"},
        {"line break in the title", [](TMandel&, std::string& t, std::string&) { t = "a\nT=MANDEL"; }, "title"},
        {"blank at the end", [](TMandel&, std::string& t, std::string&) { t = "a "; }, "title"},
        {"comma in the palette", [](TMandel&, std::string&, std::string& p) { p = "a,b"; }, "palette name"},
        {"empty title", [](TMandel&, std::string& t, std::string&) { t = ""; }, "タイトル(Title)がありません。"},
        {"no iterations", [](TMandel& m, std::string&, std::string&) { m.SetMaxIter(0); }, "繰り返しの値(I)"},
        {"colour step 0", [](TMandel& m, std::string&, std::string&) { m.SetColorStep(0); }, "分解能の値(D)"},
        {"power 1", [](TMandel& m, std::string&, std::string&) { m.SetPower(1); }, "巾乗の値(POW)"},
        {"width 0", [](TMandel& m, std::string&, std::string&) { m.SetViewWidth(0); }, "幅の値(W)"},
        {"NaN centre", [](TMandel& m, std::string&, std::string&) { m.SetCenter({std::nan(""), 0}); }, "non-finite"},
        {"infinite width",
         [](TMandel& m, std::string&, std::string&) { m.SetViewWidth(std::numeric_limits<double>::infinity()); },
         "non-finite"},
        {"shading 7",
         [](TMandel& m, std::string&, std::string&) {
             m.DrawMode = dmPotentialGreen;
             m.ShadingFunction = 7;
         },
         "reads back"},
    };
    for (const auto& c : cases) {
        TMandel m;
        std::string title = "A", mcf;
        c.change(m, title, mcf);
        try {
            const std::string line = FormatRecommendation(CaptureRecommendation(m, title, mcf));
            ADD_FAILURE() << c.name << " gave " << line;
        } catch (const EConvertError& e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << c.name << ": " << e.what();
        }
    }
}

// Appending keeps every byte that is there, ends an open last line first, and
// starts a new or empty file with the comment; a file the show takes is still
// taken afterwards, with the new scene last.
TEST(SceneWriter, AppendingKeepsTheFileAndItsScenes) {
    const std::string line = "T=MANDEL, Title=\x95\x5c, Cr=-0.8, Ci=0, W=3, I=256";  // 表
    const std::string comment = "* Scenes kept with nimbrel-explore";
    const std::string added = line + "\r\n";
    const std::string scene = "T=JULIA, Title=\x97\x5b\x8f\xc4\x82\xaf, Cr=0, Ci=0, W=4, Jr=-0.8, Ji=0.156";
    const struct {
        const char* name;
        bool exists;
        std::string before;
        std::string after;
    } cases[] = {
        {"new file", false, "", comment + "\r\n" + added},
        {"empty file", true, "", comment + "\r\n" + added},
        {"CR LF", true, scene + "\r\n", scene + "\r\n" + added},
        {"bare LF", true, "* c\n" + scene + "\n", "* c\n" + scene + "\n" + added},
        {"open last line", true, scene, scene + "\r\n" + added},
        {"open Shift-JIS title ending in 0x5C", true, "T=MANDEL, Title=\x95\x5c, Cr=0, Ci=0, W=1",
         "T=MANDEL, Title=\x95\x5c, Cr=0, Ci=0, W=1\r\n" + added},
        {"bare CR at the end", true, scene + "\r", scene + "\r\r\n" + added},
        {"only comments", true, "* nothing yet\r\n\r\n", "* nothing yet\r\n\r\n" + added},
    };
    for (const auto& c : cases) {
        TTempFolder folder;
        const std::string path = folder.PathOf("kept.mrp");
        if (c.exists) folder.Write("kept.mrp", c.before);
        TRecommendationList before;
        int32_t count = 0;
        if (c.exists) {
            ASSERT_NO_THROW(before.LoadFromFile(path)) << c.name;
            count = before.Count();
        }
        AppendRecommendation(path, line, comment);
        EXPECT_EQ(ReadAll(path), c.after) << c.name;
        TRecommendationList after;
        ASSERT_NO_THROW(after.LoadFromFile(path)) << c.name;
        ASSERT_EQ(after.Count(), count + 1) << c.name;
        EXPECT_EQ(after.Item(count).Title, "\x95\x5c") << c.name;
        for (int32_t i = 0; i < count; ++i) EXPECT_EQ(after.Item(i).Title, before.Item(i).Title) << c.name;
        EXPECT_EQ(CountSceneLines(ReadAll(path)), count + 1) << c.name;
    }
}

TEST(SceneWriter, AppendingWhereNoFileCanBeWrittenFails) {
    TTempFolder folder;
    std::filesystem::create_directories(std::filesystem::u8path(folder.PathOf("a folder")));
    EXPECT_THROW(AppendRecommendation(folder.PathOf("a folder"), "T=MANDEL, Title=A, Cr=0, Ci=0, W=1", "*"),
                 EInOutError);
    EXPECT_THROW(AppendRecommendation(folder.PathOf("missing/kept.mrp"), "T=MANDEL, Title=A, Cr=0, Ci=0, W=1", "*"),
                 EInOutError);
    EXPECT_THROW(AppendRecommendation(std::string("kept\0.mrp", 9), "T=MANDEL, Title=A, Cr=0, Ci=0, W=1", "*"),
                 EInOutError);
}

TEST(SceneWriter, CountsTheLinesThatStartAScene) {
    EXPECT_EQ(CountSceneLines(""), 0);
    EXPECT_EQ(CountSceneLines("* T=MANDEL, x\r\nT=MANDEL\r\nT=MANDELBROT, Title=x\r\n"), 0);
    EXPECT_EQ(CountSceneLines(" t = julia , title=J\r\nT=MANDEL, W=0\nT=MANDEL,"), 3);
}

}  // namespace
}  // namespace nimbrel
