#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "engine/mandel_class.h"
#include "engine/mandel_draw.h"
#include "platform/exceptions.h"
#include "platform/sysutils.h"
#include "platform/application.h"

namespace nimbrel {
namespace {

// With ColorCount 4 and ColorStep 1, count 4 picks entry 1 and counts 1..3
// pick entries 2..4: sample i gets entry i + 1.
constexpr std::array<int32_t, 4> kCountOfSample{4, 1, 2, 3};

struct SampleKernel {
    std::vector<TComplexPoint>* points;
    int32_t operator()(const TComplexPoint& p) const {
        const auto i = points->size() % 4;
        points->push_back(p);
        return kCountOfSample[i];
    }
};

struct AverageCase {
    std::array<int32_t, 4> samples;  // colour values
    int32_t expected;
};

TEST(Antialias, AveragesTheFourSampleColoursRoundingHalvesToEven) {
    const AverageCase cases[] = {
        {{0x0000FF, 0, 0, 0}, 0x000040},              // 63.75 -> 64
        {{0x0000FF, 0x0000FF, 0, 0}, 0x000080},       // 127.5 -> 128
        {{0x000001, 0x000001, 0, 0}, 0x000000},       // sum 2: 0.5 -> 0
        {{0x000003, 0x000003, 0, 0}, 0x000002},       // sum 6: 1.5 -> 2
        {{0x000005, 0x000005, 0, 0}, 0x000002},       // sum 10: 2.5 -> 2
        {{0x000007, 0x000007, 0, 0}, 0x000004},       // sum 14: 3.5 -> 4
        {{0x070300, 0x070300, 0, 0}, 0x040200},       // green and blue alike
        {{0xFFFFFF, 0xFFFFFF, 0xFFFFFF, 0xFFFFFF}, 0xFFFFFF},
        {{0x123456, 0x123456, 0x123456, 0x123456}, 0x123456},
        {{0xFF0000, 0x00FF00, 0x0000FF, 0}, 0x404040},
    };
    for (const AverageCase& c : cases) {
        TMandel m;
        m.SetWidth(1);
        m.SetHeight(1);
        m.SetColorTable({0, c.samples[0], c.samples[1], c.samples[2], c.samples[3]});
        std::vector<TComplexPoint> points;
        m.DrawAntialias(SampleKernel{&points});
        EXPECT_EQ(m.GetBitmap().GetPixel(0, 0), c.expected) << std::hex << c.samples[0] << " " << c.samples[1];
    }
}

TEST(Antialias, TheIntegerQuarterRoundsEverySumAsRoundDoes) {
    for (int32_t sum = -1020; sum <= 4 * 255; ++sum)
        ASSERT_EQ(detail::QuarterRounded(sum), Round(sum / 4.0)) << sum;
}

TEST(Antialias, OnePixelSamplesItsCornerAndTheThreeHalfStepPoints) {
    TMandel m;
    m.SetWidth(1);
    m.SetHeight(1);
    std::vector<TComplexPoint> points;
    m.DrawAntialias(SampleKernel{&points});
    const TComplexPoint P = m.GetPointP(), Q = m.GetPointQ();
    const double hx = (Q.Re - P.Re) / 2, hy = (Q.Im - P.Im) / 2;
    ASSERT_EQ(points.size(), 4u);
    const TComplexPoint expected[4] = {P, {P.Re + hx, P.Im}, {P.Re, P.Im + hy}, {P.Re + hx, P.Im + hy}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(points[i].Re, expected[i].Re) << i;
        EXPECT_EQ(points[i].Im, expected[i].Im) << i;
    }
    EXPECT_LT(hy, 0);  // the lower samples lie below
}

TEST(Antialias, FourEqualCountsGiveExactlyThatCountsColour) {
    TMandel m;
    m.SetWidth(7);
    m.SetHeight(5);
    m.DrawAntialias([](const TComplexPoint&) { return 37; });
    for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 7; ++x) ASSERT_EQ(m.GetBitmap().GetPixel(x, y), m.CountToColor(37));
}

TEST(Antialias, CancellingAfterTheFirstRowLeavesTheRowsBelow) {
    TMandel m;
    m.SetWidth(6);
    m.SetHeight(4);
    m.DrawMode = dmAntialias;
    m.GetBitmap().SetSize(6, 4);
    m.GetBitmap().FillRect(TRect{0, 0, 6, 4}, 0x0BADBAD);
    TScopedMessagePump pump([&] { m.SetBusy(false); });
    EXPECT_THROW(m.Draw(), EAbort);
    EXPECT_FALSE(m.GetBusy());
    EXPECT_EQ(m.Stats.KernelCalls, 4u * 6);
    EXPECT_NE(m.GetBitmap().GetPixel(5, 0), 0x0BADBAD);
    EXPECT_EQ(m.GetBitmap().GetPixel(0, 1), 0x0BADBAD);
}

}  // namespace
}  // namespace nimbrel
