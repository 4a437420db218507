#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>

#include "engine/mandel_class.h"
#include "headless/recorded_error_box.h"
#include "platform/exceptions.h"

namespace nimbrel {
namespace {

TEST(EngineState, DefaultsAfterCreate) {
    TMandel m;
    EXPECT_EQ(m.GetWidth(), 200);
    EXPECT_EQ(m.GetHeight(), 200);
    EXPECT_EQ(m.GetMaxIter(), 256);
    EXPECT_EQ(m.GetColorStep(), 1);
    EXPECT_EQ(m.GetPower(), 2);
    EXPECT_EQ(m.GetKind(), fkMandelbrot);
    EXPECT_EQ(std::bit_cast<uint64_t>(m.GetCenter().Re), 0xBFE999999999999AULL);
    EXPECT_EQ(m.GetCenter().Im, 0.0);
    EXPECT_EQ(m.GetViewWidth(), 3.0);
    EXPECT_EQ(m.GetColorCount(), 127);
    EXPECT_EQ(m.GetColorTable().size(), 128u);
    EXPECT_EQ(m.GetColorTable()[0], 0);
    EXPECT_EQ(m.GetColorTable()[1], 0x020408);
    EXPECT_EQ(m.GetColorTable()[127], 0xFFFFF8);
    EXPECT_EQ(m.GetEscapeRadius(), 2.0);
    EXPECT_EQ(m.GetEscapeRadiusSqr(), 4.0);
    EXPECT_EQ(m.GetScale(), 1.0);
    EXPECT_EQ(m.DrawMode, dmNormal);
    EXPECT_FALSE(m.GetBusy());
    EXPECT_EQ(m.CacheKey.Kind, 1);
    EXPECT_EQ(m.CacheKey.Width, 0);
    EXPECT_NEAR(static_cast<double>(m.GetLn2()), std::log(2.0), 1e-16);
    EXPECT_EQ(m.GetBitmap().Width(), 0);  // sized by the first draw
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
