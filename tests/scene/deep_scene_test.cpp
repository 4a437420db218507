// Deep scene lines: the reader keeps every digit a view needs beside the
// doubles of today, and the writer gives back lines that read as the very
// view, with no more digits than it needs.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "platform/exceptions.h"
#include "scene/URecommendation.h"
#include "scene/exact_numbers.h"
#include "scene/scene_writer.h"
#include "values/deep_coordinates.h"

namespace nimbrel {
namespace {

const char* const kValley = "-0.743643887037158704752191506114774";
const char* const kValleyIm = "0.131825904205311970493132056385139";

TRecommendationList Read(const std::string& line) {
    TRecommendationList list;
    list.LoadFromBytes(line);
    return list;
}

TEST(DeepScenes, TheReaderKeepsEveryDigitBesideTheDoublesOfToday) {
    const struct {
        std::string fields;
        bool deep;
        double viewWidth;   // the double of today (2^-1074 below the range)
        int64_t widthLog2;  // of the exact height
    } cases[] = {
        {"Cr=-0.75, Ci=0.1, W=0.012", false, 0.012, -7},
        // A shallow view of long digits keeps them; its doubles are today's.
        {std::string("Cr=") + kValley + ", Ci=" + kValleyIm + ", W=0.5", true, 0.5, -1},
        {std::string("Cr=") + kValley + ", Ci=" + kValleyIm + ", W=5e-15", true, 5e-15, -48},
        // Far below the doubles' range: still a height, kept to its exponent.
        {"Cr=-1.25, Ci=0, W=2.5e-1086", true, std::ldexp(1.0, -1074), -3607},
        {"Cr=-1.25, Ci=0, W=1e-100", true, 1e-100, -333},
        // 2^-33 below the size of the centre: deep; 2^-31: not.
        {"Cr=1, Ci=0, W=1e-10", true, 1e-10, -34},
        {"Cr=1, Ci=0, W=1e-9", false, 1e-9, -30},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fields);
        const TRecommendationList list = Read("T=MANDEL, Title=A, " + c.fields);
        const TView view = list.GetView(0);
        EXPECT_EQ(view.ViewWidth, c.viewWidth);
        ASSERT_EQ(view.Deep != nullptr, c.deep);
        if (!c.deep) continue;
        EXPECT_EQ(view.Deep->Width.Log2(), c.widthLog2);
        EXPECT_EQ(view.Deep->CenterRe.Precision(), CoordinateBits(view));
    }
    // Every digit of the valley's centre survives.
    const TView valley = Read(std::string("T=MANDEL, Title=V, Cr=") + kValley + ", Ci=" + kValleyIm + ", W=1e-30")
                             .GetView(0);
    EXPECT_EQ(valley.Deep->CenterRe.ToString(33), kValley);
    EXPECT_EQ(valley.Deep->CenterIm.ToString(33), kValleyIm);
    EXPECT_EQ(valley.Center.Re, -0.743643887037158704752191506114774);
    // A Julia constant too.
    const TView julia =
        Read(std::string("T=JULIA, Title=J, Cr=0, Ci=0, W=1e-40, Jr=") + kValley + ", Ji=" + kValleyIm).GetView(0);
    EXPECT_EQ(julia.Deep->JuliaRe.ToString(33), kValley);

    // Heights that are none stay refused; an exponent beyond a billion too.
    for (const char* w : {"0", "-1", "-1e-400", "0e-5000", "1e-10000000000"}) {
        TRecommendationList list;
        EXPECT_THROW(list.LoadFromBytes(std::string("T=MANDEL, Title=A, Cr=0, Ci=0, W=") + w), EAbort) << w;
        EXPECT_EQ(list.ErrorCode, mrpBadW) << w;
    }
    // A million digits read in bounded time: only those the view needs count.
    const std::string huge = "T=MANDEL, Title=A, Cr=-0." + std::string(1000000, '7') + ", Ci=0, W=1e-50";
    EXPECT_EQ(Read(huge).GetView(0).Deep->CenterRe.Precision(), CoordinateBits(Read(huge).GetView(0)));
}

TEST(DeepScenes, AWrittenViewReadsBackAsThatViewWithTheDigitsItNeeds) {
    std::mt19937_64 random(23);
    for (int i = 0; i < 60; ++i) {
        const int64_t decimals = 12 + static_cast<int64_t>(random() % 3000);
        std::string re = "-0.", im = "0.";
        for (int64_t k = 0; k < decimals + 30; ++k) re += char('0' + random() % 10), im += char('0' + random() % 10);
        const bool julia = i % 3 == 0;
        const std::string w = "3.7e-" + std::to_string(decimals);
        std::string line = std::string(julia ? "T=JULIA" : "T=MANDEL") + ", Title=A, Cr=" + re + ", Ci=" + im + ", W=" + w;
        if (julia) line += ", Jr=" + re + ", Ji=" + im;
        SCOPED_TRACE(line.substr(0, 60));
        const TRecommendationList list = Read(line);
        const std::string written = FormatRecommendation(list.Item(0));
        const TRecommendationList back = Read(written);
        EXPECT_TRUE(back.GetView(0) == list.GetView(0));
        // The digits: about as many decimals as the height has zeros, and
        // the 64 bits (some 19 digits) below it; W as short as it reads.
        const std::string cr = ExactText(back.GetView(0).Deep->CenterRe);
        EXPECT_GE(static_cast<int64_t>(cr.size()), decimals + 18);
        EXPECT_LE(static_cast<int64_t>(cr.size()), decimals + 24);
        EXPECT_NE(written.find(", W=" + w), std::string::npos);
    }
    // A short centre stays short at any depth.
    const std::string line = "T=MANDEL, Title=A, Cr=-0.75, Ci=0.125, W=1e-500";
    EXPECT_EQ(FormatRecommendation(Read(line).Item(0)), line);
}

}  // namespace
}  // namespace nimbrel
