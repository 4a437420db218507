// Journeys into views below the doubles: the plan counts the halvings of the
// exact height, and every keyframe keeps the scene's every digit.
#include <gtest/gtest.h>

#include <cmath>

#include "scene/URecommendation.h"
#include "shell/journey.h"
#include "values/deep_coordinates.h"

namespace nimbrel {
namespace {

TEST(DeepJourney, ThePlanAndTheKeyframesOfADeepScene) {
    TRecommendationList list;
    list.LoadFromBytes(
        "T=MANDEL, Title=D, Cr=-0.743643887037158704752191506114774, Ci=0.131825904205311970493132056385139, "
        "W=2.5e-1086");
    const TView scene = list.GetView(0);
    ASSERT_TRUE(scene.Deep);
    // 60 frames a second, 1.5 s a halving: 90 frames per halving.
    const TJourneyPlan plan(3.0, ExactWidth(scene), 60, 15);
    const double halvings = std::log2(3.0) - std::log2(2.5) + 1086 * std::log2(10.0);
    EXPECT_EQ(plan.Frames(), static_cast<int32_t>(std::ceil(90 * halvings - 1e-9)) + 1);
    EXPECT_EQ(plan.Keyframes(), static_cast<int32_t>(std::ceil(halvings)) + 1);
    for (const int32_t k : {0, 1, 1000, plan.Keyframes() - 1}) {
        SCOPED_TRACE(k);
        const TView view = KeyframeView(scene, plan, k);
        EXPECT_TRUE(view.Deep->Width == scene.Deep->Width.Times2Pow(k));
        EXPECT_TRUE(view.Deep->CenterRe == scene.Deep->CenterRe && view.Deep->CenterIm == scene.Deep->CenterIm);
    }
    EXPECT_TRUE(KeyframeView(KeyframeView(scene, plan, 7), plan, 0) == scene);
    EXPECT_LE(KeyframeView(scene, plan, plan.Keyframes() - 1).ViewWidth, 6.0);

    // A view of doubles gets the doubles of today.
    const TJourneyPlan shallow(3.0, 0.012, 60, 15);
    const TJourneyPlan same(3.0, TFloatExp(0.012), 60, 15);
    EXPECT_EQ(shallow.Frames(), same.Frames());
    TView plain;
    plain.ViewWidth = 0.012;
    EXPECT_EQ(KeyframeView(plain, shallow, 3).ViewWidth, std::ldexp(0.012, 3));
    EXPECT_FALSE(KeyframeView(plain, shallow, 3).Deep);
}

}  // namespace
}  // namespace nimbrel
