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

// The timer runs with 100 from 0; at 50 it is set to another interval.
TEST(Timer, ANewIntervalRestartsTheCountdownTheSameOneChangesNothingAndZeroStops) {
    const struct {
        uint32_t at50;
        std::vector<int64_t> ticks;
    } cases[] = {{100, {100, 200, 300}}, {70, {120, 190, 260, 330}}, {200, {250}}, {0, {}}};
    std::unique_ptr<TTimer> outlived;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.at50);
        TVirtualLoop loop;
        std::unique_ptr<TTimer> timer = loop.NewTimer();
        std::vector<int64_t> ticks;
        timer->OnTimer = [&] { ticks.push_back(loop.Now()); };
        timer->SetInterval(100);
        loop.At(50, [&] { timer->SetInterval(c.at50); });
        loop.RunUntil(350);
        EXPECT_EQ(ticks, c.ticks);
        outlived = std::move(timer);
    }
    outlived->SetInterval(30);  // its loop is gone: harmless
}

// What a handler does to its own timer at its first tick, and what the loop
// shows of it. The handler's captured text must survive whatever it does.
TEST(Timer, AHandlerMayDestroyResetOrReplaceItsTimerAndEveryExceptionIsHandled) {
    using TTimerPtr = std::unique_ptr<TTimer>;
    const auto replace = [](TTimerPtr& t, std::vector<int64_t>& ticks) {
        t->OnTimer = [&ticks] { ticks.push_back(-1); };
    };
    const struct {
        const char* name;
        std::function<void(TTimerPtr&, std::vector<int64_t>&)> act;
        std::vector<int64_t> ticks;
        const char* shown;
    } cases[] = {
        {"destroys it", [](TTimerPtr& t, auto&) { t.reset(); }, {100}, nullptr},
        {"stops it", [](TTimerPtr& t, auto&) { t->SetInterval(0); }, {100}, nullptr},
        {"resets it", [](TTimerPtr& t, auto&) { t->SetInterval(150); }, {100, 250}, nullptr},
        {"replaces its handler", replace, {100, -1, -1}, nullptr},
        {"replaces it, then destroys it",
         [&](TTimerPtr& t, auto& ticks) {
             replace(t, ticks);
             t.reset();
         },
         {100},
         nullptr},
        {"raises the silent abort", [](TTimerPtr&, auto&) { Abort(); }, {100, 200, 300}, nullptr},
        {"raises a range error", [](TTimerPtr&, auto&) { throw ERangeError("PotentialBright Error"); }, {100, 200, 300},
         "Nimbrel: PotentialBright Error"},
        {"raises no std::exception", [](TTimerPtr&, auto&) { throw 42; }, {100, 200, 300},
         "Nimbrel: Unknown exception"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TRecordedErrorBox box;
        TScopedErrorBox installed(box);
        TVirtualLoop loop;
        TTimerPtr timer = loop.NewTimer();
        const TTimerPtr witness = loop.NewTimer();  // the loop goes on
        std::vector<int64_t> ticks, witnessTicks;
        witness->OnTimer = [&] { witnessTicks.push_back(loop.Now()); };
        witness->SetInterval(120);
        bool first = true;
        timer->OnTimer = [&, text = std::string("a text long enough to live on the heap")] {
            ticks.push_back(loop.Now());
            if (std::exchange(first, false)) c.act(timer, ticks);
            EXPECT_EQ(text.size(), 38u);
        };
        timer->SetInterval(100);
        loop.RunUntil(350);
        EXPECT_EQ(ticks, c.ticks);
        EXPECT_EQ(box.Exceptions, c.shown ? std::vector<std::string>{c.shown} : std::vector<std::string>{});
        EXPECT_EQ(witnessTicks, (std::vector<int64_t>{120, 240}));
    }
}

}  // namespace
}  // namespace nimbrel
