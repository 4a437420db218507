#include "values/Rgblib.h"

#include <gtest/gtest.h>

#include <limits>

#include "platform/exceptions.h"

namespace nimbrel {
namespace {

TEST(Rgb, SettersClampAndColourSplits) {
    TRgb c;
    c.SetR(-5);
    c.SetG(300);
    c.SetB(128);
    EXPECT_EQ(c.R(), 0);
    EXPECT_EQ(c.G(), 255);
    EXPECT_EQ(c.B(), 128);
    c.SetColor(33023);
    EXPECT_EQ(c.R(), 255);
    EXPECT_EQ(c.G(), 128);
    EXPECT_EQ(c.B(), 0);
    EXPECT_EQ(c.GetColor(), 33023);
    c.SetColor(-1);
    EXPECT_EQ(c.GetColor(), 0);
    c.SetColor(0x7FFFFFFF);  // blue part above 255 clamps
    EXPECT_EQ(c.B(), 255);
}

TEST(Rgb, HexPairs) {
    TRgb c;
    c.SetHex("FF8000");
    EXPECT_EQ(c.GetColor(), 0x0080FF);
    c.SetHex("ff8000");
    EXPECT_EQ(c.GetColor(), 0x0080FF);
    c.SetHex("FFFFF");
    EXPECT_EQ(c.B(), 15);
    TRgb d;
    EXPECT_THROW(d.SetHex("GG0000"), EConvertError);
    EXPECT_THROW(d.SetHex("12"), EConvertError);
    EXPECT_EQ(d.R(), 0x12);  // the channels set before the failure keep their values
}

TEST(Rgb, LumaAndColourDifferences) {
    TRgb c;
    c.SetColor(0xFFFFFF);
    EXPECT_NEAR(c.GetY(), 1.0, 1e-12);
    c.SetColor(0x808080);
    EXPECT_NEAR(c.GetCb(), 0.0, 1e-12);
    EXPECT_NEAR(c.GetCr(), 0.0, 1e-12);
    c.SetYCrCb(0.5, 0, 0);
    EXPECT_EQ(c.GetColor(), 0x808080);  // 127.5 goes to 128
    c.SetYCrCb(2, 0, 0);
    EXPECT_EQ(c.GetColor(), 0xFFFFFF);
    c.SetYCrCb(-1, 0, 0);
    EXPECT_EQ(c.GetColor(), 0);
    EXPECT_THROW(c.SetYCrCb(std::numeric_limits<double>::quiet_NaN(), 0, 0), ERangeError);
    EXPECT_THROW(c.SetYCrCb(1e10, 0, 0), ERangeError);
}

TEST(Rgb, LumaFormRoundTripsWithinOneStep) {
    TRgb c, d;
    for (int32_t v = 0; v < 0x1000000; v += 0x010305 * 7) {
        c.SetColor(v);
        d.SetYCrCb(c.GetY(), c.GetCr(), c.GetCb());
        EXPECT_LE(std::abs(c.R() - d.R()), 1);
        EXPECT_LE(std::abs(c.G() - d.G()), 1);
        EXPECT_LE(std::abs(c.B() - d.B()), 1);
    }
}

}  // namespace
}  // namespace nimbrel
