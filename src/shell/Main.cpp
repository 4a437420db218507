#include "shell/Main.h"

#include <algorithm>

#include "platform/application.h"
#include "platform/exceptions.h"
#include "scene/URecommendation.h"
#include "platform/StandardLibrary.h"
#include "shell/URegistry.h"
#include "scene/scene_apply.h"

namespace nimbrel {

namespace {

const char* const kBadSizeText = "サイズ指定が不正です";

constexpr uint32_t kMouseInterval = 200;
constexpr uint32_t kFirstPictureDelay = 100;
constexpr uint32_t kCopyInterval = 500;

}  // namespace

TfrmMain::TfrmMain(TShowWindow& Window, TSettingsStore& Store, TPasswordServices& Passwords, const TSaverInit& Init,
                   uint32_t Seed)
    : Window_(Window), Store_(Store), Passwords_(Passwords), Init_(Init), Random_(Seed) {
    timMouse_ = Window_.CreateTimer();
    timDraw_ = Window_.CreateTimer();
    timDrawMandel_ = Window_.CreateTimer();
    timMouse_->OnTimer = [this] { timMouseTimer(); };
    timDraw_->OnTimer = [this] { timDrawTimer(); };
    timDrawMandel_->OnTimer = [this] { timDrawMandelTimer(); };

    MouseTicks_ = 0;
    timMouse_->SetInterval(kMouseInterval);
    FirstActivation_ = true;
    Mandel_ = std::make_unique<TMandel>();
    // A settings value the store cannot read (a bad colour text, a value of
    // another type) is reported, and the show then does not start.
    try {
        Settings_ = std::make_unique<TMandelssReg>(Store_);
        Layout_ = Settings_->DM;
    } catch (const std::exception& error) {
        Application().HandleException(error);
    }
    Recommendations_ = std::make_unique<TRecommendationList>();
    if (Init_.SaverMode == smSaver) Window_.ShowCursor(false);
    if (Init_.SaverMode == smPreview) {
        try {
            FormActivate();
        } catch (const std::exception& error) {
            Application().HandleException(error);
        }
    }
}

TfrmMain::~TfrmMain() {
    timMouse_.reset();
    timDraw_.reset();
    timDrawMandel_.reset();
    Mandel_.reset();
    Settings_.reset();
    Recommendations_.reset();
    if (Init_.SaverMode == smSaver) {
        Window_.ShowCursor(true);
        Window_.ShowApplicationWindow();
    }
}

void TfrmMain::FormActivate() {
    if (!FirstActivation_) return;
    FirstActivation_ = false;
    if (!Settings_) Abort();
    try {
        Recommendations_->LoadScenes(Settings_->MrpFile);
    } catch (...) {
        if (Init_.SaverMode == smPreview) Abort();
        ShowError(Recommendations_->LoadFailureText(Settings_->MrpFile));
        throw;
    }
    LastIndex_ = -1;
    DefaultDrawMode_ = static_cast<TDrawMode>(Settings_->DrawMode);
    ApplyPictureSize();
    timDraw_->SetInterval(kFirstPictureDelay);
}

void TfrmMain::ApplyPictureSize() {
    if (Settings_->SizeFull) {
        Mandel_->SetWidth(Window_.ScreenWidth());
        Mandel_->SetHeight(Window_.ScreenHeight());
        return;
    }
    Window_.SetColor(Settings_->Bgcolor);
    try {
        Mandel_->SetWidth(Settings_->SizeX);
        Mandel_->SetHeight(Settings_->SizeY);
    } catch (...) {
        ShowError(kBadSizeText);
        Settings_->SizeFull = true;
        Abort();
    }
}

void TfrmMain::timDrawTimer() {
    timDraw_->SetInterval(0);
    timDrawMandel_->SetInterval(kCopyInterval);
    // The closing step runs however the picture step ends.
    struct TClosingStep {
        TfrmMain& Form;
        ~TClosingStep() {
            Form.timDraw_->SetInterval(static_cast<uint32_t>(Form.Settings_->Wait < 0 ? 0 : Form.Settings_->Wait));
            Form.timDrawMandel_->SetInterval(0);
        }
    } closing{*this};

    const int32_t count = Recommendations_->Count();
    int32_t index = 0;
    if (count != 1) {
        std::uniform_int_distribution<int32_t> pick(0, count - 1);
        do index = pick(Random_);
        while (index == LastIndex_);
    }
    LastIndex_ = index;
    ApplyRecommendation(*Mandel_, *Recommendations_, index, Settings_->McfFolder, DefaultDrawMode_);
    Mandel_->Draw();
    timDrawMandelTimer();
    // Mouse moves are ignored for one tick after a picture; a picture that
    // ends within the first second does not cut that second short.
    MouseTicks_ = std::min(MouseTicks_, 4);
    timMouse_->SetInterval(kMouseInterval);
}

void TfrmMain::timDrawMandelTimer() {
    const uint32_t interval = timDrawMandel_->GetInterval();
    timDrawMandel_->SetInterval(0);
    struct TRestore {
        TTimer& Timer;
        uint32_t Interval;
        ~TRestore() { Timer.SetInterval(Interval); }
    } restore{*timDrawMandel_, interval};
    if (Layout_ == lmSpread)
        DrawSpread();
    else if (Layout_ == lmCenter)
        DrawCenter();
}

void TfrmMain::DrawCenter() {
    const TBitmap& bitmap = Mandel_->GetBitmap();
    Window_.Canvas().DrawBitmap(Window_.ClientWidth() / 2 - bitmap.Width() / 2,
                                Window_.ClientHeight() / 2 - bitmap.Height() / 2, bitmap);
}

void TfrmMain::DrawSpread() {
    const TBitmap& bitmap = Mandel_->GetBitmap();
    const int64_t w = bitmap.Width(), h = bitmap.Height();
    const int64_t W = Window_.ClientWidth(), H = Window_.ClientHeight();
    // A bitmap not yet sized (a copy while the first picture's palette message
    // is open) would never double: copy nothing.
    if (w <= 0 || h <= 0) return;
    TWindowCanvas& canvas = Window_.Canvas();
    canvas.DrawBitmap(0, 0, bitmap);
    for (int64_t x = w; x < W; x *= 2)
        canvas.CopyRect(static_cast<int32_t>(x), 0, TRect{0, 0, static_cast<int32_t>(x), static_cast<int32_t>(h)});
    for (int64_t y = h; y < H; y *= 2)
        canvas.CopyRect(0, static_cast<int32_t>(y), TRect{0, 0, static_cast<int32_t>(W), static_cast<int32_t>(y)});
}

void TfrmMain::CloseIfVerified() {
    if (VerifyPassword(Window_.Handle(), Init_.SaverMode, Store_, Window_, Passwords_)) Window_.Close();
}

void TfrmMain::FormClick() {
    if (Init_.SaverMode != smPreview) CloseIfVerified();
}

void TfrmMain::FormKeyDown(uint16_t) {
    if (Init_.SaverMode != smPreview) CloseIfVerified();
}

void TfrmMain::FormMouseMove() {
    if (Init_.SaverMode == smPreview || MouseTicks_ != 5) return;
    if (VerifyPassword(Window_.Handle(), Init_.SaverMode, Store_, Window_, Passwords_)) {
        Window_.Close();
    } else {
        MouseTicks_ = 3;
        timMouse_->SetInterval(kMouseInterval);
    }
}

void TfrmMain::timMouseTimer() {
    if (MouseTicks_ >= 5)
        timMouse_->SetInterval(0);
    else
        ++MouseTicks_;
}

bool TfrmMain::FormCloseQuery() {
    if (Mandel_->GetBusy()) Mandel_->SetBusy(false);
    return true;
}

bool TfrmMain::WMSysCommand(uint32_t Command) { return Command == SC_SCREENSAVE; }

void TfrmMain::ApplyScreenSize() {
    if (!Settings_ || !Settings_->SizeFull || Mandel_->GetBusy()) return;
    Mandel_->SetWidth(Window_.ScreenWidth());
    Mandel_->SetHeight(Window_.ScreenHeight());
}

}  // namespace nimbrel
