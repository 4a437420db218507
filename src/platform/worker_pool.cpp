#include "platform/worker_pool.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "platform/sysutils.h"

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64)
#include <emmintrin.h>
#endif
#if !defined(_WIN32)
#include <pthread.h>
#include <signal.h>
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

// Blocks the asynchronous signals on the calling thread while it lives, so
// that the threads it starts inherit a mask that keeps them away from the
// process's signals. The signals of a fault (a bad address, a bad
// instruction, an arithmetic trap) go only to the thread that caused them and
// stay open: blocked, they would end the process without its handlers.
class TSignalsBlocked {
public:
#if defined(_WIN32)
    TSignalsBlocked() {}
#else
    TSignalsBlocked() {
        sigset_t all;
        sigfillset(&all);
        for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) sigdelset(&all, fault);
        blocked_ = pthread_sigmask(SIG_BLOCK, &all, &previous_) == 0;
    }
    ~TSignalsBlocked() {
        if (blocked_) pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }

private:
    sigset_t previous_{};
    bool blocked_ = false;
#endif
};

}  // namespace

TWorkerPool::TWorkerPool(TThreadStarter Starter) : starter_(std::move(Starter)) {
    if (!starter_) starter_ = [](std::function<void()> body) { return std::thread(std::move(body)); };
    // Room for every worker, so that keeping a started thread never fails.
    threads_.reserve(kMaxParticipants - 1);
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

int32_t TWorkerPool::Reserve(int32_t Wanted) {
    if (running_.load()) throw std::logic_error("TWorkerPool::Reserve while a job runs");
    const auto wanted = static_cast<std::size_t>(std::clamp(Wanted, 1, kMaxParticipants));
    const TSignalsBlocked blocked;
    while (threads_.size() + 1 < wanted) {
        const auto participant = static_cast<int32_t>(threads_.size()) + 1;
        const uint64_t seen = generation_.load();
        std::thread t;
        try {
            t = starter_([this, participant, seen] { WorkerLoop(participant, seen); });
        } catch (const std::exception&) {
            break;  // the system has no more threads for us: go on with these
        }
        if (!t.joinable()) break;
        threads_.push_back(std::move(t));  // within the reserved room: cannot fail
    }
    return Participants();
}

void TWorkerPool::Run(void (*Job)(void*, int32_t), void* Context, int32_t Participants) {
    if (running_.exchange(true)) throw std::logic_error("TWorkerPool::Run while a job runs");
    struct TDone {
        std::atomic<bool>& Running;
        ~TDone() { Running.store(false); }
    } done{running_};
    if (threads_.empty() || Participants <= 1) return Job(Context, 0);
    job_ = Job;
    context_ = Context;
    {
        std::lock_guard lock(mutex_);
        parts_ = Participants;
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
        std::swap(worker, error_);
    }
    if (own) std::rethrow_exception(own);
    if (worker) std::rethrow_exception(worker);
}

void TWorkerPool::WorkerLoop(int32_t participant, uint64_t seen) {
    for (;;) {
        if (!SpinUntil([&] { return generation_.load() != seen; })) {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [&] { return generation_.load() != seen; });
        }
        seen = generation_.load();
        int32_t parts = 0;
        {
            std::lock_guard lock(mutex_);
            if (stop_) return;
            parts = parts_;
        }
        if (participant >= parts) continue;  // a job of fewer participants
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
