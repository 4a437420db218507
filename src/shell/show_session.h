// TShowSession: what the windows of one show share. A show has a window on
// each monitor, and each window has a show of its own (TfrmMain: engine,
// bitmap, scene choice, pause, timers); the session holds the rest, once for
// all of them:
//
// - The settings (TMandelssReg), loaded when the session is made and written
//   back once, when it is destroyed; the scene list, loaded at the first
//   activation of any window, its error message shown once. A picture size
//   the engine refuses stops the show on every window, with one message.
// - The end of the show: a click, a key or an armed mouse move on any window
//   asks for the password once. A request that comes while the password
//   dialog is open, or after the show has ended, is ignored. When the check
//   agrees, the loop of the whole show ends. The mouse grace (timMouse and
//   MouseTicks: mouse moves count only after five ticks of 200 ms) counts
//   once for the whole show.
// - The turn: one picture is drawn at a time. Draw yields to the message loop
//   after every row, and the other windows' timers run in there: a window
//   must never start its Draw inside another window's Draw. So a picture step
//   (timDrawTimer) that finds another window's step running does not draw: it
//   joins the queue of waiting windows and returns. When the running step
//   ends, however it ends, the turn goes to the first window of the queue,
//   whose timDraw then fires 1 ms later; until then no other window may take
//   it. First come, first served: a waiting window gets its turn after at most
//   one picture of each other window, so no monitor starves.
//
// The show of one window (the preview, a show window inside another window, a
// desktop of one monitor) is a session of one window, which TfrmMain makes
// for itself: every rule above then reads as the one window's own.
//
// Windows join when they are made and leave when they are destroyed or their
// monitor has gone; a window that left is never given the turn again. The
// session does not own the windows and must outlive them.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "platform/password_services.h"
#include "platform/settings_store.h"
#include "platform/show_window.h"
#include "platform/timer.h"
#include "shell/UScreenSaverInit.h"

namespace nimbrel {

class TfrmMain;
class TMandelssReg;
class TRecommendationList;

class TShowSession {
public:
    // MouseTimer is the timer of the mouse grace (timMouse), started here.
    // Store and Passwords must outlive the session. A stored value that
    // cannot be read is reported in the exception box, and the show then does
    // not start.
    TShowSession(std::unique_ptr<TTimer> MouseTimer, TSettingsStore& Store, TPasswordServices& Passwords,
                 const TSaverInit& Init);
    // Writes the settings back, then frees the scene list.
    ~TShowSession();
    TShowSession(const TShowSession&) = delete;
    TShowSession& operator=(const TShowSession&) = delete;

    const TSaverInit& Init() const { return Init_; }
    // Null when the stored settings could not be read.
    TMandelssReg* Settings() const { return Settings_.get(); }
    const TRecommendationList& Recommendations() const { return *Recommendations_; }

    // ---- The windows -------------------------------------------------------
    void Join(TfrmMain& Form);
    // The window's picture step may still be on the stack: it keeps the turn
    // until that step ends.
    void Leave(TfrmMain& Form);
    bool IsMember(const TfrmMain& Form) const;
    // The first activation of any window: loads the scenes, then sizes every
    // window's picture and starts its first picture 100 ms later. Later
    // activations do nothing.
    void Activate();
    bool Activated() const { return !FirstActivation_; }
    // A window that joins a running show starts its pictures at once.
    void StartIfRunning(TfrmMain& Form);

    // ---- The end of the show ----------------------------------------------
    // A click or a key on From.
    void EndIfVerified(TShowWindow& From);
    // A mouse move on From: counts only once the mouse is armed.
    void MouseMoved(TShowWindow& From);
    // The close query of any window: the show ends, and every picture being
    // drawn stops at its next row end.
    void Closing();

    // ---- The mouse grace ---------------------------------------------------
    TTimer& timMouse() const { return *timMouse_; }
    int32_t MouseTicks() const { return MouseTicks_; }
    void timMouseTimer();
    // After every finished picture: mouse moves are ignored for one tick, and
    // a picture that ends within the first second does not cut it short.
    void RearmMouse();

    // ---- The turn ------------------------------------------------------------
    // Whether Form may run its picture step now; if not, it waits in the queue.
    bool TakeTurn(TfrmMain& Form);
    // The end of Form's picture step: the turn goes to the next waiting window.
    void EndTurn(TfrmMain& Form);

private:
    bool Verify(TShowWindow& From);
    void End(TShowWindow& From);
    void PassTurn();

    TSettingsStore& Store_;
    TPasswordServices& Passwords_;
    TSaverInit Init_;
    std::unique_ptr<TTimer> timMouse_;
    std::unique_ptr<TMandelssReg> Settings_;
    std::unique_ptr<TRecommendationList> Recommendations_;
    bool FirstActivation_ = true;
    bool Started_ = false;
    int32_t MouseTicks_ = 0;
    bool Verifying_ = false;
    bool Ended_ = false;

    std::vector<TfrmMain*> Forms_;  // in the order they joined
    TfrmMain* Turn_ = nullptr;      // the window whose step runs or is due next
    bool TurnTaken_ = false;        // its step is running
    std::deque<TfrmMain*> Waiting_;
};

}  // namespace nimbrel
