#include "shell/about_pictures.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "../support/bitmap_pixels.h"
#include "engine/mandel_draw.h"
#include "platform/application.h"

namespace nimbrel {
namespace {

using testing::Pixels;

struct TPictureCase {
    TAboutPicture Picture;
    int32_t Width;
    int32_t Height;
};

class AboutPictures : public ::testing::TestWithParam<TPictureCase> {};

// The pixel nearest to a point of the plane.
TColor PixelAt(const TMandel& m, const TBitmap& picture, TComplexPoint z) {
    const TComplexPoint P = m.GetPointP(), Q = m.GetPointQ();
    const auto x = static_cast<int32_t>(std::lround((z.Re - P.Re) / ((Q.Re - P.Re) / m.GetWidth())));
    const auto y = static_cast<int32_t>(std::lround((z.Im - P.Im) / ((Q.Im - P.Im) / m.GetHeight())));
    return picture.GetPixel(x, y);
}

TEST_P(AboutPictures, AreTheEnginesPictureOfTheirViewWithTheSetInside) {
    const TPictureCase c = GetParam();
    const TBitmap picture = MakeAboutPicture(c.Picture, c.Width, c.Height);
    ASSERT_EQ(picture.Width(), c.Width);
    ASSERT_EQ(picture.Height(), c.Height);

    // The reference: an engine set up for the picture, drawn row by row
    // with the scalar kernels.
    TMandel m;
    SetUpAboutPicture(m, c.Picture, c.Width, c.Height);
    const bool julia = c.Picture == TAboutPicture::Julia;
    EXPECT_EQ(m.GetKind(), julia ? fkJulia : fkMandelbrot);
    m.DrawNormal([&m, julia](const TComplexPoint& p) { return julia ? m.IterateJulia2(p) : m.IterateMandel2(p); });
    EXPECT_EQ(Pixels(picture), Pixels(m.GetBitmap()));

    // Points known to belong to the set have the inside colour: the centre
    // of the main cardioid and of the period-2 disc; for the Julia set of
    // c = -0.123 + 0.745i the orbit of 0, which returns after three steps.
    const TColor inside = m.GetColorTable()[0];
    const TComplexPoint jc{-0.123, 0.745};
    const std::vector<TComplexPoint> insidePoints =
        julia ? std::vector<TComplexPoint>{{0, 0}, jc, {jc.Re * jc.Re - jc.Im * jc.Im + jc.Re, 2 * jc.Re * jc.Im + jc.Im}}
              : std::vector<TComplexPoint>{{0, 0}, {-1, 0}};
    for (const TComplexPoint& z : insidePoints)
        EXPECT_EQ(PixelAt(m, picture, z), inside) << z.Re << " " << z.Im;

    // The whole set is in view: no pixel of the border is inside.
    for (int32_t x = 0; x < c.Width; ++x) {
        EXPECT_NE(picture.GetPixel(x, 0), inside) << x;
        EXPECT_NE(picture.GetPixel(x, c.Height - 1), inside) << x;
    }
    for (int32_t y = 0; y < c.Height; ++y) {
        EXPECT_NE(picture.GetPixel(0, y), inside) << y;
        EXPECT_NE(picture.GetPixel(c.Width - 1, y), inside) << y;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, AboutPictures,
                         ::testing::Values(TPictureCase{TAboutPicture::Mandelbrot, 48, 48},
                                           TPictureCase{TAboutPicture::Julia, 48, 48},
                                           TPictureCase{TAboutPicture::Mandelbrot, 90, 40},
                                           TPictureCase{TAboutPicture::Julia, 40, 90},
                                           TPictureCase{TAboutPicture::Mandelbrot, 40, 90},
                                           TPictureCase{TAboutPicture::Julia, 90, 40}),
                         [](const ::testing::TestParamInfo<TPictureCase>& info) {
                             const TPictureCase& c = info.param;
                             return (c.Picture == TAboutPicture::Julia ? "Julia" : "Mandelbrot") +
                                    std::to_string(c.Width) + "x" + std::to_string(c.Height);
                         });

// Deep blue far out, through orange, to white at the boundary.
TEST(AboutPictureColours, RunFromDeepBlueThroughOrangeToWhite) {
    TMandel m;
    SetUpAboutPicture(m, TAboutPicture::Mandelbrot, 48, 48);
    const auto channels = [](TColor c) { return std::array<int32_t, 3>{c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF}; };
    const auto [r1, g1, b1] = channels(m.CountToColor(1));
    EXPECT_GT(b1, 2 * r1);
    EXPECT_GT(b1, 2 * g1);
    EXPECT_EQ(m.CountToColor(m.GetMaxIter()), 0xFFFFFF);
    bool orange = false;
    for (int32_t count = 1; count <= m.GetMaxIter(); ++count) {
        const auto [r, g, b] = channels(m.CountToColor(count));
        orange = orange || (r >= 224 && g >= 96 && g <= 176 && b <= 64);
    }
    EXPECT_TRUE(orange);
}

// The dialog draws its pictures while its window is being made: no handler
// may run meanwhile. The application's message processing is left as it was.
TEST(AboutPictureMessages, NoneAreProcessedWhileAPictureIsDrawn) {
    int calls = 0;
    const TScopedMessagePump counting([&calls] { ++calls; });
    EXPECT_EQ(MakeAboutPicture(TAboutPicture::Julia, 30, 30).Width(), 30);
    EXPECT_EQ(calls, 0);
    Application().ProcessMessages();
    EXPECT_EQ(calls, 1);
}

TEST(AboutPictureSizes, WithoutAreaThereIsNoPicture) {
    for (const auto& [w, h] : {std::pair{0, 30}, std::pair{30, 0}, std::pair{-1, 30}, std::pair{30, -5}}) {
        const TBitmap picture = MakeAboutPicture(TAboutPicture::Mandelbrot, w, h);
        EXPECT_EQ(picture.Width(), 0);
        EXPECT_EQ(picture.Height(), 0);
    }
}

}  // namespace
}  // namespace nimbrel
