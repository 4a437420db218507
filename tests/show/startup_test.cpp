#include <string>
#include <vector>

#include "show_fixture.h"
#include "shell/UScreenSaverInit.h"

namespace nimbrel::testing {
namespace {

// Start-up services that record what start-up asked of them, around a
// headless host.
class TRecordingStartup : public TSaverStartup {
public:
    explicit TRecordingStartup(THeadlessHost& host) : host_(host) {}
    std::vector<std::string> Calls;

    void SetScreenSaverRunning(bool running) override { Calls.push_back(running ? "running" : "not running"); }
    void ShowHostWindow(int32_t parent) override { Calls.push_back("show host " + std::to_string(parent)); }
    TRect HostWindowRect(int32_t) override { return TRect{100, 50, 252, 162}; }
    TShowWindow& CreateShowWindow(int32_t parent) override {
        Calls.push_back("window " + std::to_string(parent));
        return host_;
    }
    void PlaceShowWindow(int32_t left, int32_t top, int32_t width, int32_t height) override {
        Calls.push_back("place " + std::to_string(left) + "," + std::to_string(top) + " " + std::to_string(width) +
                        "x" + std::to_string(height));
    }
    void SetMainForm(std::unique_ptr<TMainForm> form) override {
        Calls.push_back("main form");
        host_.SetMainForm(std::move(form));
    }
    void CreateSettingsDialog() override { Calls.push_back("settings dialog"); }
    void SetToolWindowStyle() override { Calls.push_back("tool window"); }
    void RunMessageLoop() override {
        Calls.push_back("loop");
        host_.Activate();
        host_.KeyAt(host_.Now() + 200);
        host_.RunUntil(host_.Now() + 1000);
    }

private:
    THeadlessHost& host_;
};

TEST_F(ShowTest, StartUpByMode) {
    Settings();
    WriteScenes(Scene());
    const struct {
        std::vector<std::string> args;
        std::vector<std::string> calls;
    } cases[] = {
        {{"/s"}, {"running", "window 0", "main form", "tool window", "loop", "not running"}},
        {{"/S", "77"}, {"running", "window 77", "main form", "tool window", "loop", "not running"}},
        {{"/p", "4242"}, {"show host 4242", "window 4242", "main form", "place 0,0 152x112", "tool window", "loop"}},
        {{}, {"settings dialog", "loop"}},
        {{"/c:1234"}, {"settings dialog", "loop"}},
        {{"/a", "5"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
        THeadlessHost host(64, 48, 40, 30);
        TRecordingStartup startup(host);
        RunSaver(DecideSaverMode(c.args), startup, Store, Passwords);
        EXPECT_EQ(startup.Calls, c.calls);
    }
    EXPECT_EQ(Passwords.ChangeCalls, 1);
    EXPECT_EQ(Passwords.LastOwner, 5);
    EXPECT_TRUE(Box.Errors.empty());
}

TEST_F(ShowTest, PasswordChangeWithoutTheSystemRoutineSaysSo) {
    Passwords.HasChange = false;
    THeadlessHost host(64, 48, 40, 30);
    TRecordingStartup startup(host);
    RunSaver(DecideSaverMode({"/A"}), startup, Store, Passwords);
    EXPECT_EQ(Box.Errors, (std::vector<std::string>{"この機能は使えません"}));
    EXPECT_TRUE(startup.Calls.empty());
}

TEST_F(ShowTest, TheShowHidesTheCursorAndShowsItAgainAtTheEnd) {
    Settings();
    WriteScenes(Scene());
    THeadlessHost host(64, 48, 40, 30);
    TRecordingStartup startup(host);
    RunSaver(DecideSaverMode({"/s"}), startup, Store, Passwords);
    EXPECT_TRUE(host.Terminated());
    EXPECT_EQ(host.CursorCount, 0);
    EXPECT_EQ(host.ApplicationWindowShown, 1);
}

}  // namespace
}  // namespace nimbrel::testing
