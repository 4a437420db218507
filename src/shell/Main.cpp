#include "shell/Main.h"

#include "engine/picture_budget.h"
#include "platform/StandardLibrary.h"
#include "platform/application.h"
#include "platform/exceptions.h"
#include "scene/URecommendation.h"
#include "scene/scene_apply.h"
#include "shell/URegistry.h"
#include "shell/show_session.h"

namespace nimbrel {

namespace {

const char* const kBadSizeText = "サイズ指定が不正です";

constexpr uint32_t kFirstPictureDelay = 100;
constexpr uint32_t kCopyInterval = 500;

}  // namespace

// The session's timMouse is the window's first timer, as it always was.
TfrmMain::TfrmMain(TShowWindow& Window, TSettingsStore& Store, TPasswordServices& Passwords, const TSaverInit& Init,
                   uint32_t Seed)
    : TfrmMain(Window, std::make_unique<TShowSession>(Window.CreateTimer(), Store, Passwords, Init), nullptr, Seed) {}

TfrmMain::TfrmMain(TShowWindow& Window, TShowSession& Session, uint32_t Seed)
    : TfrmMain(Window, nullptr, &Session, Seed) {}

TfrmMain::TfrmMain(TShowWindow& Window, std::unique_ptr<TShowSession> OwnSession, TShowSession* Session,
                   uint32_t Seed)
    : Window_(Window),
      OwnSession_(std::move(OwnSession)),
      Session_(Session ? *Session : *OwnSession_),
      Random_(Seed) {
    timDraw_ = Window_.CreateTimer();
    timDrawMandel_ = Window_.CreateTimer();
    timDraw_->OnTimer = [this] { timDrawTimer(); };
    timDrawMandel_->OnTimer = [this] { timDrawMandelTimer(); };
    Mandel_ = std::make_unique<TMandel>();
    if (Session_.Settings()) Layout_ = Session_.Settings()->DM;
    Session_.Join(*this);
    // The show on several monitors hides the cursor once for all windows.
    if (!OwnSession_) return;
    const TSaverMode mode = Session_.Init().SaverMode;
    if (mode == smSaver) Window_.ShowCursor(false);
    if (mode == smPreview) GuardHandler([this] { FormActivate(); });
}

TfrmMain::~TfrmMain() {
    Session_.Leave(*this);
    timDraw_.reset();
    timDrawMandel_.reset();
    Mandel_.reset();
    if (!OwnSession_) return;
    const TSaverMode mode = Session_.Init().SaverMode;
    // The settings are written back here.
    OwnSession_.reset();
    if (mode == smSaver) {
        Window_.ShowCursor(true);
        Window_.ShowApplicationWindow();
    }
}

TMandelssReg* TfrmMain::Settings() const { return Session_.Settings(); }
int32_t TfrmMain::MouseTicks() const { return Session_.MouseTicks(); }
TTimer& TfrmMain::timMouse() const { return Session_.timMouse(); }

void TfrmMain::FormActivate() { Session_.Activate(); }

void TfrmMain::PrepareShow() {
    LastIndex_ = -1;
    DefaultDrawMode_ = static_cast<TDrawMode>(Session_.Settings()->DrawMode);
    ApplyPictureSize();
}

void TfrmMain::StartPictures() { timDraw_->SetInterval(kFirstPictureDelay); }

void TfrmMain::CancelPicture() {
    if (Mandel_->GetBusy()) Mandel_->SetBusy(false);
}

void TfrmMain::ApplyPictureSize() {
    TMandelssReg& settings = *Session_.Settings();
    if (settings.SizeFull) {
        ApplyScreenSize();
        return;
    }
    Window_.SetColor(settings.Bgcolor);
    TPictureSize size{settings.SizeX, settings.SizeY};
    if (size.Width > 0 && size.Height > 0) {
        // Every scene may be shaded: the size must hold the result cache too.
        const TPictureSize fit = TPictureBudget::OfMachine().Largest(size.Width, size.Height, true);
        if (fit.Width > 0 && fit != size) {
            // More than this machine holds: said once, and the show goes on
            // at the largest picture of that shape; the settings keep that
            // size, so the next start says nothing.
            ShowError(kBadSizeText);
            settings.SizeX = fit.Width;
            settings.SizeY = fit.Height;
        }
        // Where not even one pixel fits, the size is refused as one of 0.
        size = fit;
    }
    try {
        Mandel_->SetWidth(size.Width);
        Mandel_->SetHeight(size.Height);
    } catch (...) {
        ShowError(kBadSizeText);
        settings.SizeFull = true;
        Abort();
    }
}

void TfrmMain::timDrawTimer() {
    timDraw_->SetInterval(0);
    // Another window's picture step is running: this one waits for the turn,
    // which the session hands on by starting timDraw again.
    if (!Session_.TakeTurn(*this)) return;
    timDrawMandel_->SetInterval(kCopyInterval);
    // The closing step runs however the picture step ends.
    struct TClosingStep {
        TfrmMain& Form;
        ~TClosingStep() {
            const int32_t wait = Form.Session_.Settings()->Wait;
            Form.timDraw_->SetInterval(static_cast<uint32_t>(wait < 0 ? 0 : wait));
            Form.timDrawMandel_->SetInterval(0);
            Form.Session_.EndTurn(Form);
        }
    } closing{*this};

    const TMandelssReg& settings = *Session_.Settings();
    const TRecommendationList& scenes = Session_.Recommendations();
    const int32_t count = scenes.Count();
    int32_t index = 0;
    if (count != 1) {
        std::uniform_int_distribution<int32_t> pick(0, count - 1);
        do index = pick(Random_);
        while (index == LastIndex_);
    }
    LastIndex_ = index;
    ApplyRecommendation(*Mandel_, scenes, index, settings.McfFolder, DefaultDrawMode_);
    // The monitor went away while a palette's message was open.
    if (!Session_.IsMember(*this)) Abort();
    Mandel_->Draw();
    ++Pictures_;
    timDrawMandelTimer();
    Session_.RearmMouse();
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

void TfrmMain::FormClick() { Session_.EndIfVerified(Window_); }

void TfrmMain::FormKeyDown(uint16_t) { Session_.EndIfVerified(Window_); }

void TfrmMain::FormMouseMove() { Session_.MouseMoved(Window_); }

void TfrmMain::timMouseTimer() { Session_.timMouseTimer(); }

bool TfrmMain::FormCloseQuery() {
    Session_.Closing();
    return true;
}

bool TfrmMain::WMSysCommand(uint32_t Command) { return Command == SC_SCREENSAVE; }

void TfrmMain::ApplyScreenSize() {
    const TMandelssReg* settings = Session_.Settings();
    if (!settings || !settings->SizeFull || Mandel_->GetBusy()) return;
    // A screen larger than this machine's pictures gets the largest picture
    // of its shape, without a word: the user asked for no size.
    const TPictureSize fit = TPictureBudget::OfMachine().Largest(Window_.ScreenWidth(), Window_.ScreenHeight(), true);
    Mandel_->SetWidth(fit.Width);
    Mandel_->SetHeight(fit.Height);
}

}  // namespace nimbrel
