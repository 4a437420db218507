// The timer rule and the dispatch of a tick, on the headless loop's virtual
// clock; the X11 and Win32 loops deliver their ticks through the same
// FireTimer and GuardHandler.
#include "platform/timer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "headless/recorded_error_box.h"
#include "headless/virtual_loop.h"
#include "platform/exceptions.h"

namespace nimbrel {
namespace {

TEST(Timer, ANewIntervalRestartsTheCountdownTheSameOneChangesNothingAndZeroStops) {
    const struct {
        const char* name;
        uint32_t at50;  // the interval set at 50 ms, the timer running with 100 since 0
        std::vector<int64_t> ticks;
    } cases[] = {
        {"the same interval", 100, {100, 200, 300}},
        {"a shorter one", 70, {120, 190, 260, 330}},
        {"a longer one", 200, {250}},
        {"zero", 0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TVirtualLoop loop;
        const std::unique_ptr<TTimer> timer = loop.NewTimer();
        std::vector<int64_t> ticks;
        timer->OnTimer = [&] { ticks.push_back(loop.Now()); };
        timer->SetInterval(100);
        loop.At(50, [&] { timer->SetInterval(c.at50); });
        loop.RunUntil(350);
        EXPECT_EQ(ticks, c.ticks);
        EXPECT_EQ(timer->GetInterval(), c.at50);
    }
}

// What a handler may do to its own timer at its first tick, and what the
// loop shows of it. The handler's captured text must survive whatever it does.
TEST(Timer, AHandlerMayDestroyResetOrReplaceItsTimerAndEveryExceptionIsHandled) {
    using TTimerPtr = std::unique_ptr<TTimer>;
    const struct {
        const char* name;
        std::function<void(TTimerPtr&, std::vector<int64_t>&)> act;
        std::vector<int64_t> ticks;
        std::vector<std::string> shown;
    } cases[] = {
        {"destroys its timer", [](TTimerPtr& t, auto&) { t.reset(); }, {100}, {}},
        {"stops it", [](TTimerPtr& t, auto&) { t->SetInterval(0); }, {100}, {}},
        {"resets it", [](TTimerPtr& t, auto&) { t->SetInterval(150); }, {100, 250}, {}},
        {"replaces its handler",
         [](TTimerPtr& t, auto& ticks) { t->OnTimer = [&ticks] { ticks.push_back(-1); }; },
         {100, -1, -1},
         {}},
        {"replaces it and destroys the timer",
         [](TTimerPtr& t, auto& ticks) {
             t->OnTimer = [&ticks] { ticks.push_back(-1); };
             t.reset();
         },
         {100},
         {}},
        {"raises the silent abort", [](TTimerPtr&, auto&) { Abort(); }, {100, 200, 300}, {}},
        {"raises a range error",
         [](TTimerPtr&, auto&) { throw ERangeError("PotentialBright Error"); },
         {100, 200, 300},
         {"Nimbrel: PotentialBright Error"}},
        {"raises something that is no std::exception",
         [](TTimerPtr&, auto&) { throw 42; },
         {100, 200, 300},
         {"Nimbrel: Unknown exception"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TRecordedErrorBox box;
        TScopedErrorBox installed(box);
        TVirtualLoop loop;
        TTimerPtr timer = loop.NewTimer();
        // The loop goes on: a second timer keeps its ticks.
        const TTimerPtr witness = loop.NewTimer();
        std::vector<int64_t> ticks, witnessTicks;
        witness->OnTimer = [&] { witnessTicks.push_back(loop.Now()); };
        witness->SetInterval(120);
        bool first = true;
        const std::string text = "a text long enough to live on the heap";
        timer->OnTimer = [&, text] {
            ticks.push_back(loop.Now());
            if (std::exchange(first, false)) c.act(timer, ticks);
            EXPECT_EQ(text.size(), 38u);
        };
        timer->SetInterval(100);
        loop.RunUntil(350);
        EXPECT_EQ(ticks, c.ticks);
        EXPECT_EQ(box.Exceptions, c.shown);
        EXPECT_EQ(witnessTicks, (std::vector<int64_t>{120, 240}));
    }
}

// The show's timers normally go before their loop; one that does not is
// harmless.
TEST(Timer, ATimerMayOutliveItsLoop) {
    std::unique_ptr<TTimer> timer;
    {
        TVirtualLoop loop;
        timer = loop.NewTimer();
        timer->SetInterval(100);
    }
    timer->SetInterval(50);
    EXPECT_EQ(timer->GetInterval(), 50u);
}

}  // namespace
}  // namespace nimbrel
