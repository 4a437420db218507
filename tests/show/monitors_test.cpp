// The show on every monitor, on the headless desktop's virtual clock: every
// window's pictures against nimbrel-render's picture of the same scene at the
// same size, the turns of the windows, the end of the show, and monitors that
// change during the show. The desktop counts nested draws and windows
// destroyed while a draw was on the stack; every test ends with both at 0.
#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "headless/headless_desktop.h"
#include "shell/Main.h"
#include "shell/monitor_show.h"
#include "shell/show_session.h"
#include "show_fixture.h"
#include "../support/bitmap_pixels.h"
#include "../support/render_oracle.h"

namespace nimbrel::testing {
namespace {

TMonitor Monitor(int32_t left, int32_t top, int32_t width, int32_t height, bool primary = false) {
    return TMonitor{TRect{left, top, left + width, top + height}, primary};
}

// Three monitors of different sizes: the primary, one left of it and lower
// (negative x), one right of it and higher (negative y).
const TMonitor kPrimary = Monitor(0, 0, 64, 40, true);
const TMonitor kLeft = Monitor(-48, 8, 48, 36);
const TMonitor kRight = Monitor(64, -10, 80, 30);

std::string Name(const TMonitor& m) {
    return std::to_string(m.Width()) + "x" + std::to_string(m.Height()) + " at (" + std::to_string(m.Bounds.Left) +
           ", " + std::to_string(m.Bounds.Top) + ")";
}

// Two scenes that each name their palette, draw mode and iteration limit, so
// that a picture does not depend on the pictures before it.
const char* const kScenes =
    "T=MANDEL, Title=A, Cr=-0.6, Ci=0, W=2.5, I=40, MCF=warm, DM=2\r\n"
    "T=JULIA, Title=B, Cr=0, Ci=0, W=3, Jr=-0.8, Ji=0.156, I=50, MCF=cold, DM=7, PB=3, ER=20\r\n";

// A counter of the settings object's loads and saves: each opens the
// program's key with creation allowed, once.
class TCountingStore : public TMemorySettingsStore {
public:
    std::unique_ptr<TSettingsKey> OpenKey(std::string_view Path, bool CanCreate) override {
        if (CanCreate && Path == "Software\\Orv\\Nimbrel") ++Opens;
        return TMemorySettingsStore::OpenKey(Path, CanCreate);
    }
    int Opens = 0;
};

// What one monitor's window received: complete pictures (the final copy of a
// picture step) and whether each equalled the oracle.
struct TWindowLog {
    int Pictures = 0;
    int Wrong = 0;
    std::vector<int64_t> Ends;
};

class MonitorShowTest : public ShowTest {
protected:
    void SetUp() override {
        // 10 virtual ms a row: the primary's picture of 40 rows is drawn from
        // 100 to 500, the left one's (36 rows) from 500 to 860, the right
        // one's (30 rows) from 861 to 1161.
        RowCost = 10;
        Files.Write("warm.mcf", "000000\r\n#GRAD FF0000, FFFF00, 24\r\n");
        Files.Write("cold.mcf", "000020\r\n#GRAD 0000FF, 00FFFF, 24\r\n");
        WriteScenes(kScenes);
        Oracle = std::make_unique<TRenderOracle>(Files.PathOf("scenes.mrp"), Files.PathOf(""), Files);
    }
    void TearDown() override {
        if (Desktop && CheckReentrance) {
            EXPECT_EQ(Desktop->NestedDraws, 0);
            EXPECT_EQ(Desktop->DestroyedInsideDraw, 0);
        }
        Show.reset();
        Desktop.reset();
    }

