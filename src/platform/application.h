// The process-wide application object: the title, the message processing
// that long work calls between rows, the error-box service, the memory of
// the machine that pictures are measured against, and the worker pool that
// every engine of the process shares; and GuardHandler, the one
// way every message loop runs an event handler.
//
// Everything here is used from the one GUI thread. ProcessMessages runs the
// handlers of pending messages synchronously, nested in the caller; the pump is
// replaceable: the Win32 layer pumps the thread's queue, the headless host runs
// the timers that are due on its virtual clock, and a test may install any
// function.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>

namespace nimbrel {

class TWorkerPool;

// The one error box of the program, and the default exception box that shows
// an exception escaping an event handler.
class TErrorBox {
public:
    virtual ~TErrorBox() = default;
    // A beep, then a modal box with the error icon, the caption "エラー",
    // the text and an OK button.
    virtual void ShowError(const std::string& text) = 0;
    // A modal box with the application title as caption and the error icon.
    virtual void ShowException(const std::string& title, const std::string& text) = 0;
};

// Writes both kinds of box to standard error, one line each; the default
// until a front end installs its own.
class TStderrErrorBox : public TErrorBox {
public:
    void ShowError(const std::string& text) override;
    void ShowException(const std::string& title, const std::string& text) override;
};

class TApplication {
public:
    TApplication();
    ~TApplication();
    TApplication(const TApplication&) = delete;
    TApplication& operator=(const TApplication&) = delete;

    const std::string& Title() const { return title_; }
    void SetTitle(std::string title) { title_ = std::move(title); }

    // Dispatches every pending message; the handlers run inside this call.
    void ProcessMessages() {
        if (pump_) pump_();
    }
    // Installs the pump and answers the previous one.
    std::function<void()> SetMessagePump(std::function<void()> pump);

    TErrorBox& ErrorBox() { return *errorBox_; }
    // The box is not owned; nullptr restores the standard-error box. Answers
    // the previous box.
    TErrorBox* SetErrorBox(TErrorBox* box);

    // What the message loop does with an exception that leaves a handler: the
    // silent abort shows nothing, anything else goes to the exception box.
    void HandleException(const std::exception& error);
    // HandleException for the exception being handled, called from a catch
    // block; one that is no std::exception, and so carries no message, shows
    // as "Unknown exception".
    void HandleCurrentException();

    // The physical memory that the picture budget is made from: the amount
    // a test has set, else the machine's (PhysicalMemoryBytes) lowered to
    // NIMBREL_MEMORY mebibytes when that holds a smaller positive number; 0
    // when the system does not tell.
    uint64_t PhysicalMemory() const;
    // 0 restores the machine's. Answers the previous setting.
    uint64_t SetPhysicalMemory(uint64_t bytes);

    // The process's worker pool (platform/worker_pool.h), without workers
    // until someone reserves them; used from the GUI thread only.
    TWorkerPool& Workers();

private:
    std::string title_ = "Nimbrel";
    uint64_t physicalMemory_ = 0;  // 0: the machine's
    std::function<void()> pump_;
    TStderrErrorBox stderrBox_;
    TErrorBox* errorBox_;
    std::unique_ptr<TWorkerPool> workers_;
};

TApplication& Application();

// Runs an event handler as every message loop runs one: an exception that
// leaves it, of whatever type, goes to HandleCurrentException and the loop
// goes on. Nothing unwinds into the loop, nor through a window procedure of
// the system.
template <typename THandler>
void GuardHandler(THandler&& Handler) {
    try {
        Handler();
    } catch (...) {
        Application().HandleCurrentException();
    }
}

// Restores the previous message pump when it leaves scope.
class TScopedMessagePump {
public:
    explicit TScopedMessagePump(std::function<void()> pump)
        : previous_(Application().SetMessagePump(std::move(pump))) {}
    ~TScopedMessagePump() { Application().SetMessagePump(std::move(previous_)); }
    TScopedMessagePump(const TScopedMessagePump&) = delete;
    TScopedMessagePump& operator=(const TScopedMessagePump&) = delete;

private:
    std::function<void()> previous_;
};

// Installs an error box for the life of the guard.
class TScopedErrorBox {
public:
    explicit TScopedErrorBox(TErrorBox& box) : previous_(Application().SetErrorBox(&box)) {}
    ~TScopedErrorBox() { Application().SetErrorBox(previous_); }
    TScopedErrorBox(const TScopedErrorBox&) = delete;
    TScopedErrorBox& operator=(const TScopedErrorBox&) = delete;

private:
    TErrorBox* previous_;
};

// Sets the physical memory for the life of the guard.
class TScopedPhysicalMemory {
public:
    explicit TScopedPhysicalMemory(uint64_t bytes) : previous_(Application().SetPhysicalMemory(bytes)) {}
    ~TScopedPhysicalMemory() { Application().SetPhysicalMemory(previous_); }
    TScopedPhysicalMemory(const TScopedPhysicalMemory&) = delete;
    TScopedPhysicalMemory& operator=(const TScopedPhysicalMemory&) = delete;

private:
    uint64_t previous_;
};

}  // namespace nimbrel
