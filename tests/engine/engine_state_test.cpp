#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "engine/mandel_class.h"
#include "headless/recorded_error_box.h"
#include "platform/application.h"
#include "platform/exceptions.h"

namespace nimbrel {
namespace {

// A fresh engine is ready to draw: the whole Mandelbrot set, seen from
// -2.3 - 1.5i to 0.7 + 1.5i in 200 x 200 pixels with 256 iterations, in the
// built-in colours (black inside, then 127 steps of 0x020408).
TEST(EngineState, AFreshEngineDrawsTheWholeSetInTheBuiltInColours) {
    TMandel m;
    TScopedMessagePump pump([] {});
    m.Draw();
    const TBitmap& b = m.GetBitmap();
    ASSERT_EQ(b.Width(), 200);
    ASSERT_EQ(b.Height(), 200);
    // The view is centred on the real axis: row y lies at Im = 1.5 - 3y/200,
    // the mirror of row 200 - y.
    for (int32_t y = 1; y < 200; ++y)
        for (int32_t x = 0; x < 200; ++x) ASSERT_EQ(b.GetPixel(x, y), b.GetPixel(x, 200 - y)) << x << "," << y;
    // c = -0.005 (column 153 of the row on the axis) is inside, c = -2.3
    // escapes at the first step, c = 0.4 (column 180) after 7 steps.
    EXPECT_EQ(b.GetPixel(153, 100), 0);
    EXPECT_EQ(b.GetPixel(0, 100), 2 * 0x020408);
    EXPECT_EQ(b.GetPixel(180, 100), 8 * 0x020408);
    // -0.75 + 0.01i, in the neck between the two largest bulbs, escapes
    // after about 300 steps: beyond the limit of 256, so it is black.
    const TComplexPoint P = m.GetPointP();
    EXPECT_DOUBLE_EQ(P.Re, -2.3);
    EXPECT_DOUBLE_EQ(P.Im, 1.5);
    m.SetWidth(1);
    m.SetHeight(1);
    m.SetCenter({-0.75, 0.01});
    m.SetViewWidth(1e-9);
    m.Draw();
    EXPECT_EQ(m.GetBitmap().GetPixel(0, 0), 0);
    m.SetMaxIter(400);
    m.Draw();
    EXPECT_NE(m.GetBitmap().GetPixel(0, 0), 0);
    // The built-in table: entry i is i * 0x020408.
    ASSERT_EQ(m.GetColorCount(), 127);
    for (int32_t i = 0; i <= 127; ++i) EXPECT_EQ(m.GetColorTable()[static_cast<std::size_t>(i)], i * 0x020408) << i;
}

TEST(EngineState, SettersAndTheirRefusals) {
    TMandel m;
    EXPECT_THROW(m.SetWidth(0), EAbort);
    EXPECT_THROW(m.SetWidth(-5), EAbort);
    EXPECT_THROW(m.SetHeight(0), EAbort);
    EXPECT_EQ(m.GetWidth(), 200);
    EXPECT_EQ(m.GetHeight(), 200);
    m.SetViewWidth(-2.5);
    EXPECT_EQ(m.GetViewWidth(), 2.5);
    EXPECT_THROW(m.SetJuliaConstant({1, 1}), EAbort);
    EXPECT_EQ(m.GetJuliaConstant().Re, 0.0);
    m.SetEscapeRadius(3);
    EXPECT_EQ(m.GetEscapeRadiusSqr(), 9.0);
    m.SetScaleExponent(2);
    EXPECT_DOUBLE_EQ(m.GetScale(), 100.0);
    m.SetScaleExponent(-2);
    EXPECT_DOUBLE_EQ(m.GetScale(), 0.01);
}

TEST(EngineState, SwitchKindAndResetView) {
    TMandel m;
    m.SetCenter({0.3, 0.5});
    m.SwitchKind();
    EXPECT_EQ(m.GetKind(), fkJulia);
    EXPECT_EQ(m.GetJuliaConstant().Re, 0.3);
    EXPECT_EQ(m.GetJuliaConstant().Im, 0.5);
    EXPECT_EQ(m.GetCenter().Re, 0.0);
    EXPECT_EQ(m.GetViewWidth(), 4.0);
    m.SetJuliaConstant({-0.8, 0.156});  // allowed now
    m.SwitchKind();
    EXPECT_EQ(m.GetKind(), fkMandelbrot);
    EXPECT_EQ(m.GetCenter().Re, -0.8);
    EXPECT_EQ(m.GetViewWidth(), 3.0);
    EXPECT_EQ(m.GetJuliaConstant().Re, -0.8);  // kept
    EXPECT_EQ(m.GetJuliaConstant().Im, 0.156);

    m.SetPower(3);
    m.SetCenter({1, 1});
    m.ResetView();
    EXPECT_EQ(m.GetCenter().Re, 0.0);
    EXPECT_EQ(m.GetViewWidth(), 4.0);
    m.SwitchKind();
    EXPECT_EQ(m.GetCenter().Re, 0.0);
    EXPECT_EQ(m.GetViewWidth(), 4.0);
}

TEST(EngineState, PixelToPlaneMapping) {
    TMandel m;
    m.SetWidth(640);
    m.SetHeight(480);
    const TComplexPoint P = m.GetPointP();
    const TComplexPoint Q = m.GetPointQ();
    EXPECT_DOUBLE_EQ(P.Re, -2.8);
    EXPECT_DOUBLE_EQ(P.Im, 1.5);
    EXPECT_DOUBLE_EQ(Q.Re, 1.2);
    EXPECT_DOUBLE_EQ(Q.Im, -1.5);
    const double dx = (Q.Re - P.Re) / 640;
    const double dy = (Q.Im - P.Im) / 480;
    EXPECT_DOUBLE_EQ(dx, 0.00625);
    EXPECT_DOUBLE_EQ(dy, -0.00625);
    EXPECT_NEAR(320 * dx + P.Re, -0.8, 1e-15);
    EXPECT_NEAR(240 * dy + P.Im, 0.0, 1e-15);

    m.SetWidth(200);
    m.SetHeight(100);
    m.SetViewWidth(2);
    EXPECT_DOUBLE_EQ(m.GetPointQ().Re - m.GetPointP().Re, 4.0);
    EXPECT_DOUBLE_EQ(m.GetPointP().Im - m.GetPointQ().Im, 2.0);
}

TEST(DrawModeNumbers, StoredConversions) {
    const int32_t stored[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, -1, 255};
    const int32_t internal[] = {0, 1, 2, 4, 3, 5, 6, 7, 8, 0, 0, 0};
    for (std::size_t i = 0; i < std::size(stored); ++i)
        EXPECT_EQ(StoredToDrawMode(stored[i]), internal[i]) << stored[i];
    EXPECT_EQ(DrawModeToStored(3), 4);
    EXPECT_EQ(DrawModeToStored(4), 3);
    EXPECT_EQ(DrawModeToStored(131), 4);  // bit 7 is dropped
    EXPECT_EQ(DrawModeToStored(9), 0);
    for (uint8_t mode = 0; mode <= 8; ++mode) EXPECT_EQ(StoredToDrawMode(DrawModeToStored(mode)), mode);
    EXPECT_TRUE(IsIntegerDrawMode(4));
    EXPECT_TRUE(IsPotentialDrawMode(5));
    EXPECT_EQ(FlagFromStored(1), 1);
    EXPECT_EQ(FlagFromStored(2), 0);
    EXPECT_EQ(ShadingFromStored(3), 3);
    EXPECT_EQ(ShadingFromStored(4), 0);
    EXPECT_EQ(ShadingFromStored(-1), 0);
}

}  // namespace
}  // namespace nimbrel