    // The settings the dialog would write, for full-screen pictures, centred,
    // with a pause of 300 ms; then Edit's changes.
    template <class Edit> void Configure(Edit edit) {
        Show.reset();
        Desktop.reset();
        TMandelssReg s(Counting);
        s.SizeFull = true;
        s.SizeX = 24;
        s.SizeY = 16;
        s.DM = lmCenter;
        s.Wait = 300;
        s.DrawMode = dmNormal;
        s.McfFolder = Files.PathOf("");
        s.MrpFile = Files.PathOf("scenes.mrp");
        edit(s);
    }
    void Configure() {
        Configure([](TMandelssReg&) {});
    }

    // The show on the monitors, its windows shown, as start-up does.
    void StartOn(const std::vector<TMonitor>& monitors) {
        Show.reset();
        Desktop.reset();
        Desktop = std::make_unique<THeadlessDesktop>(monitors);
        Desktop->RowCost = RowCost;
        Desktop->OnCopy = [this](const THeadlessDesktop::TWindow& window) { Check(window); };
        TSaverInit init;
        init.SaverMode = smSaver;
        Show = std::make_unique<TMonitorShow>(*Desktop, Counting, Passwords, init, 12345);
        Show->ShowWindows();
    }

    // What start-up does once the loop has ended.
    void EndShow() { Show.reset(); }

    // The window surface a complete picture must leave: the picture centred
    // on the background colour, or tiled from the top-left corner.
    std::vector<int32_t> Expected(const std::vector<int32_t>& picture, int32_t w, int32_t h, int32_t W, int32_t H) {
        const TMandelssReg& s = *Show->Session().Settings();
        std::vector<int32_t> surface;
        const int32_t left = W / 2 - w / 2, top = H / 2 - h / 2;
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x) {
                if (s.DM == lmSpread) {
                    surface.push_back(picture[static_cast<std::size_t>((y % h) * w + x % w)]);
                } else {
                    const bool inside = x >= left && x < left + w && y >= top && y < top + h;
                    surface.push_back(inside ? picture[static_cast<std::size_t>((y - top) * w + x - left)]
                                             : s.Bgcolor);
                }
            }
        return surface;
    }

    // At the final copy of a picture step: the picture is nimbrel-render's
    // picture of the scene at its size, and once the copy is complete (the
    // tiles follow the first blit) the window shows it laid out.
    void Check(const THeadlessDesktop::TWindow& window) {
        const auto* form = dynamic_cast<const TfrmMain*>(window.Form());
        if (!form || form->Mandel().GetBusy()) return;
        const std::string name = Name(window.Monitor());
        TWindowLog& log = Logs[name];
        ++log.Pictures;
        log.Ends.push_back(Desktop->Now());
        Order.push_back(name);
        const TBitmap& bitmap = form->Mandel().GetBitmap();
        const auto& picture = Oracle->Picture(form->LastIndex(), bitmap.Width(), bitmap.Height());
        if (Pixels(bitmap) != picture) {
            ++log.Wrong;
            return;
        }
        const std::vector<int32_t> expected = Expected(picture, bitmap.Width(), bitmap.Height(),
                                                       window.Surface().Width(), window.Surface().Height());
        const intptr_t handle = window.Handle();
        Desktop->At(Desktop->Now(), [this, handle, name, expected] {
            for (const auto* w : Desktop->Windows())
                if (w->Handle() == handle && Pixels(w->Surface()) != expected) ++Logs[name].Wrong;
        });
    }

    std::set<std::string> WindowMonitors() const {
        std::set<std::string> names;
        for (const auto* window : Desktop->Windows()) names.insert(Name(window->Monitor()));
        return names;
    }
    static std::set<std::string> Names(const std::vector<TMonitor>& monitors) {
        std::set<std::string> names;
        for (const TMonitor& m : monitors) names.insert(Name(m));
        return names;
    }

