#include <set>
#include <vector>

#include "show_fixture.h"

namespace nimbrel::testing {
namespace {

std::vector<int64_t> CopyTimes(const THeadlessHost& host) {
    std::vector<int64_t> times;
    for (const auto& copy : host.Copies)
        if (copy.FromBitmap) times.push_back(copy.Time);
    return times;
}

TEST_F(ShowTest, CopiesEveryHalfSecondWhileDrawingThenTheFinalCopyAndTheNextPictureAfterWait) {
    Settings([](TMandelssReg& s) { s.SizeY = 50; });  // 50 rows of 25 ms: 1250 ms a picture
    WriteScenes(Scene());
    RowCost = 25;
    Start();
    Host->RunUntil(99);
    EXPECT_TRUE(CopyTimes(*Host).empty());
    EXPECT_EQ(Form->timDraw().GetInterval(), 100u);
    Host->RunUntil(2349);
    // The picture starts at 100: copies 500 ms into it and every 500 ms
    // after, then the final copy when it is complete at 1350.
    EXPECT_EQ(CopyTimes(*Host), (std::vector<int64_t>{600, 1100, 1350}));
    EXPECT_EQ(Form->timDraw().GetInterval(), 1000u);
    EXPECT_EQ(Form->timDrawMandel().GetInterval(), 0u);
    Host->RunUntil(4000);
    // The next picture starts 1000 ms after the end of the first.
    EXPECT_EQ(CopyTimes(*Host), (std::vector<int64_t>{600, 1100, 1350, 2850, 3350, 3600}));
}

TEST_F(ShowTest, WaitZeroStopsAfterTheFirstPicture) {
    Settings([](TMandelssReg& s) { s.Wait = 0; });
    WriteScenes(Scene() + Scene());
    Start();
    Host->RunUntil(60000);
    EXPECT_EQ(CopyTimes(*Host).size(), 1u);
    EXPECT_EQ(Form->timDraw().GetInterval(), 0u);
}

// The scene index of every picture of a show of `pictures` pictures.
std::vector<int32_t> Sequence(ShowTest& test, THeadlessHost& host, const TfrmMain& form, int pictures) {
    (void)test;
    std::vector<int32_t> indexes;
    std::size_t copies = 0;
    while (static_cast<int>(indexes.size()) < pictures) {
        host.RunUntil(host.Now() + 50);
        if (host.Copies.size() != copies) {
            copies = host.Copies.size();
            indexes.push_back(form.LastIndex());
        }
    }
    return indexes;
}

TEST_F(ShowTest, OneSceneRepeatsTwoAlternateMoreNeverRepeatTheLast) {
    Settings();
    WriteScenes(Scene());
    Start();
    EXPECT_EQ(Sequence(*this, *Host, *Form, 5), (std::vector<int32_t>{0, 0, 0, 0, 0}));

    WriteScenes(Scene() + Scene());
    Start();
    const auto two = Sequence(*this, *Host, *Form, 8);
    for (std::size_t i = 1; i < two.size(); ++i) EXPECT_NE(two[i], two[i - 1]);

    WriteScenes(Scene() + Scene() + Scene() + Scene());
    Start();
    const auto four = Sequence(*this, *Host, *Form, 40);
    for (std::size_t i = 1; i < four.size(); ++i) EXPECT_NE(four[i], four[i - 1]);
    EXPECT_EQ(std::set<int32_t>(four.begin(), four.end()).size(), 4u);
}

// The window pixels expected from tiling a w x h bitmap from the top-left.
void ExpectTiled(const TBitmap& window, const TBitmap& bitmap) {
    for (int32_t y = 0; y < window.Height(); ++y)
        for (int32_t x = 0; x < window.Width(); ++x)
            ASSERT_EQ(window.GetPixel(x, y), bitmap.GetPixel(x % bitmap.Width(), y % bitmap.Height()))
                << x << "," << y;
}

TEST_F(ShowTest, SpreadTilesTheWindowWithPartialTilesAtTheEdges) {
    Settings([](TMandelssReg& s) {
        s.DM = lmSpread;
        s.SizeX = 20;
        s.SizeY = 7;
    });
    WriteScenes(Scene());
    Start(smSaver, 50, 30);
    Host->RunUntil(1000);
    ExpectTiled(Host->Surface(), Form->Mandel().GetBitmap());
    // One draw, then doublings: 20 -> 40 across, 7 -> 14 -> 28 down.
    EXPECT_EQ(Host->Copies.size(), 1u + 2 + 3);
}

TEST_F(ShowTest, SpreadOfABitmapLargerThanTheWindowShowsItsTopLeft) {
    Settings([](TMandelssReg& s) { s.DM = lmSpread; s.SizeFull = true; });
    WriteScenes(Scene());
    Start(smSaver, 16, 12);  // the screen is 40 x 30
    Host->RunUntil(1000);
    ExpectTiled(Host->Surface(), Form->Mandel().GetBitmap());
    EXPECT_EQ(Host->Copies.size(), 1u);
}

TEST_F(ShowTest, CenterPlacesThePictureOnTheBackgroundColour) {
    Settings([](TMandelssReg& s) {
        s.Bgcolor = 0x123456;
        s.SizeX = 21;
        s.SizeY = 9;
    });
    WriteScenes(Scene());
    Start(smSaver, 50, 30);
    EXPECT_EQ(Host->Surface().GetPixel(0, 0), 0x123456);  // the colour before the first copy
    Host->RunUntil(1000);
    const TBitmap& bitmap = Form->Mandel().GetBitmap();
    const int32_t left = 25 - 10, top = 15 - 4;
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 50; ++x) {
            const bool inside = x >= left && x < left + 21 && y >= top && y < top + 9;
            ASSERT_EQ(Host->Surface().GetPixel(x, y), inside ? bitmap.GetPixel(x - left, y - top) : 0x123456)
                << x << "," << y;
        }
}

TEST_F(ShowTest, CenterOfABitmapLargerThanTheWindowShowsItsMiddle) {
    Settings([](TMandelssReg& s) { s.SizeFull = true; });
    WriteScenes(Scene());
    Start(smSaver, 16, 12);  // the screen is 40 x 30: x = 8 - 20, y = 6 - 15
    Host->RunUntil(1000);
    const TBitmap& bitmap = Form->Mandel().GetBitmap();
    EXPECT_EQ(Host->Surface().GetPixel(0, 0), bitmap.GetPixel(12, 9));
    EXPECT_EQ(Host->Surface().GetPixel(15, 11), bitmap.GetPixel(27, 20));
}

TEST_F(ShowTest, ALayoutOtherThanSpreadOrCenterCopiesNothing) {
    Settings([](TMandelssReg& s) { s.DM = 2; });
    WriteScenes(Scene());
    Start();
    Host->RunUntil(5000);
    EXPECT_TRUE(Host->Copies.empty());
    EXPECT_GT(Form->Mandel().GetBitmap().Width(), 0);  // pictures are still computed
}

}  // namespace
}  // namespace nimbrel::testing
