#include "shell/Main.h"

#include <algorithm>

#include "engine/picture_budget.h"
#include "platform/StandardLibrary.h"
#include "platform/application.h"
#include "platform/exceptions.h"
#include "scene/URecommendation.h"
#include "scene/scene_apply.h"
#include "shell/URegistry.h"
#include "shell/journey.h"
#include "values/deep_coordinates.h"
#include "shell/show_session.h"

namespace nimbrel {

namespace {

const char* const kBadSizeText = "サイズ指定が不正です";

constexpr uint32_t kFirstPictureDelay = 100;
constexpr uint32_t kCopyInterval = 500;
// The next keyframe of a journey is drawn from the message loop, as soon as
// the turn allows.
constexpr uint32_t kKeyframeDelay = 1;

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
    timFrame_ = Window_.CreateTimer();
    timFrame_->OnTimer = [this] { timFrameTimer(); };
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
    timFrame_.reset();
    Journey_.reset();
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

void TfrmMain::ChooseScene() {
    const TRecommendationList& scenes = Session_.Recommendations();
    const int32_t count = scenes.Count();
    int32_t index = 0;
    if (count != 1) {
        std::uniform_int_distribution<int32_t> pick(0, count - 1);
        do index = pick(Random_);
        while (index == LastIndex_);
    }
    LastIndex_ = index;
    ApplyRecommendation(*Mandel_, scenes, index, Session_.Settings()->McfFolder, DefaultDrawMode_);
    // The monitor went away while a palette's message was open.
    if (!Session_.IsMember(*this)) Abort();
}

void TfrmMain::RestAfterPicture() {
    const int32_t wait = Session_.Settings()->Wait;
    timDraw_->SetInterval(static_cast<uint32_t>(wait < 0 ? 0 : wait));
}

void TfrmMain::timDrawTimer() {
    timDraw_->SetInterval(0);
    // Another window's picture step is running: this one waits for the turn,
    // which the session hands on by starting timDraw again.
    if (!Session_.TakeTurn(*this)) return;
    if (Session_.Settings()->Journey) {
        JourneyStep();
        return;
    }
    timDrawMandel_->SetInterval(kCopyInterval);
    // The closing step runs however the picture step ends.
    struct TClosingStep {
        TfrmMain& Form;
        ~TClosingStep() {
            Form.RestAfterPicture();
            Form.timDrawMandel_->SetInterval(0);
            Form.Session_.EndTurn(Form);
        }
    } closing{*this};

    ChooseScene();
    Mandel_->Draw();
    ++Pictures_;
    timDrawMandelTimer();
    Session_.RearmMouse();
}

uint32_t TfrmMain::FrameInterval() const {
    // Whole milliseconds that add up to the display's rate: tick n falls at
    // n * 1000 / rate from the journey's start.
    const int64_t rate = std::max(1, Window_.RefreshRate());
    const int64_t n = FrameTicks_;
    return static_cast<uint32_t>(std::max<int64_t>(1, (n + 1) * 1000 / rate - n * 1000 / rate));
}

void TfrmMain::JourneyStep() {
    // A step that fails (a bad palette, a cancelled keyframe) drops the
    // journey; the next scene's starts after the pause.
    struct TClosingStep {
        TfrmMain& Form;
        bool Done = false;
        ~TClosingStep() {
            if (!Done) {
                Form.timFrame_->SetInterval(0);
                Form.Journey_.reset();
                Form.RestAfterPicture();
            }
            Form.Session_.EndTurn(Form);
        }
    } closing{*this};

    if (!Journey_ || Journey_->Finished()) {
        Journey_.reset();
        ChooseScene();
        const int32_t rate = std::max(1, Window_.RefreshRate());
        const TJourneyPlan plan(JourneyStartWidth(Mandel_->GetKind(), Mandel_->GetPower()), ExactWidth(Mandel_->GetView()),
                                rate, Session_.Settings()->ZoomSpeed);
        Journey_ = std::make_unique<TJourney>(plan);
        FrameTicks_ = 0;
        timFrame_->SetInterval(FrameInterval());
    }
    const int32_t keyframe = Journey_->NextKeyframe();
    if (keyframe >= 0) {
        // The keyframes share the scene's centre and everything else; only
        // the width changes, and the last one is the scene's own.
        Mandel_->SetView(KeyframeView(Mandel_->GetView(), Journey_->Plan(), keyframe));
        Mandel_->Draw();
        Journey_->AddKeyframe(keyframe, Mandel_->GetBitmap());
    }
    closing.Done = true;
    if (Journey_->NextKeyframe() >= 0)
        timDraw_->SetInterval(kKeyframeDelay);
    else if (!Journey_->AllDrawn())
        // As many keyframes wait as may: the next after a frame has used one.
        timDraw_->SetInterval(FrameInterval());
}

void TfrmMain::timFrameTimer() {
    if (!Journey_ || Journey_->Finished()) {
        timFrame_->SetInterval(0);
        return;
    }
    ++FrameTicks_;
    timFrame_->SetInterval(FrameInterval());
    const int32_t held = Journey_->Held();
    if (Journey_->NextFrame(Frame_)) {
        ShowPicture(Frame_);
        Window_.PresentFrame();
    }
    HeldFrames_ += Journey_->Held() - held;
    if (!Journey_->Finished()) return;
    // The last frame is the still: it stays for the pause.
    timFrame_->SetInterval(0);
    ++Pictures_;
    Session_.RearmMouse();
    RestAfterPicture();
}

void TfrmMain::timDrawMandelTimer() {
    const uint32_t interval = timDrawMandel_->GetInterval();
    timDrawMandel_->SetInterval(0);
    struct TRestore {
        TTimer& Timer;
        uint32_t Interval;
        ~TRestore() { Timer.SetInterval(Interval); }
    } restore{*timDrawMandel_, interval};
    ShowPicture(Mandel_->GetBitmap());
}

void TfrmMain::ShowPicture(const TBitmap& Picture) {
    if (Layout_ == lmSpread)
        DrawSpread(Picture);
    else if (Layout_ == lmCenter)
        DrawCenter(Picture);
}

void TfrmMain::DrawCenter(const TBitmap& bitmap) {
    Window_.Canvas().DrawBitmap(Window_.ClientWidth() / 2 - bitmap.Width() / 2,
                                Window_.ClientHeight() / 2 - bitmap.Height() / 2, bitmap);
}

void TfrmMain::DrawSpread(const TBitmap& bitmap) {
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
    // A journey keeps its size to its end.
    if (!settings || !settings->SizeFull || Mandel_->GetBusy() || (Journey_ && !Journey_->Finished())) return;
    // A screen larger than this machine's pictures gets the largest picture
    // of its shape, without a word: the user asked for no size.
    const TPictureSize fit = TPictureBudget::OfMachine().Largest(Window_.ScreenWidth(), Window_.ScreenHeight(), true);
    Mandel_->SetWidth(fit.Width);
    Mandel_->SetHeight(fit.Height);
}

}  // namespace nimbrel
