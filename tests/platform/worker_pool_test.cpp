#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/worker_pool.h"

namespace nimbrel {
namespace {

// A job as the draw methods write it: participants take chunks from a
// shared cursor, each writes only its own chunks.
TEST(WorkerPool, SharedWorkIsCompleteWhenRunReturnsAndEachParticipantRunsAtMostOnce) {
    for (int32_t participants : {1, 2, 4}) {
        TWorkerPool pool;
        ASSERT_EQ(pool.Reserve(participants), participants);
        std::vector<int> data(4000);
        for (int round = 0; round < 500; ++round) {
            std::atomic<int> next{0};
            std::vector<std::atomic<int>> calls(static_cast<std::size_t>(participants));
            std::vector<std::thread::id> who(static_cast<std::size_t>(participants));
            auto job = [&](int32_t i) {
                ++calls[static_cast<std::size_t>(i)];
                who[static_cast<std::size_t>(i)] = std::this_thread::get_id();
                for (int a; (a = next.fetch_add(100)) < 4000;)
                    for (int k = a; k < a + 100; ++k) data[static_cast<std::size_t>(k)] = round;
            };
            pool.Run(job, participants);
            for (int v : data) ASSERT_EQ(v, round);
            EXPECT_EQ(calls[0].load(), 1);
            EXPECT_EQ(who[0], std::this_thread::get_id()) << "participant 0 is the caller";
            for (int32_t i = 1; i < participants; ++i) {
                EXPECT_LE(calls[static_cast<std::size_t>(i)].load(), 1);
                if (calls[static_cast<std::size_t>(i)].load() == 1) {
                    EXPECT_NE(who[static_cast<std::size_t>(i)], who[0]);
                }
            }
        }
    }
}

TEST(WorkerPool, WorkersJoinWhileTheCallerIsStillAtWork) {
    TWorkerPool pool;
    pool.Reserve(3);
    for (int round = 0; round < 20; ++round) {
        std::atomic<int> joined{0};
        auto job = [&](int32_t i) {
            if (i != 0) {
                ++joined;
                return;
            }
            // The caller keeps the job open until both workers are in (or a
            // generous while has passed, so that a fault fails instead of hanging).
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (joined.load() < 2 && std::chrono::steady_clock::now() < end) std::this_thread::yield();
        };
        pool.Run(job, 3);
        EXPECT_EQ(joined.load(), 2);
    }
}

TEST(WorkerPool, AnExceptionOfAWorkerSurfacesOnTheCaller) {
    TWorkerPool pool;
    pool.Reserve(2);
    std::atomic<bool> thrown{false};
    auto failing = [&](int32_t i) {
        if (i == 1) {
            thrown = true;
            throw std::runtime_error("worker failed");
        }
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!thrown.load() && std::chrono::steady_clock::now() < end) std::this_thread::yield();
    };
    EXPECT_THROW(pool.Run(failing, 2), std::runtime_error);
    // The pool goes on working afterwards.
    std::atomic<int> calls{0};
    auto counting = [&](int32_t) { ++calls; };
    pool.Run(counting, 2);
    EXPECT_GE(calls.load(), 1);
    auto callerFails = [](int32_t i) {
        if (i == 0) throw std::logic_error("caller failed");
    };
    EXPECT_THROW(pool.Run(callerFails, 2), std::logic_error);
}

TEST(WorkerPool, SleepingWorkersWakeForTheNextJob) {
    TWorkerPool pool;
    pool.Reserve(2);
    std::atomic<int> calls{0};
    int expected = 2;
    auto job = [&](int32_t i) {
        ++calls;
        if (i != 0) return;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (calls.load() < expected && std::chrono::steady_clock::now() < end) std::this_thread::yield();
    };
    pool.Run(job, 2);
    EXPECT_EQ(calls.load(), 2);
    expected = 4;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // long past the spinning
    pool.Run(job, 2);
    EXPECT_EQ(calls.load(), 4);
}

// A starter that gives Threads threads and then fails, raising as the
// system does or making no thread.
TWorkerPool::TThreadStarter FailingAfter(int Threads, bool Raise) {
    return [left = Threads, Raise](std::function<void()> body) mutable {
        if (left-- > 0) return std::thread(std::move(body));
        if (Raise) throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        return std::thread();
    };
}

// A thread that cannot be started leaves the pool with the workers it has
// (a joinable thread destroyed would end the process): a job of as many
// participants or more runs on all of them, one of fewer on as many only.
TEST(WorkerPool, AThreadThatCannotBeStartedLeavesThePoolWithThoseItHas) {
    struct Case {
        int Threads;
        bool Raise;
        int32_t Wanted, Has, Run;
    };
    for (const Case& c : {Case{0, true, 4, 1, 4}, Case{1, true, 4, 2, 4}, Case{2, false, 8, 3, 8}, Case{3, true, 4, 4, 2}}) {
        TWorkerPool pool(FailingAfter(c.Threads, c.Raise));
        EXPECT_EQ(pool.Reserve(c.Wanted), c.Has);
        EXPECT_EQ(pool.Reserve(c.Wanted), c.Has) << "asked again";
        const int joining = std::min(c.Has, c.Run);
        std::atomic<int> seen{0}, highest{0};
        auto job = [&](int32_t i) {
            ++seen;
            for (int h = highest.load(); i > h && !highest.compare_exchange_weak(h, i);) {
            }
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (i == 0 && seen.load() < joining && std::chrono::steady_clock::now() < end) std::this_thread::yield();
        };
        pool.Run(job, c.Run);
        EXPECT_EQ(seen.load(), joining) << c.Threads;
        EXPECT_EQ(highest.load(), joining - 1) << c.Threads;
    }
}

}  // namespace
}  // namespace nimbrel
