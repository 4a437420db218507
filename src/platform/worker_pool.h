// TWorkerPool: a few threads, started on demand and kept, that help the
// calling thread with one piece of work at a time and are idle in between.
// The process has one (Application().Workers()), which every engine uses:
// an engine that shares its rows among fewer participants uses part of it.
//
// Contract: Run is called from one thread only (the GUI thread), one job at a
// time; the pool raises std::logic_error when a job is started while another
// runs. The caller always runs the job. A worker joins only while the
// caller's own call has not yet returned: one that wakes too late is not
// waited for, but one that has joined is, until it has finished what it
// took, however long the system keeps it from running (TBatchRows notices
// such stalls and stops sharing its rows). The job must be written so that
// the caller alone finishes whatever no worker took (for example,
// participants taking chunks from a shared cursor). Run returns when every
// participant that joined has finished; nothing of the job runs after Run
// has returned, so whatever the caller does next (processing its messages,
// reading the bitmap) never overlaps a worker. The job decides which data
// each participant touches. An exception that leaves the job on a worker is
// raised again by Run on the calling thread.
//
// The workers take no signals of the process (on POSIX systems every
// asynchronous signal is blocked in them), so that a signal such as SIGTERM
// always reaches a thread that runs the program's own handlers.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace nimbrel {

class TWorkerPool {
public:
    static constexpr int32_t kMaxParticipants = 64;
    // Starts one thread that runs Body, as std::thread does (raising when
    // the system refuses one); a test may hand a starter that fails.
    using TThreadStarter = std::function<std::thread(std::function<void()> Body)>;

    // No worker yet; Reserve starts them.
    explicit TWorkerPool(TThreadStarter Starter = {});
    ~TWorkerPool();
    TWorkerPool(const TWorkerPool&) = delete;
    TWorkerPool& operator=(const TWorkerPool&) = delete;

    // Starts workers until the pool has Wanted participants (the
    // caller counts; at most kMaxParticipants). A thread that cannot be
    // started leaves the pool with the workers it has. Answers Participants().
    // Not while a job runs.
    int32_t Reserve(int32_t Wanted);
    int32_t Participants() const { return static_cast<int32_t>(threads_.size()) + 1; }

    // Calls Job(Context, 0) on the calling thread and Job(Context, i) on
    // each worker i < Participants that joins in time (at most once each).
    // No allocation.
    void Run(void (*Job)(void* Context, int32_t Participant), void* Context, int32_t Participants);

    template <class F> void Run(F& Job, int32_t Participants) {
        Run([](void* c, int32_t i) { (*static_cast<F*>(c))(i); }, &Job, Participants);
    }

private:
    void WorkerLoop(int32_t participant, uint64_t seen);

    TThreadStarter starter_;
    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<uint64_t> generation_{0};
    // The job's generation (high 32 bits), whether it is closed to newcomers
    // (bit 31) and how many workers are in it (low bits).
    std::atomic<uint64_t> entry_{0};
    std::atomic<bool> running_{false};
    bool stop_ = false;  // guarded by mutex_
    void (*job_)(void*, int32_t) = nullptr;
    void* context_ = nullptr;
    int32_t parts_ = 1;         // participants of the current job
    std::exception_ptr error_;  // the first exception of a worker, guarded by mutex_
};

// The number of participants the engine shares a row among: NIMBREL_THREADS
// when it holds a number from 1 to 64, otherwise the processor count (at
// least 1, at most 64).
int32_t DefaultThreadCount();

}  // namespace nimbrel
