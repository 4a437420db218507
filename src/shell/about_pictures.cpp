#include "shell/about_pictures.h"

#include <algorithm>
#include <cmath>

#include "platform/application.h"

namespace nimbrel {

namespace {

// Few iterations: at this size more would only add pixels to the boundary.
constexpr int32_t kMaxIter = 48;
constexpr double kSpan = 3.0;
constexpr TComplexPoint kMandelbrotCenter{-0.6, 0.0};
constexpr TComplexPoint kJuliaConstant{-0.123, 0.745};

// Colour values: red in the low byte.
constexpr TColor Rgb(int32_t r, int32_t g, int32_t b) { return r | (g << 8) | (b << 16); }
constexpr TColor kInside = Rgb(0, 0, 16);

struct TStop {
    double At;
    double R, G, B;
};
constexpr TStop kStops[] = {{0.0, 20, 30, 120}, {0.3, 90, 90, 180}, {0.6, 255, 150, 30}, {1.0, 255, 255, 255}};

// The colour of an escape after Count of kMaxIter iterations; the square
// root gives the many quick escapes far from the set room in the blues.
TColor RampColor(int32_t Count) {
    const double t = std::sqrt(static_cast<double>(Count) / kMaxIter);
    std::size_t i = 1;
    while (i + 1 < std::size(kStops) && t > kStops[i].At) ++i;
    const TStop& a = kStops[i - 1];
    const TStop& b = kStops[i];
    const double f = std::clamp((t - a.At) / (b.At - a.At), 0.0, 1.0);
    const auto channel = [f](double from, double to) {
        return static_cast<int32_t>(std::lround(std::clamp(from + (to - from) * f, 0.0, 255.0)));
    };
    return Rgb(channel(a.R, b.R), channel(a.G, b.G), channel(a.B, b.B));
}

// Entry 0 for the inside; count c (1..kMaxIter) looks up entry
// (c mod kMaxIter) + 1, so every count has a colour of its own.
TPaletteArray AboutColors() {
    TPaletteArray colors(kMaxIter + 1);
    colors[0] = kInside;
    for (int32_t c = 1; c <= kMaxIter; ++c) colors[static_cast<std::size_t>(c % kMaxIter + 1)] = RampColor(c);
    return colors;
}

}  // namespace

void SetUpAboutPicture(TMandel& Mandel, TAboutPicture Picture, int32_t Width, int32_t Height) {
    Mandel.SetWidth(Width);
    Mandel.SetHeight(Height);
    const bool julia = Picture == TAboutPicture::Julia;
    if ((Mandel.GetKind() == fkJulia) != julia) Mandel.SwitchKind();
    Mandel.SetPower(2);
    if (julia) Mandel.SetJuliaConstant(kJuliaConstant);
    Mandel.SetCenter(julia ? TComplexPoint{} : kMandelbrotCenter);
    // The view width is the picture's height in the plane.
    Mandel.SetViewWidth(kSpan * Height / std::min(Width, Height));
    Mandel.SetMaxIter(kMaxIter);
    Mandel.SetColorStep(1);
    Mandel.SetColorTable(AboutColors());
    Mandel.DrawMode = dmNormal;
}

TBitmap MakeAboutPicture(TAboutPicture Picture, int32_t Width, int32_t Height) {
    if (Width <= 0 || Height <= 0) return TBitmap{};
    TMandel mandel;
    SetUpAboutPicture(mandel, Picture, Width, Height);
    // A few thousand points: the calling thread alone, no pool of workers.
    mandel.SetThreadCount(1);
    const TScopedMessagePump noMessages{std::function<void()>{}};
    mandel.Draw();
    return mandel.GetBitmap();
}

}  // namespace nimbrel
