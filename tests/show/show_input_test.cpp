#include "show_fixture.h"

namespace nimbrel::testing {
namespace {

// Password check switched on, as the system keeps it.
void UsePassword(TMemorySettingsStore& store, int32_t value = 1) {
    store.OpenKey("Control Panel\\desktop", true)->WriteInteger("ScreenSaveUsePassword", value);
}

TEST_F(ShowTest, AMouseMoveInTheFirstSecondDoesNotEndTheShowButAKeyDoes) {
    Settings();
    WriteScenes(Scene());
    Start();
    Host->MouseMoveAt(500);
    Host->RunUntil(900);
    EXPECT_FALSE(Host->Terminated());
    Host->KeyAt(950);
    Host->RunUntil(2000);
    EXPECT_TRUE(Host->Terminated());
    EXPECT_EQ(Host->MainForm(), nullptr);  // destroyed by the loop
}

TEST_F(ShowTest, AMouseMoveEndsTheShowOnceArmed) {
    Settings([](TMandelssReg& s) { s.Wait = 60000; });
    WriteScenes(Scene());
    Start();
    // Five ticks of 200 ms arm the mouse, also when the first picture is
    // finished sooner.
    Host->MouseMoveAt(900);
    Host->RunUntil(950);
    EXPECT_FALSE(Host->Terminated());
    EXPECT_EQ(Form->MouseTicks(), 4);
    Host->MouseMoveAt(1100);
    Host->RunUntil(1150);
    EXPECT_TRUE(Host->Terminated());
}

TEST_F(ShowTest, MouseTicksAfterAPictureAndAfterARefusedPassword) {
    Settings([](TMandelssReg& s) { s.Wait = 60000; });
    WriteScenes(Scene());
    UsePassword(Store);
    Passwords.Answers = {false};
    Start();
    Host->RunUntil(3000);
    ASSERT_EQ(Form->MouseTicks(), 5);
    EXPECT_EQ(Form->timMouse().GetInterval(), 0u);  // stopped once armed
    Host->MouseMoveAt(3000);
    Host->RunUntil(3001);
    EXPECT_EQ(Passwords.VerifyCalls, 1);
    EXPECT_FALSE(Host->Terminated());
    EXPECT_EQ(Form->MouseTicks(), 3);  // ignored for two ticks
    Host->MouseMoveAt(3300);           // one tick later: still ignored
    Host->RunUntil(3350);
    EXPECT_EQ(Passwords.VerifyCalls, 1);
    Host->MouseMoveAt(3450);  // two ticks later: counts
    Host->RunUntil(3500);
    EXPECT_EQ(Passwords.VerifyCalls, 2);
    EXPECT_TRUE(Host->Terminated());
    EXPECT_EQ(Host->CursorCount, 0);  // hidden for the show, shown again at its end
}

TEST_F(ShowTest, APasswordStoredAsTextOrZeroMeansNoCheck) {
    Settings();
    WriteScenes(Scene());
    Store.OpenKey("Control Panel\\desktop", true)->WriteString("ScreenSaveUsePassword", "1");
    Passwords.Default = false;
    Start();
    Host->ClickAt(200);
    Host->RunUntil(300);
    EXPECT_TRUE(Host->Terminated());
    EXPECT_EQ(Passwords.VerifyCalls, 0);
}

TEST_F(ShowTest, AMissingPasswordRoutineEndsTheShowWithoutACheck) {
    Settings();
    WriteScenes(Scene());
    UsePassword(Store);
    Passwords.HasVerify = false;
    Start();
    Host->KeyAt(200);
    Host->RunUntil(300);
    EXPECT_TRUE(Host->Terminated());
}

TEST_F(ShowTest, AWrongPasswordDuringAPictureLetsThePictureComplete) {
    Settings([](TMandelssReg& s) { s.SizeY = 40; });
    WriteScenes(Scene());
    UsePassword(Store);
    Passwords.Answers = {false};
    RowCost = 20;
    Start();
    Host->ClickAt(300);  // during the picture of 100..900
    Host->RunUntil(1500);
    EXPECT_EQ(Passwords.VerifyCalls, 1);
    EXPECT_EQ(Passwords.LastOwner, Host->Handle());
    EXPECT_FALSE(Host->Terminated());
    EXPECT_FALSE(Form->Mandel().GetBusy());
    EXPECT_EQ(Host->Copies.back().Time, 900);  // the final copy of the completed picture
    EXPECT_EQ(Host->CursorCount, -1);          // shown for the dialog, hidden again
}

TEST_F(ShowTest, ARightPasswordDuringAPictureCancelsItAndClosesTheWindow) {
    Settings([](TMandelssReg& s) { s.SizeY = 40; });
    WriteScenes(Scene());
    UsePassword(Store);
    RowCost = 20;
    Start();
    Host->ClickAt(300);
    Host->RunUntil(1500);
    EXPECT_EQ(Passwords.VerifyCalls, 1);
    EXPECT_TRUE(Host->Terminated());
    EXPECT_EQ(Host->MainForm(), nullptr);
    // The draw stopped at the row after the click: no final copy was made.
    EXPECT_TRUE(Host->Copies.empty());
    EXPECT_LT(Host->Now(), 400);
}

// A scene that asks for two thousand million iterations inside the set at
// 3840 x 2160, where every row would take hours: a key early in the first
// row ends the show all the same, in every kind of draw (rows painted at
// once, the boundary trace's strips, the samples of the anti-aliasing, the
// cache rows of the shaded modes): one password check, the window closes,
// and the engine never made more than its budget of work between two yields.
TEST_F(ShowTest, AKeyEndsAPictureOfEndlessRowsSoon) {
    for (int mode : {0, 2, 4, 6}) {
        Settings([](TMandelssReg& s) {
            s.SizeX = 3840;
            s.SizeY = 2160;
        });
        WriteScenes("T=MANDEL, Title=h, Cr=-0.1, Ci=0, W=0.2, I=2000000000, DM=" + std::to_string(mode) + "\r\n");
        UsePassword(Store);
        Passwords.VerifyCalls = 0;
        TDrawStats atKey;
        Passwords.WhileOpen = [&] { atKey = Form->Mandel().Stats; };
        Start();
        Host->KeyAt(101);  // at the first yield of the picture that starts at 100
        Host->RunUntil(60000);
        const std::string what = "draw mode " + std::to_string(mode);
        EXPECT_TRUE(Host->Terminated()) << what;
        EXPECT_EQ(Host->MainForm(), nullptr) << what;
        EXPECT_EQ(Passwords.VerifyCalls, 1) << what;
        EXPECT_LT(Host->Now(), 110) << what;
        EXPECT_GT(atKey.MostWorkBetweenYields, 0u) << what;
        EXPECT_LE(atKey.MostWorkBetweenYields, kYieldBudget) << what;
    }
}

TEST_F(ShowTest, PreviewIgnoresInputAndStaysSilentAboutTheSceneFile) {
    Settings();
    WriteScenes(Scene());
    Start(smPreview);  // starts at once, without an activation
    Host->ClickAt(1500);
    Host->KeyAt(1600);
    Host->MouseMoveAt(1700);
    Host->RunUntil(3000);
    EXPECT_FALSE(Host->Terminated());
    EXPECT_FALSE(Host->Copies.empty());
    EXPECT_EQ(Passwords.VerifyCalls, 0);
    EXPECT_EQ(Host->CursorCount, 0);

    Settings([&](TMandelssReg& s) { s.MrpFile = Files.PathOf("missing.mrp"); });
    Start(smPreview);
    Host->RunUntil(3000);
    EXPECT_TRUE(Box.Errors.empty());
    EXPECT_TRUE(Host->Copies.empty());
}

TEST_F(ShowTest, TheScreenSaveCommandIsSwallowedWhileTheShowRuns) {
    Settings();
    WriteScenes(Scene());
    Start();
    Host->SysCommandAt(200, SC_SCREENSAVE);
    Host->SysCommandAt(300, 0xF020);  // minimise: passed on
    Host->RunUntil(400);
    EXPECT_EQ(Host->PassedSysCommands, (std::vector<uint32_t>{0xF020}));
}

}  // namespace
}  // namespace nimbrel::testing
