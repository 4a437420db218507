// The plan of a journey against its formula, and the composition of frames:
// the vector code against the scalar code, a frame on a keyframe's width equal
// to that keyframe, and the order in which keyframes are asked for and frames
// given.
#include "shell/journey.h"
#include "../support/noise_bitmap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "../support/bitmap_pixels.h"
#include "platform/exceptions.h"

namespace nimbrel {
namespace {

using testing::Noise;

TEST(JourneyPlan, FramesAndWidthsFollowTheZoomRate) {
    const struct {
        double start, scene;
        int32_t fps, tenths;
        int32_t frames, keyframes;
    } cases[] = {
        {3, 0.75, 60, 15, 181, 3},     // two halvings of 90 frames: keyframes 0, 1, 2
        {3, 0.05, 60, 1, 37, 7},       // 5.91 halvings of 6 frames
        {4, 2.9, 60, 15, 43, 2},       // 0.46 halvings: one step inside the first halving
        {3, 3, 60, 15, 1, 1},          // not narrower: the still alone
        {4, 5, 30, 15, 1, 1},
        {3, 3e-13, 75, 15, 4860, 45},  // 43.19 halvings of 112.5 frames
    };
    for (const auto& c : cases) {
        const TJourneyPlan plan(c.start, c.scene, c.fps, c.tenths);
        SCOPED_TRACE(c.scene);
        EXPECT_EQ(plan.Frames(), c.frames);
        EXPECT_EQ(plan.Keyframes(), c.keyframes);
        const double perHalving = c.fps * c.tenths / 10.0;
        EXPECT_EQ(plan.FrameWidth(plan.Frames() - 1), c.scene);
        EXPECT_EQ(plan.Ratio(plan.Frames() - 1), 1.0);
        EXPECT_FALSE(plan.NeedsOuter(plan.Frames() - 1));
        EXPECT_GE(plan.FrameWidth(0), c.start < c.scene ? c.scene : c.start * (1 - 1e-12));
        for (int32_t f = 0; f < plan.Frames(); f += 7) {
            const double width = c.scene * std::exp2((plan.Frames() - 1 - f) / perHalving);
            EXPECT_NEAR(plan.FrameWidth(f) / width, 1.0, 1e-12) << f;
            // The frame lies between its inner keyframe and the next.
            const int32_t k = plan.InnerKeyframe(f);
            ASSERT_LT(k + (plan.NeedsOuter(f) ? 1 : 0), plan.Keyframes());
            EXPECT_NEAR(plan.KeyframeWidth(k) * plan.Ratio(f) / width, 1.0, 1e-12) << f;
            EXPECT_GE(plan.Ratio(f), 1.0);
            EXPECT_LT(plan.Ratio(f), 2.0);
        }
    }
    EXPECT_THROW(TJourneyPlan(3, 0, 60, 15), ERangeError);
    EXPECT_THROW(TJourneyPlan(3, 1, 0, 15), ERangeError);
    EXPECT_THROW(TJourneyPlan(3, 1e-300, 10000, 600), ERangeError);  // more frames than a count holds
}

TEST(JourneyComposer, EveryLevelGivesTheScalarPixelsAndAKeyframesWidthIsTheKeyframe) {
    // Every vector level, on sizes whose rows end in every remainder of 8.
    for (const auto& [w, h] : {std::pair{37, 21}, std::pair{203, 9}, std::pair{1286, 7}}) {
        const TBitmap in = Noise(w, h, 4), out = Noise(w, h, 5);
        for (const double ratio : {1.0001, 1.37, 1.5, 1.9999, 2.0}) {
            TBitmap scalar, frame;
            TJourneyComposer(TSimdLevel::Scalar).Compose(scalar, in, &out, ratio);
            for (const TSimdLevel level : {TSimdLevel::SSE2, TSimdLevel::AVX2, TSimdLevel::AVX512}) {
                if (level > SupportedSimdLevel()) continue;
                TJourneyComposer(level).Compose(frame, in, &out, ratio);
                EXPECT_EQ(testing::Pixels(frame), testing::Pixels(scalar)) << w << " " << ratio << " " << SimdLevelName(level);
            }
        }
    }
    const TBitmap inner = Noise(100, 36, 1), outer = Noise(100, 36, 2);
    for (const double ratio : {1.0, 1.0001, 1.25, 1.5, 1.9999, 2.0}) {
        TBitmap scalar, best;
        TJourneyComposer(TSimdLevel::Scalar).Compose(scalar, inner, &outer, ratio);
        TJourneyComposer().Compose(best, inner, &outer, ratio);
        EXPECT_EQ(testing::Pixels(best), testing::Pixels(scalar)) << ratio;
        if (ratio == 1.0) {
            EXPECT_EQ(testing::Pixels(best), testing::Pixels(inner));
        }
        // The pixel on the centre of the view is the inner picture's, at any ratio.
        EXPECT_EQ(best.GetPixel(50, 18), inner.GetPixel(50, 18)) << ratio;
        // The corners come from the outer picture, enlarged about the middle.
        if (ratio > 1.0) {
            EXPECT_NE(best.GetPixel(0, 0), inner.GetPixel(0, 0));
        }
    }
    TBitmap frame;
    EXPECT_THROW(TJourneyComposer().Compose(frame, inner, &outer, 2.5), ERangeError);
    EXPECT_THROW(TJourneyComposer().Compose(frame, inner, nullptr, 1.5), ERangeError);
    const TBitmap small = Noise(10, 10, 3);
    EXPECT_THROW(TJourneyComposer().Compose(frame, inner, &small, 1.5), ERangeError);
}

TEST(Journey, KeyframesWidestFirstAheadOfTheFramesWhichHoldUntilTheirsAreThere) {
    const TJourneyPlan plan(3, 3.0 / 16, 10, 10);  // 4 halvings of 10 frames: 41 frames, keyframes 4 .. 0
    TJourney journey(plan, 2);
    TBitmap frame;
    const TBitmap picture = Noise(8, 6, 4);
    EXPECT_FALSE(journey.NextFrame(frame));
    EXPECT_EQ(journey.Held(), 1);
    std::vector<int32_t> drawn;
    while (!journey.Finished()) {
        const int32_t k = journey.NextKeyframe();
        if (k >= 0) {
            drawn.push_back(k);
            journey.AddKeyframe(k, picture);
        } else {
            // Never more than two keyframes ahead of the frames.
            ASSERT_TRUE(journey.AllDrawn() || plan.InnerKeyframe(journey.Shown()) - 2 > drawn.back() - 1);
            ASSERT_TRUE(journey.NextFrame(frame));
        }
    }
    EXPECT_EQ(drawn, (std::vector<int32_t>{4, 3, 2, 1, 0}));
    EXPECT_EQ(journey.Shown(), 41);
    EXPECT_EQ(journey.Held(), 1);
    EXPECT_EQ(testing::Pixels(frame), testing::Pixels(picture));
    EXPECT_FALSE(journey.NextFrame(frame));
    EXPECT_EQ(journey.Held(), 1);
    EXPECT_THROW(journey.AddKeyframe(0, picture), ERangeError);
}

}  // namespace
}  // namespace nimbrel
