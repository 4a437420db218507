#include "platform/application.h"

#include <cstdio>
#include <cstdlib>

#include "platform/exceptions.h"
#include "platform/physical_memory.h"
#include "platform/sysutils.h"
#include "platform/worker_pool.h"

namespace nimbrel {

void TStderrErrorBox::ShowError(const std::string& text) { std::fprintf(stderr, "%s\n", text.c_str()); }

void TStderrErrorBox::ShowException(const std::string& title, const std::string& text) {
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
}

TApplication::TApplication() : errorBox_(&stderrBox_) {}

// The workers end here, joined, when the process ends normally.
TApplication::~TApplication() = default;

TWorkerPool& TApplication::Workers() {
    if (!workers_) workers_ = std::make_unique<TWorkerPool>();
    return *workers_;
}

std::function<void()> TApplication::SetMessagePump(std::function<void()> pump) {
    std::swap(pump_, pump);
    return pump;
}

TErrorBox* TApplication::SetErrorBox(TErrorBox* box) {
    TErrorBox* previous = errorBox_ == &stderrBox_ ? nullptr : errorBox_;
    errorBox_ = box ? box : &stderrBox_;
    return previous;
}

void TApplication::HandleException(const std::exception& error) {
    if (dynamic_cast<const EAbort*>(&error)) return;
    errorBox_->ShowException(title_, error.what());
}

void TApplication::HandleCurrentException() {
    try {
        throw;
    } catch (const std::exception& error) {
        HandleException(error);
    } catch (...) {
        // Nothing of ours throws anything else; such an exception is still
        // shown, and the program goes on as after any other.
        HandleException(Exception("Unknown exception"));
    }
}

uint64_t TApplication::PhysicalMemory() const {
    if (physicalMemory_) return physicalMemory_;
    uint64_t bytes = PhysicalMemoryBytes();
    int32_t mebibytes = 0;
    const char* text = std::getenv("NIMBREL_MEMORY");
    if (text && TryStrToInt(text, mebibytes) && mebibytes > 0) {
        const uint64_t limit = static_cast<uint64_t>(mebibytes) << 20;
        if (bytes == 0 || limit < bytes) bytes = limit;
    }
    return bytes;
}

uint64_t TApplication::SetPhysicalMemory(uint64_t bytes) {
    std::swap(physicalMemory_, bytes);
    return bytes;
}

TApplication& Application() {
    static TApplication application;
    return application;
}

}  // namespace nimbrel
