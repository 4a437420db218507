#include "engine/worker_pool.h"

#include <chrono>
#include <cstdlib>

#include "platform/sysutils.h"

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace nimbrel {

namespace {

// Rows follow each other within microseconds while a picture is drawn, far
// sooner than a sleeping thread wakes; so a participant waits by spinning for
// a while before it sleeps (a worker) or lets other threads run (the caller).
// The time is taken from the clock: a pause lasts 10 to 150 cycles depending
// on the processor.
constexpr auto kSpinTime = std::chrono::microseconds(50);

inline void Pause() {
#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
}

// Spins until Done() holds or the spin time has passed; answers Done().
template <class F> bool SpinUntil(F Done) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            if (Done()) return true;
            Pause();
        }
        if (std::chrono::steady_clock::now() - start > kSpinTime) return Done();
    }
}

constexpr uint64_t kClosed = uint64_t{1} << 31;
constexpr uint64_t kCountMask = kClosed - 1;

}  // namespace

TWorkerPool::TWorkerPool(int32_t Participants) {
    for (int32_t i = 1; i < Participants; ++i) threads_.emplace_back([this, i] { WorkerLoop(i); });
}

TWorkerPool::~TWorkerPool() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        generation_.fetch_add(1);
    }
    wake_.notify_all();
    for (auto& t : threads_) t.join();
}

void TWorkerPool::Run(void (*Job)(void*, int32_t), void* Context) {
    if (threads_.empty()) return Job(Context, 0);
    job_ = Job;
    context_ = Context;
    {
        std::lock_guard lock(mutex_);
        const uint64_t generation = generation_.load() + 1;
        entry_.store(generation << 32);  // open, nobody in
        generation_.store(generation);
    }
    wake_.notify_all();
    std::exception_ptr own;
    try {
        Job(Context, 0);
    } catch (...) {
        own = std::current_exception();
    }
    // No worker joins from now on; wait for those that did.
    entry_.fetch_or(kClosed);
    const auto finished = [this] { return (entry_.load() & kCountMask) == 0; };
    if (!SpinUntil(finished))
        while (!finished()) std::this_thread::yield();
    std::exception_ptr worker;
    {
        std::lock_guard lock(mutex_);
        worker.swap(error_);
    }
    if (own) std::rethrow_exception(own);
    if (worker) std::rethrow_exception(worker);
}

void TWorkerPool::WorkerLoop(int32_t participant) {
    uint64_t seen = 0;
    for (;;) {
        if (!SpinUntil([&] { return generation_.load() != seen; })) {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return generation_.load() != seen; });
        }
        seen = generation_.load();
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;
        }
        // Join the job of generation `seen` if it is still open.
        uint64_t e = entry_.load();
        bool joined = false;
        while ((e >> 32) == (seen & 0xFFFFFFFFu) && (e & kClosed) == 0) {
            if (entry_.compare_exchange_weak(e, e + 1)) {
                joined = true;
                break;
            }
        }
        if (!joined) continue;
        try {
            job_(context_, participant);
        } catch (...) {
            std::lock_guard lock(mutex_);
            if (!error_) error_ = std::current_exception();
        }
        entry_.fetch_sub(1);
    }
}

int32_t DefaultThreadCount() {
    int32_t n = 0;
    const char* text = std::getenv("NIMBREL_THREADS");
    if (text != nullptr && TryStrToInt(text, n) && n >= 1 && n <= 64) return n;
    const unsigned hardware = std::thread::hardware_concurrency();
    if (hardware == 0) return 1;
    return hardware > 64 ? 64 : static_cast<int32_t>(hardware);
}

}  // namespace nimbrel
