// TWorkerPool: a few threads, started once, that help the calling thread with
// one piece of work at a time and are idle in between.
//
// Contract: Run is called from one thread only (the GUI thread). The caller
// always runs the job; a worker joins only while the caller's own call has not
// yet returned, so a worker that is slow to wake never holds the caller up,
// and the job must be written so that the caller alone finishes whatever no
// worker took (for example, participants taking chunks from a shared cursor).
// Run returns when every participant that joined has finished; nothing of the
// job runs after Run has returned, so whatever the caller does next
// (processing its messages, reading the bitmap) never overlaps a worker. The
// job decides which data each participant touches. An exception that leaves
// the job on a worker is raised again by Run on the calling thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace nimbrel {

class TWorkerPool {
public:
    // Participants counts the calling thread: Participants - 1 threads start.
    explicit TWorkerPool(int32_t Participants);
    ~TWorkerPool();
    TWorkerPool(const TWorkerPool&) = delete;
    TWorkerPool& operator=(const TWorkerPool&) = delete;

    int32_t Participants() const { return static_cast<int32_t>(threads_.size()) + 1; }

    // Calls Job(Context, 0) on the calling thread and Job(Context, i) on each
    // worker i that joins in time (at most once each). No allocation.
    void Run(void (*Job)(void* Context, int32_t Participant), void* Context);

    template <class F> void Run(F& Job) {
        Run([](void* c, int32_t i) { (*static_cast<F*>(c))(i); }, &Job);
    }

private:
    void WorkerLoop(int32_t participant);

    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<uint64_t> generation_{0};
    // The job's generation (high 32 bits), whether it is closed to newcomers
    // (bit 31) and how many workers are in it (low bits).
    std::atomic<uint64_t> entry_{0};
    bool stop_ = false;  // guarded by mutex_
    void (*job_)(void*, int32_t) = nullptr;
    void* context_ = nullptr;
    std::exception_ptr error_;  // the first exception of a worker, guarded by mutex_
};

// The number of participants the engine uses: NIMBREL_THREADS when it holds
// a number from 1 to 64, otherwise the processor count (at least 1, at most 64).
int32_t DefaultThreadCount();

}  // namespace nimbrel
