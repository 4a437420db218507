#include "shell/show_session.h"

#include <algorithm>

#include "platform/StandardLibrary.h"
#include "platform/application.h"
#include "platform/exceptions.h"
#include "scene/URecommendation.h"
#include "shell/Main.h"
#include "shell/URegistry.h"

namespace nimbrel {

namespace {

constexpr uint32_t kMouseInterval = 200;
// The waiting window whose turn has come draws from the message loop, not
// from inside the step that has just ended.
constexpr uint32_t kTurnDelay = 1;

}  // namespace

TShowSession::TShowSession(std::unique_ptr<TTimer> MouseTimer, TSettingsStore& Store, TPasswordServices& Passwords,
                           const TSaverInit& Init)
    : Store_(Store), Passwords_(Passwords), Init_(Init), timMouse_(std::move(MouseTimer)) {
    timMouse_->OnTimer = [this] { timMouseTimer(); };
    MouseTicks_ = 0;
    timMouse_->SetInterval(kMouseInterval);
    // A settings value the store cannot read (a bad colour text, a value of
    // another type) is reported, and the show then does not start.
    GuardHandler([this] { Settings_ = std::make_unique<TMandelssReg>(Store_); });
    Recommendations_ = std::make_unique<TRecommendationList>();
}

TShowSession::~TShowSession() {
    timMouse_.reset();
    Settings_.reset();
    Recommendations_.reset();
}

// ---- The windows ------------------------------------------------------------

void TShowSession::Join(TfrmMain& Form) { Forms_.push_back(&Form); }

void TShowSession::Leave(TfrmMain& Form) {
    std::erase(Forms_, &Form);
    std::erase(Waiting_, &Form);
    // A turn handed to it but not yet taken goes on to the next window.
    if (Turn_ == &Form && !TurnTaken_) {
        Turn_ = nullptr;
        PassTurn();
    }
}

bool TShowSession::IsMember(const TfrmMain& Form) const {
    return std::find(Forms_.begin(), Forms_.end(), &Form) != Forms_.end();
}

void TShowSession::Activate() {
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
    // Every window sizes its picture before any starts: a size the engine
    // refuses ends the start on the first window, with one message. A message
    // box lets other handlers run, so the list may change meanwhile.
    const std::vector<TfrmMain*> forms = Forms_;
    for (TfrmMain* form : forms)
        if (IsMember(*form)) form->PrepareShow();
    for (TfrmMain* form : forms)
        if (IsMember(*form)) form->StartPictures();
    Started_ = true;
}

void TShowSession::StartIfRunning(TfrmMain& Form) {
    if (!Started_ || Ended_ || !IsMember(Form)) return;
    Form.PrepareShow();
    Form.StartPictures();
}

// ---- The end of the show ----------------------------------------------------

bool TShowSession::Verify(TShowWindow& From) {
    Verifying_ = true;
    struct TDone {
        bool& Verifying;
        ~TDone() { Verifying = false; }
    } done{Verifying_};
    return VerifyPassword(From.Handle(), Init_.SaverMode, Store_, From, Passwords_);
}

void TShowSession::End(TShowWindow& From) {
    Ended_ = true;
    From.Close();
}

void TShowSession::EndIfVerified(TShowWindow& From) {
    if (Init_.SaverMode == smPreview || Ended_ || Verifying_) return;
    if (Verify(From)) End(From);
}

void TShowSession::MouseMoved(TShowWindow& From) {
    if (Init_.SaverMode == smPreview || MouseTicks_ != 5 || Ended_ || Verifying_) return;
    if (Verify(From)) {
        End(From);
    } else {
        MouseTicks_ = 3;
        timMouse_->SetInterval(kMouseInterval);
    }
}

void TShowSession::Closing() {
    Ended_ = true;
    for (TfrmMain* form : Forms_) form->CancelPicture();
}

// ---- The mouse grace ----------------------------------------------------------

void TShowSession::timMouseTimer() {
    if (MouseTicks_ >= 5)
        timMouse_->SetInterval(0);
    else
        ++MouseTicks_;
}

void TShowSession::RearmMouse() {
    MouseTicks_ = std::min(MouseTicks_, 4);
    timMouse_->SetInterval(kMouseInterval);
}

// ---- The turn -------------------------------------------------------------------

bool TShowSession::TakeTurn(TfrmMain& Form) {
    if (!IsMember(Form)) return false;
    if (Turn_ && Turn_ != &Form) {
        if (std::find(Waiting_.begin(), Waiting_.end(), &Form) == Waiting_.end()) Waiting_.push_back(&Form);
        return false;
    }
    Turn_ = &Form;
    TurnTaken_ = true;
    return true;
}

void TShowSession::EndTurn(TfrmMain& Form) {
    if (Turn_ != &Form) return;
    Turn_ = nullptr;
    TurnTaken_ = false;
    PassTurn();
}

void TShowSession::PassTurn() {
    if (Turn_ || Waiting_.empty()) return;
    Turn_ = Waiting_.front();
    Waiting_.pop_front();
    TurnTaken_ = false;
    Turn_->timDraw().SetInterval(kTurnDelay);
}

}  // namespace nimbrel
