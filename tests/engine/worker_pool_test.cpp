#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

#include "engine/worker_pool.h"

namespace nimbrel {
namespace {

TEST(WorkerPool, EveryParticipantRunsOnceAndAllAreDoneWhenRunReturns) {
    for (int32_t participants : {1, 2, 4}) {
        TWorkerPool pool(participants);
        ASSERT_EQ(pool.Participants(), participants);
        std::vector<int> data(static_cast<std::size_t>(participants) * 1000);
        for (int round = 0; round < 500; ++round) {
            std::atomic<int> calls{0};
            std::vector<std::thread::id> who(static_cast<std::size_t>(participants));
            auto job = [&](int32_t i) {
                ++calls;
                who[static_cast<std::size_t>(i)] = std::this_thread::get_id();
                // Each participant writes only its own part.
                for (int k = 0; k < 1000; ++k) data[static_cast<std::size_t>(i) * 1000 + k] = round;
            };
            pool.Run(job);
            ASSERT_EQ(calls.load(), participants);
            for (int v : data) ASSERT_EQ(v, round);
            EXPECT_EQ(who[0], std::this_thread::get_id()) << "participant 0 is the caller";
            EXPECT_EQ(std::set<std::thread::id>(who.begin(), who.end()).size(), who.size());
        }
    }
}

TEST(WorkerPool, AnExceptionOfAWorkerSurfacesOnTheCaller) {
    TWorkerPool pool(3);
    auto failing = [](int32_t i) {
        if (i == 2) throw std::runtime_error("worker failed");
    };
    EXPECT_THROW(pool.Run(failing), std::runtime_error);
    // The pool goes on working afterwards.
    std::atomic<int> calls{0};
    auto counting = [&](int32_t) { ++calls; };
    pool.Run(counting);
    EXPECT_EQ(calls.load(), 3);
    auto callerFails = [](int32_t i) {
        if (i == 0) throw std::logic_error("caller failed");
    };
    EXPECT_THROW(pool.Run(callerFails), std::logic_error);
}

TEST(WorkerPool, SleepingWorkersWakeForTheNextJob) {
    TWorkerPool pool(2);
    std::atomic<int> calls{0};
    auto job = [&](int32_t) { ++calls; };
    pool.Run(job);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // long past the spinning
    pool.Run(job);
    EXPECT_EQ(calls.load(), 4);
}

}  // namespace
}  // namespace nimbrel
