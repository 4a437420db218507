// Journeys on the virtual clock: the frames of a zoom in order at the
// display's rate, the last one the still that nimbrel-render draws, the pause,
// held frames when keyframes come late, the end of the show mid-journey, and
// several monitors taking turns at their keyframes while every window's frames
// go on.
#include <map>

#include "headless/headless_desktop.h"
#include "shell/journey.h"
#include "shell/monitor_show.h"
#include "show_fixture.h"
#include "../support/bitmap_pixels.h"
#include "../support/render_oracle.h"

namespace nimbrel::testing {
namespace {

// Narrower than the whole set by about 5.9 halvings: at 60 frames a second
// and 0.1 s a halving, 37 frames from 7 keyframes.
const char* const kDeepScene = "T=MANDEL, Title=D, Cr=-0.7453, Ci=0.1127, W=0.05, I=60\r\n";

class JourneyShowTest : public ShowTest {
protected:
    void Configure(int32_t zoomSpeed = 1, int32_t wait = 1000) {
        Settings([&](TMandelssReg& s) {
            s.Journey = true;
            s.ZoomSpeed = zoomSpeed;
            s.Wait = wait;
        });
        WriteScenes(kDeepScene);
    }
    // The times the window received a picture.
    std::vector<int64_t> Shown(int64_t from, int64_t to) const {
        std::vector<int64_t> times;
        for (const auto& copy : Host->Copies)
            if (copy.FromBitmap && copy.Time >= from && copy.Time < to) times.push_back(copy.Time);
        return times;
    }
    std::vector<int32_t> Still() {
        TRenderOracle oracle(Files.PathOf("scenes.mrp"), Files.PathOf(""), Files, 0);
        return oracle.Picture(0, 24, 16);
    }
};

TEST_F(JourneyShowTest, FramesInOrderAtTheDisplaysRateEndingOnTheStillThenThePause) {
    Configure();
    RowCost = 0;  // keyframes in no time: nothing is held
    Start(smSaver, 24, 16, 40, 30);
    const TJourneyPlan plan(3.0, 0.05, 60, 1);
    ASSERT_EQ(plan.Frames(), 37);
    Host->RunUntil(100 + 37 * 17);
    const std::vector<int64_t> frames = Shown(0, 100000);
    ASSERT_EQ(frames.size(), 37u);
    EXPECT_EQ(Form->HeldFrames(), 0);
    // Tick n of the journey falls at n * 1000 / 60 ms from its start (100).
    for (std::size_t n = 0; n < frames.size(); ++n) EXPECT_EQ(frames[n], 100 + (n + 1) * 1000 / 60) << n;
    EXPECT_EQ(Form->Pictures(), 1);
    EXPECT_EQ(Pixels(Host->Surface()), Still());
    // The still stays for the pause, then the next journey begins at its widest.
    const int64_t last = frames.back();
    Host->RunUntil(last + 1000 + 20);
    EXPECT_EQ(Shown(last + 1, last + 1000).size(), 0u);
    EXPECT_EQ(Shown(last + 1000, last + 1020).size(), 1u);
    ASSERT_NE(Form->Journey(), nullptr);
    EXPECT_EQ(Form->Journey()->Shown(), 1);
}

TEST_F(JourneyShowTest, LateKeyframesHoldTheZoomAndNoUnfinishedPictureIsShown) {
    Configure(1, 60000);
    RowCost = 5;  // 80 ms a keyframe, while a halving takes 100 ms: holds at the start only
    Start(smSaver, 24, 16, 40, 30);
    Host->RunUntil(5000);
    EXPECT_EQ(Form->Pictures(), 1);
    EXPECT_GT(Form->HeldFrames(), 0);
    // Every picture shown is a whole frame: one per frame of the journey.
    EXPECT_EQ(Shown(0, 5000).size(), 37u);
    EXPECT_EQ(Pixels(Host->Surface()), Still());

    // Much slower keyframes: the zoom waits on each one, and still ends on the still.
    Configure(1, 60000);
    RowCost = 40;
    Start(smSaver, 24, 16, 40, 30);
    Host->RunUntil(20000);
    EXPECT_EQ(Form->Pictures(), 1);
    EXPECT_GT(Form->HeldFrames(), 37);
    EXPECT_EQ(Shown(0, 20000).size(), 37u);
    EXPECT_EQ(Pixels(Host->Surface()), Still());
}

TEST_F(JourneyShowTest, AKeyOrAClickMidJourneyEndsTheShowAfterOnePasswordCheck) {
    for (const bool click : {false, true}) {
        SCOPED_TRACE(click ? "click" : "key");
        Configure(15);
        Store.OpenKey("Control Panel\\desktop", true)->WriteInteger("ScreenSaveUsePassword", 1);
        Passwords.VerifyCalls = 0;
        Passwords.Answers = {true};
        RowCost = 2;
        Start(smSaver, 24, 16, 40, 30);
        if (click)
            Host->ClickAt(1500);
        else
            Host->KeyAt(1500);
        Host->RunUntil(1600);
        EXPECT_TRUE(Host->Terminated());
        EXPECT_EQ(Passwords.VerifyCalls, 1);
        EXPECT_EQ(Host->NestedDraws, 0);
    }
}

TEST_F(JourneyShowTest, MonitorsTakeTurnsAtTheirKeyframesAndEveryWindowsFramesGoOn) {
    // Counts the settings object's loads and saves.
    struct TCountingStore : TMemorySettingsStore {
        std::unique_ptr<TSettingsKey> OpenKey(std::string_view Path, bool CanCreate) override {
            if (CanCreate && Path == "Software\\Orv\\Nimbrel") ++Opens;
            return TMemorySettingsStore::OpenKey(Path, CanCreate);
        }
        int Opens = 0;
    } store;
    {
        TMandelssReg s(store);
        s.SizeFull = true;
        s.DM = lmCenter;
        s.Wait = 300;
        s.DrawMode = dmNormal;
        s.MrpFile = Files.PathOf("scenes.mrp");
        s.Journey = true;
        s.ZoomSpeed = 1;
    }
    WriteScenes(kDeepScene);
    store.Opens = 0;
    THeadlessDesktop desktop({TMonitor{TRect{0, 0, 32, 20}, true}, TMonitor{TRect{32, 0, 56, 16}, false}});
    desktop.RowCost = 3;
    std::map<intptr_t, std::vector<int64_t>> framesWhileOtherDraws;
    TSaverInit init;
    init.SaverMode = smSaver;
    auto show = std::make_unique<TMonitorShow>(desktop, store, Passwords, init, 7);
    desktop.OnCopy = [&](const THeadlessDesktop::TWindow& window) {
        for (const TfrmMain* form : show->Forms())
            if (&form->Window() != &window && form->Mandel().GetBusy())
                framesWhileOtherDraws[window.Handle()].push_back(desktop.Now());
    };
    show->ShowWindows();
    desktop.RunUntil(6000);
    const std::vector<TfrmMain*> forms = show->Forms();
    ASSERT_EQ(forms.size(), 2u);
    for (const TfrmMain* form : forms) {
        EXPECT_GE(form->Pictures(), 1);
        EXPECT_FALSE(framesWhileOtherDraws[form->Window().Handle()].empty());
    }
    EXPECT_EQ(desktop.NestedDraws, 0);
    EXPECT_EQ(store.Opens, 1);  // loaded once
    show.reset();
    EXPECT_EQ(store.Opens, 2);  // and saved once
}

}  // namespace
}  // namespace nimbrel::testing