    TCountingStore Counting;
    std::unique_ptr<TRenderOracle> Oracle;
    std::unique_ptr<THeadlessDesktop> Desktop;
    std::unique_ptr<TMonitorShow> Show;
    std::map<std::string, TWindowLog> Logs;
    std::vector<std::string> Order;  // the monitor of every complete picture
    bool CheckReentrance = true;
};

TEST_F(MonitorShowTest, EveryWindowShowsPicturesOfItsOwnMonitorEqualToNimbrelRender) {
    const struct {
        const char* name;
        std::vector<TMonitor> monitors;
        bool full;
        uint8_t layout;
    } cases[] = {
        {"two monitors, full screen", {kPrimary, kLeft}, true, lmCenter},
        {"three monitors, full screen", {kLeft, kPrimary, kRight}, true, lmSpread},
        {"three monitors, a size of its own, centred", {kRight, kLeft, kPrimary}, false, lmCenter},
        {"three monitors, a size of its own, tiled", {kPrimary, kRight, kLeft}, false, lmSpread},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Logs.clear();
        Configure([&](TMandelssReg& s) {
            s.SizeFull = c.full;
            s.SizeX = 20;
            s.SizeY = 12;
            s.DM = c.layout;
            s.Bgcolor = 0x336699;
        });
        StartOn(c.monitors);
        Desktop->RunUntil(10000);
        EXPECT_EQ(WindowMonitors(), Names(c.monitors));
        for (const auto* window : Desktop->Windows()) {
            SCOPED_TRACE(Name(window->Monitor()));
            EXPECT_TRUE(window->Visible());
            EXPECT_EQ(window->Surface().Width(), window->Monitor().Width());
            EXPECT_EQ(window->Surface().Height(), window->Monitor().Height());
            const TWindowLog& log = Logs[Name(window->Monitor())];
            EXPECT_GE(log.Pictures, 3);
            EXPECT_EQ(log.Wrong, 0);
        }
        EXPECT_EQ(Desktop->NestedDraws, 0);
    }
}

// The windows draw in turn: the primary first, then the others in the order
// of the monitor list; with a pause shorter than a picture the turns rotate,
// so no monitor waits for more than one picture of each other monitor.
TEST_F(MonitorShowTest, WindowsTakeTurnsAndNoMonitorStarves) {
    Configure([](TMandelssReg& s) { s.Wait = 100; });
    StartOn({kLeft, kRight, kPrimary});
    Desktop->RunUntil(20000);
    ASSERT_GE(Order.size(), 12u);
    EXPECT_EQ(Order[0], Name(kPrimary));
    EXPECT_EQ(Order[1], Name(kLeft));
    EXPECT_EQ(Order[2], Name(kRight));
    for (std::size_t i = 3; i < Order.size(); ++i) EXPECT_EQ(Order[i], Order[i - 3]) << "picture " << i;
    for (const auto& [name, log] : Logs) EXPECT_EQ(log.Wrong, 0) << name;
}

TEST_F(MonitorShowTest, OneInputEndsTheShowOnEveryWindowAndTheSettingsAreWrittenOnce) {
    const struct {
        const char* name;
        std::function<void(THeadlessDesktop&)> input;
        int64_t at;
    } cases[] = {
        {"a key on a monitor that waits", [](THeadlessDesktop& d) { d.KeyAt(250, kRight.Bounds); }, 250},
        {"a click on the monitor being drawn", [](THeadlessDesktop& d) { d.ClickAt(300, kPrimary.Bounds); }, 300},
        {"an armed mouse move", [](THeadlessDesktop& d) { d.MouseMoveAt(2200, kLeft.Bounds); }, 2200},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Configure([](TMandelssReg& s) { s.Wait = 60000; });
        Counting.Opens = 0;
        Passwords.VerifyCalls = 0;
        StartOn({kPrimary, kLeft, kRight});
        Desktop->MouseMoveAt(900, kLeft.Bounds);  // within the first second: ignored
        c.input(*Desktop);
        Desktop->RunUntil(5000);
        ASSERT_TRUE(Desktop->Terminated());
        // The picture being drawn was cancelled: nothing was copied after.
        for (const auto* window : Desktop->Windows())
            for (int64_t copy : window->Copies) EXPECT_LE(copy, c.at + 10);
        EndShow();
        EXPECT_TRUE(Desktop->Windows().empty());
        EXPECT_EQ(Desktop->WindowsDestroyed, 3);
        EXPECT_EQ(Counting.Opens, 2);  // loaded once, saved once
        EXPECT_EQ(Desktop->CursorCount, 0);
        EXPECT_EQ(Desktop->ApplicationWindowShown, 1);
        EXPECT_EQ(Passwords.VerifyCalls, 0);
    }
}

// The password is asked once, whatever comes on the other windows while its
// dialog is open; the picture that was being drawn goes on.
TEST_F(MonitorShowTest, OnePasswordPromptForAllWindows) {
    Configure([](TMandelssReg& s) { s.Wait = 60000; });
    Counting.OpenKey("Control Panel\\desktop", true)->WriteInteger("ScreenSaveUsePassword", 1);
    StartOn({kPrimary, kLeft, kRight});
    Passwords.Answers = {false, true};
    Passwords.WhileOpen = [this] {
        // The dialog's own loop: the windows' timers and input go on.
        if (Passwords.VerifyCalls == 1) Desktop->RunModal(Desktop->Now() + 300);
    };
    Desktop->ClickAt(250, kPrimary.Bounds);  // during the primary's first picture
    Desktop->KeyAt(300, kLeft.Bounds);
    Desktop->ClickAt(400, kRight.Bounds);
    Desktop->MouseMoveAt(500, kRight.Bounds);
    Desktop->RunUntil(3000);
    EXPECT_EQ(Passwords.VerifyCalls, 1);
    EXPECT_FALSE(Desktop->Terminated());
    for (const TMonitor& m : {kPrimary, kLeft, kRight}) EXPECT_EQ(Logs[Name(m)].Pictures, 1) << Name(m);
    EXPECT_EQ(Desktop->CursorCount, -1);  // shown for the dialog, hidden again
    Desktop->KeyAt(3100, kRight.Bounds);
    Desktop->RunUntil(4000);
    EXPECT_EQ(Passwords.VerifyCalls, 2);
    EXPECT_TRUE(Desktop->Terminated());
}

// Input that comes in the same batch as the click that ends the show (a key
// repeat, a click on another window) is still dispatched while the cancelled
// picture unwinds; it asks for the password no more.
TEST_F(MonitorShowTest, InputAfterTheEndAsksNothingMore) {
    Configure();
    Counting.OpenKey("Control Panel\\desktop", true)->WriteInteger("ScreenSaveUsePassword", 1);
    StartOn({kPrimary, kLeft, kRight});
    Desktop->ClickAt(250, kPrimary.Bounds);  // during the primary's first picture
    Desktop->KeyAt(250, kRight.Bounds);
    Desktop->KeyAt(250, kRight.Bounds);
    Desktop->ClickAt(250, kLeft.Bounds);
    Desktop->RunUntil(1000);
    EXPECT_TRUE(Desktop->Terminated());
    EXPECT_EQ(Passwords.VerifyCalls, 1);
}

// The first second's mouse grace counts once for the show: a window made for
// a monitor plugged in later does not start a grace of its own.
TEST_F(MonitorShowTest, TheMouseGraceCountsOnceForTheWholeShow) {
    Configure([](TMandelssReg& s) { s.Wait = 60000; });
    const TMonitor added = Monitor(0, 40, 32, 20);
    StartOn({kPrimary, kLeft});
    Desktop->ChangeMonitorsAt(1500, {kPrimary, kLeft, added});
    Desktop->MouseMoveAt(1550, added.Bounds);
    Desktop->RunUntil(1600);
    EXPECT_TRUE(Desktop->Terminated());
}

TEST_F(MonitorShowTest, MonitorsThatChangeDuringTheShow) {
    const TMonitor wider = Monitor(0, 0, 80, 50, true);
    const TMonitor added = Monitor(0, 40, 32, 20);
    // The primary draws 100..500, the left monitor waits, then draws
    // 500..860, the right one after it; each pauses 200 ms after its picture.
    const struct {
        const char* name;
        int64_t at;
        std::vector<TMonitor> after;
        std::vector<TMonitor> gone;
    } cases[] = {
        {"the monitor being drawn is removed", 250, {kLeft, kRight}, {kPrimary}},
        {"a waiting monitor is removed while another is drawn", 250, {kPrimary, kLeft}, {kRight}},
        {"the monitor being drawn gets another resolution", 250, {wider, kLeft, kRight}, {kPrimary}},
        {"a monitor is removed between pictures", 1500, {kPrimary, kRight}, {kLeft}},
        // Its turn was handed on at 500 and falls due at 501, after the change.
        {"a monitor is removed when its turn is due", 501, {kPrimary, kRight}, {kLeft}},
        {"a monitor is added while one is drawn", 700, {kPrimary, kLeft, kRight, added}, {}},
        {"the system lists no monitor", 250, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Logs.clear();
        Configure([](TMandelssReg& s) { s.Wait = 200; });
        StartOn({kPrimary, kLeft, kRight});
        Desktop->ChangeMonitorsAt(c.at, c.after);
        Desktop->RunUntil(c.at);
        std::map<std::string, int> before;
        for (const auto& [name, log] : Logs) before[name] = log.Pictures;
        Desktop->RunUntil(12000);
        const std::vector<TMonitor> now = c.after.empty() ? std::vector<TMonitor>{kPrimary, kLeft, kRight} : c.after;
        EXPECT_EQ(WindowMonitors(), Names(now));
        for (const TMonitor& m : now) {
            SCOPED_TRACE(Name(m));
            EXPECT_GE(Logs[Name(m)].Pictures - before[Name(m)], 2);  // the show goes on
            EXPECT_EQ(Logs[Name(m)].Wrong, 0);
        }
        for (const TMonitor& m : c.gone) {
            SCOPED_TRACE(Name(m));
            for (int64_t end : Logs[Name(m)].Ends) EXPECT_LT(end, c.at);
            EXPECT_EQ(Desktop->WindowOn(m.Bounds), nullptr);
        }
        EXPECT_EQ(Desktop->NestedDraws, 0);
        EXPECT_EQ(Desktop->DestroyedInsideDraw, 0);
        EXPECT_FALSE(Desktop->Terminated());
    }
}

TEST_F(MonitorShowTest, AFailedStartIsReportedOnceAndNoWindowShowsAPicture) {
    const struct {
        const char* name;
        std::function<void(TMandelssReg&)> edit;
        std::string message;
    } cases[] = {
        {"a missing scene file", [this](TMandelssReg& s) { s.MrpFile = Files.PathOf("none.mrp"); },
         Files.PathOf("none.mrp") + "\r\nが見つかりません。"},
        {"a size the engine refuses",
         [](TMandelssReg& s) {
             s.SizeFull = false;
             s.SizeX = 0;
         },
         "サイズ指定が不正です"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Box.Errors.clear();
        Configure(c.edit);
        StartOn({kPrimary, kLeft, kRight});
        Desktop->RunUntil(5000);
        EXPECT_EQ(Box.Errors, std::vector<std::string>{c.message});
        for (const auto* window : Desktop->Windows()) EXPECT_TRUE(window->Copies.empty());
        EXPECT_FALSE(Desktop->Terminated());  // the windows stay until they are closed
        Desktop->KeyAt(5100, kLeft.Bounds);
        Desktop->RunUntil(6000);
        EXPECT_TRUE(Desktop->Terminated());
        EndShow();
        TMandelssReg stored(Counting);
        EXPECT_TRUE(stored.SizeFull);
    }
}

// Start-up chooses the show on every monitor for the show switch when the
// desktop has more than one monitor and the show is no child window.
class TDesktopStartup : public TSaverStartup {
public:
    TDesktopStartup(THeadlessDesktop& desktop, THeadlessHost& host) : desktop_(desktop), host_(host) {}
    std::vector<std::string> Calls;

    void SetScreenSaverRunning(bool running) override { Calls.push_back(running ? "running" : "not running"); }
    void ShowHostWindow(int32_t) override {}
    TRect HostWindowRect(int32_t) override { return TRect{}; }
    TShowWindow& CreateShowWindow(int32_t parent) override {
        Calls.push_back("window " + std::to_string(parent));
        return host_;
    }
    void PlaceShowWindow(int32_t, int32_t, int32_t, int32_t) override {}
    void SetMainForm(std::unique_ptr<TMainForm> form) override { host_.SetMainForm(std::move(form)); }
    void CreateSettingsDialog() override {}
    void SetToolWindowStyle() override { Calls.push_back("tool window"); }
    void RunMessageLoop() override {
        Calls.push_back("loop with " + std::to_string(desktop_.Windows().size()) + " monitor windows");
        host_.SetMainForm(nullptr);
    }
    TShowDesktop* Desktop() override { return &desktop_; }

private:
    THeadlessDesktop& desktop_;
    THeadlessHost& host_;
};

TEST_F(MonitorShowTest, StartUpShowsOnEveryMonitorOnlyForAShowOfItsOwnOnSeveralMonitors) {
    const struct {
        std::vector<std::string> args;
        std::vector<TMonitor> monitors;
        std::vector<std::string> calls;
    } cases[] = {
        {{"/s"}, {kPrimary, kLeft}, {"running", "tool window", "loop with 2 monitor windows", "not running"}},
        {{"/s"}, {kPrimary}, {"running", "window 0", "tool window", "loop with 0 monitor windows", "not running"}},
        {{"/s", "77"}, {kPrimary, kLeft}, {"running", "window 77", "tool window", "loop with 0 monitor windows",
                                          "not running"}},
    };
    Configure();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.size() > 1 ? c.args[1] : std::to_string(c.monitors.size()));
        THeadlessDesktop desktop(c.monitors);
        THeadlessHost host(64, 48, 40, 30);
        TDesktopStartup startup(desktop, host);
        RunSaver(DecideSaverMode(c.args), startup, Counting, Passwords);
        EXPECT_EQ(startup.Calls, c.calls);
        EXPECT_TRUE(desktop.Windows().empty());
        EXPECT_EQ(desktop.CursorCount, 0);
        EXPECT_EQ(host.CursorCount, 0);
    }
}

// The check itself: two shows of one window each, on one desktop, have no
// turns between them, and their draws nest; the desktop sees it.
TEST_F(MonitorShowTest, TheDesktopSeesDrawsNestedWithoutTurns) {
    Configure();
    Desktop = std::make_unique<THeadlessDesktop>(std::vector<TMonitor>{kPrimary, kLeft});
    Desktop->RowCost = RowCost;
    std::vector<std::unique_ptr<TMonitorWindow>> windows;
    std::vector<std::unique_ptr<TfrmMain>> forms;
    TSaverInit init;
    init.SaverMode = smSaver;
    for (const TMonitor& m : {kPrimary, kLeft}) {
        windows.push_back(Desktop->CreateMonitorWindow(m));
        forms.push_back(std::make_unique<TfrmMain>(*windows.back(), Counting, Passwords, init, 1));
        windows.back()->SetForm(forms.back().get());
        forms.back()->FormActivate();
    }
    Desktop->RunUntil(3000);
    EXPECT_GT(Desktop->NestedDraws, 0);
    forms.clear();
    windows.clear();
    CheckReentrance = false;
}

}  // namespace
}  // namespace nimbrel::testing
