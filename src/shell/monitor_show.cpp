#include "shell/monitor_show.h"

#include <algorithm>

#include "platform/application.h"
#include "shell/Main.h"
#include "shell/show_session.h"

namespace nimbrel {

TMonitorShow::TMonitorShow(TShowDesktop& Desktop, TSettingsStore& Store, TPasswordServices& Passwords,
                           const TSaverInit& Init, uint32_t Seed)
    : Desktop_(Desktop), Init_(Init), Seeds_(Seed) {
    Session_ = std::make_unique<TShowSession>(Desktop_.CreateTimer(), Store, Passwords, Init_);
    std::vector<TMonitor> monitors = Desktop_.Monitors();
    std::stable_partition(monitors.begin(), monitors.end(), [](const TMonitor& m) { return m.Primary; });
    for (const TMonitor& monitor : monitors) Add(monitor);
    if (Init_.SaverMode == smSaver) Desktop_.ShowCursor(false);
    Desktop_.SetListener(this);
}

TMonitorShow::~TMonitorShow() {
    Desktop_.SetListener(nullptr);
    for (TMonitorPart& part : Parts_) {
        part.Form.reset();
        part.Window.reset();
    }
    Parts_.clear();
    // The settings are written back here, once.
    Session_.reset();
    if (Init_.SaverMode == smSaver) {
        Desktop_.ShowCursor(true);
        Desktop_.ShowApplicationWindow();
    }
}

TMonitorShow::TMonitorPart& TMonitorShow::Add(const TMonitor& Monitor) {
    TMonitorPart part;
    part.Monitor = Monitor;
    part.Window = Desktop_.CreateMonitorWindow(Monitor);
    part.Form = std::make_unique<TfrmMain>(*part.Window, *Session_, Seeds_());
    part.Window->SetForm(part.Form.get());
    Parts_.push_back(std::move(part));
    return Parts_.back();
}

void TMonitorShow::ShowWindows() {
    for (std::size_t i = 1; i < Parts_.size(); ++i) Parts_[i].Window->Show(false);
    if (!Parts_.empty()) Parts_.front().Window->Show(true);
}

std::vector<TfrmMain*> TMonitorShow::Forms() const {
    std::vector<TfrmMain*> forms;
    for (const TMonitorPart& part : Parts_)
        if (!part.Retired) forms.push_back(part.Form.get());
    return forms;
}

std::vector<TMonitor> TMonitorShow::RetireMissing(const std::vector<TMonitor>& Monitors) {
    std::vector<TMonitor> uncovered = Monitors;
    for (TMonitorPart& part : Parts_) {
        if (part.Retired) continue;
        const auto same = std::find(uncovered.begin(), uncovered.end(), part.Monitor);
        if (same != uncovered.end()) {
            uncovered.erase(same);
            continue;
        }
        // Only the engine's Busy and the session's lists change here: a draw
        // may be on the stack.
        part.Retired = true;
        Session_->Leave(*part.Form);
        part.Form->CancelPicture();
    }
    return uncovered;
}

void TMonitorShow::DisplayChanged() {
    const std::vector<TMonitor> monitors = Desktop_.Monitors();
    if (monitors.empty()) return;
    RetireMissing(monitors);
    Changed_ = true;
    Desktop_.RequestIdle();
}

void TMonitorShow::Idle() {
    if (!Changed_) return;
    Changed_ = false;
    const std::vector<TMonitor> monitors = Desktop_.Monitors();
    std::vector<TMonitor> added;
    if (!monitors.empty()) added = RetireMissing(monitors);
    // Nothing is on the stack: the retired windows go, their form first.
    for (TMonitorPart& part : Parts_) {
        if (!part.Retired) continue;
        part.Form.reset();
        part.Window.reset();
    }
    std::erase_if(Parts_, [](const TMonitorPart& part) { return part.Retired; });
    std::stable_partition(added.begin(), added.end(), [](const TMonitor& m) { return m.Primary; });
    // A show that has not started yet starts at the activation of a new
    // window, since the window that was to be activated may have gone.
    bool activate = !Session_->Activated();
    for (const TMonitor& monitor : added) {
        TMonitorPart& part = Add(monitor);
        part.Window->Show(activate);
        activate = false;
        GuardHandler([&] { Session_->StartIfRunning(*part.Form); });
    }
}

}  // namespace nimbrel
