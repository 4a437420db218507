// TMonitorShow: the show on every monitor. Each monitor gets a window of its
// own with a show of its own (TfrmMain: engine, bitmap, scene choice, pause,
// timers); one TShowSession holds what they share: the settings, the scene
// list, the end of the show with its one password check, the mouse grace,
// and the turn that lets one picture be drawn at a time (show_session.h says
// how the windows take turns).
//
// The windows are made in the order of the monitor list with the primary
// monitor first; the primary monitor's window is the active one, and its
// activation starts the show on all of them. Each window's "screen" is its
// monitor, so a full-screen picture has that monitor's size in physical
// pixels, and a picture of a size of its own is centred or tiled within it.
//
// The monitors may change during the show. A display change (which may come
// inside a draw's message processing) retires the windows whose monitor is
// gone or has another size or place: they leave the session, and a picture
// being drawn on one of them is cancelled through Busy. The retired windows
// are destroyed, and windows for the new monitors made and started, only
// from the message loop's idle call, when no draw is on the stack. A display
// change that lists no monitor at all tells nothing and is ignored.
//
// The owner destroys the show after the message loop has ended: the windows
// go first, then the session, which writes the settings back once; then the
// cursor and the application's window are shown again.
#pragma once

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "platform/password_services.h"
#include "platform/settings_store.h"
#include "platform/show_window.h"
#include "shell/UScreenSaverInit.h"

namespace nimbrel {

class TfrmMain;
class TShowSession;

class TMonitorShow : private TDesktopListener {
public:
    // A window for each monitor of Desktop, not yet visible. Desktop, Store
    // and Passwords must outlive the show. Seed seeds the windows' scene
    // choices, each its own.
    TMonitorShow(TShowDesktop& Desktop, TSettingsStore& Store, TPasswordServices& Passwords, const TSaverInit& Init,
                 uint32_t Seed = std::random_device{}());
    ~TMonitorShow() override;
    TMonitorShow(const TMonitorShow&) = delete;
    TMonitorShow& operator=(const TMonitorShow&) = delete;

    // Makes every window visible; the primary monitor's window is made active
    // last.
    void ShowWindows();

    // For the tests: the session, and the windows' shows in the order of
    // their windows, retired ones left out.
    TShowSession& Session() const { return *Session_; }
    std::vector<TfrmMain*> Forms() const;

private:
    struct TMonitorPart {
        TMonitor Monitor;
        std::unique_ptr<TMonitorWindow> Window;
        std::unique_ptr<TfrmMain> Form;
        bool Retired = false;
    };

    void DisplayChanged() override;
    void Idle() override;
    // Retires the parts that no monitor of the list covers any more; answers
    // the monitors that no part covers.
    std::vector<TMonitor> RetireMissing(const std::vector<TMonitor>& Monitors);
    TMonitorPart& Add(const TMonitor& Monitor);

    TShowDesktop& Desktop_;
    TSaverInit Init_;
    std::unique_ptr<TShowSession> Session_;
    std::vector<TMonitorPart> Parts_;
    std::mt19937 Seeds_;
    bool Changed_ = false;
};

}  // namespace nimbrel
