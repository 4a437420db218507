// Journeys: the time to compose one frame, and the figures of the sample
// scenes' journeys.
//
//   build/release/bench_journey [Google Benchmark options]
//       BM_Compose: one 3840x2160 frame from two keyframes on one core, by
//       SIMD level and ratio; BM_CopyFrame the copy of such a frame (the
//       floor under any composition).
//   build/release/bench_journey --ssim [-s WxH] MRPFILE
//       per scene, at least 10 frames spread over its journey (60 frames a
//       second, 1.5 s per halving) against the engine's own picture of each
//       frame's view: the mean and the lowest SSIM. --scene N only scene N;
//       --detail each sampled frame's ratio and SSIM, and for scale the
//       engine's own picture and the frame against the view drawn at twice
//       the size and reduced (2x2 means).
//   build/release/bench_journey --keyframes [-s WxH] MRPFILE
//       per scene, every keyframe's draw time against the 1.5 s a halving
//       takes, and the frames a show would hold after its first second if
//       keyframes were drawn back to back while the frames play.
//
// SSIM here: on the luma of each pixel (0.299 R + 0.587 G + 0.114 B), over
// 8x8 windows every 4 pixels, with the usual constants for 8-bit values; the
// mean over the windows.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/journey_compose.h"
#include "engine/mandel_class.h"
#include "platform/application.h"
#include "platform/sysutils.h"
#include "scene/URecommendation.h"
#include "scene/scene_apply.h"
#include "shell/journey.h"
#include "../tests/support/noise_bitmap.h"

namespace {

using namespace nimbrel;
using testing::Noise;

void BM_Compose(benchmark::State& state) {
    const auto level = static_cast<TSimdLevel>(state.range(0));
    if (level > SupportedSimdLevel()) {
        state.SkipWithError("level not supported here");
        return;
    }
    const double ratio = static_cast<double>(state.range(1)) / 100;
    const TBitmap inner = Noise(3840, 2160, 1), outer = Noise(3840, 2160, 2);
    TBitmap frame;
    TJourneyComposer composer(level);
    for (auto _ : state) {
        composer.Compose(frame, inner, &outer, ratio);
        benchmark::DoNotOptimize(frame.Scanline(0));
    }
    state.SetLabel(SimdLevelName(level));
}
BENCHMARK(BM_Compose)
    ->ArgsProduct({{0, 1, 2, 3}, {101, 141, 199}})
    ->Unit(benchmark::kMillisecond);

// The floor under any composition: one 3840x2160 frame copied (a frame on a
// keyframe's own width is this copy).
void BM_CopyFrame(benchmark::State& state) {
    const TBitmap inner = Noise(3840, 2160, 1), outer = Noise(3840, 2160, 2);
    TBitmap frame;
    TJourneyComposer composer;
    for (auto _ : state) {
        composer.Compose(frame, inner, &outer, 1.0);
        benchmark::DoNotOptimize(frame.Scanline(0));
    }
}
BENCHMARK(BM_CopyFrame)->Unit(benchmark::kMillisecond);

std::vector<double> Luma(const TBitmap& b) {
    std::vector<double> y(static_cast<std::size_t>(b.Width()) * b.Height());
    for (int32_t j = 0; j < b.Height(); ++j)
        for (int32_t i = 0; i < b.Width(); ++i) {
            const TColor c = b.GetPixel(i, j);
            y[static_cast<std::size_t>(j) * b.Width() + i] =
                0.299 * (c & 0xFF) + 0.587 * ((c >> 8) & 0xFF) + 0.114 * ((c >> 16) & 0xFF);
        }
    return y;
}

double Ssim(const TBitmap& a, const TBitmap& b) {
    const std::vector<double> x = Luma(a), y = Luma(b);
    const int32_t w = a.Width(), h = a.Height();
    const double c1 = (0.01 * 255) * (0.01 * 255), c2 = (0.03 * 255) * (0.03 * 255);
    double sum = 0;
    int64_t windows = 0;
    for (int32_t j = 0; j + 8 <= h; j += 4)
        for (int32_t i = 0; i + 8 <= w; i += 4) {
            double mx = 0, my = 0, xx = 0, yy = 0, xy = 0;
            for (int32_t v = 0; v < 8; ++v)
                for (int32_t u = 0; u < 8; ++u) {
                    const std::size_t k = static_cast<std::size_t>(j + v) * w + i + u;
                    mx += x[k];
                    my += y[k];
                    xx += x[k] * x[k];
                    yy += y[k] * y[k];
                    xy += x[k] * y[k];
                }
            const double n = 64;
            mx /= n;
            my /= n;
            const double vx = xx / n - mx * mx, vy = yy / n - my * my, cxy = xy / n - mx * my;
            sum += ((2 * mx * my + c1) * (2 * cxy + c2)) / ((mx * mx + my * my + c1) * (vx + vy + c2));
            ++windows;
        }
    return windows ? sum / static_cast<double>(windows) : 1.0;
}

// A picture at half its size, each pixel the mean of a 2x2 block.
TBitmap Halve(const TBitmap& b) {
    TBitmap half;
    half.SetSize(b.Width() / 2, b.Height() / 2);
    for (int32_t y = 0; y < half.Height(); ++y)
        for (int32_t x = 0; x < half.Width(); ++x) {
            uint32_t out = 0;
            for (int shift = 0; shift < 32; shift += 8) {
                uint32_t sum = 0;
                for (int32_t j = 0; j < 2; ++j)
                    for (int32_t i = 0; i < 2; ++i) sum += (b.Scanline(2 * y + j)[2 * x + i] >> shift) & 0xFF;
                out |= ((sum + 2) / 4) << shift;
            }
            half.Scanline(y)[x] = out;
        }
    return half;
}

// The title for a terminal: Shift-JIS bytes as '?'.
std::string Title(const TRecommendationList& list, int32_t index) {
    std::string title = list.Item(index).Title;
    for (char& c : title)
        if (static_cast<unsigned char>(c) >= 0x80) c = '?';
    return title;
}

struct TFigures {
    std::string Scenes;
    int32_t Only = -1;
    bool Detail = false;
    int32_t Width = 1280, Height = 720;
};

// The engine at scene Index, as the show applies it.
void Apply(TMandel& engine, const TRecommendationList& list, int32_t index, const std::string& palettes) {
    ApplyRecommendation(engine, list, index, palettes, dmEmerge);
}

// The show's journey into the engine's scene at 60 frames a second and 1.5 s a
// halving.
TJourneyPlan PlanOf(const TMandel& engine) {
    return TJourneyPlan(JourneyStartWidth(engine.GetKind(), engine.GetPower()), engine.GetViewWidth(), 60, 15);
}

int SsimFigures(const TFigures& f, const std::string& palettes) {
    TRecommendationList list;
    list.LoadScenes(f.Scenes);
    std::printf("SSIM of journey frames against the engine's own picture, %dx%d, 60 fps, 1.5 s a halving\n",
                f.Width, f.Height);
    std::printf("%-5s %-22s %7s %9s %7s %7s\n", "scene", "title", "frames", "sampled", "mean", "lowest");
    double allMean = 0, allLowest = 1;
    int scenes = 0;
    for (int32_t index = 0; index < list.Count(); ++index) {
        if (f.Only >= 0 && index != f.Only) continue;
        TMandel engine;
        engine.SetWidth(f.Width);
        engine.SetHeight(f.Height);
        Apply(engine, list, index, palettes);
        const TJourneyPlan plan = PlanOf(engine);
        std::vector<TBitmap> keyframes(static_cast<std::size_t>(plan.Keyframes()));
        for (int32_t k = 0; k < plan.Keyframes(); ++k) {
            engine.SetViewWidth(plan.KeyframeWidth(k));
            engine.Draw();
            keyframes[static_cast<std::size_t>(k)] = engine.GetBitmap();
        }
        std::vector<int32_t> sample;
        const int32_t want = 12;
        for (int32_t i = 0; i < want; ++i) {
            const int32_t frame = plan.Frames() == 1 ? 0 : static_cast<int32_t>(int64_t{i} * (plan.Frames() - 1) / (want - 1));
            if (sample.empty() || sample.back() != frame) sample.push_back(frame);
        }
        TJourneyComposer composer;
        double sum = 0, lowest = 1;
        TBitmap frame;
        for (const int32_t n : sample) {
            const int32_t k = plan.InnerKeyframe(n);
            composer.Compose(frame, keyframes[static_cast<std::size_t>(k)],
                             plan.NeedsOuter(n) ? &keyframes[static_cast<std::size_t>(k + 1)] : nullptr, plan.Ratio(n));
            engine.SetViewWidth(plan.FrameWidth(n));
            engine.Draw();
            const double s = Ssim(frame, engine.GetBitmap());
            if (f.Detail) {
                // For scale: the engine's own picture and the frame against
                // the same view drawn at twice the size and reduced.
                TMandel big;
                big.SetWidth(2 * f.Width);
                big.SetHeight(2 * f.Height);
                Apply(big, list, index, palettes);
                big.SetViewWidth(plan.FrameWidth(n));
                big.Draw();
                const TBitmap reduced = Halve(big.GetBitmap());
                std::printf("frame %5d k %2d ratio %.4f ssim %.4f own-vs-2x %.4f frame-vs-2x %.4f\n", n, k,
                            plan.Ratio(n), s, Ssim(engine.GetBitmap(), reduced), Ssim(frame, reduced));
            }
            sum += s;
            lowest = std::min(lowest, s);
        }
        const double mean = sum / static_cast<double>(sample.size());
        std::printf("%-5d %-22.22s %7d %9zu %7.4f %7.4f\n", index, Title(list, index).c_str(), plan.Frames(),
                    sample.size(), mean, lowest);
        allMean += mean;
        allLowest = std::min(allLowest, lowest);
        ++scenes;
    }
    if (scenes == 0) {
        std::fprintf(stderr, "no such scene\n");
        return 2;
    }
    std::printf("all scenes: mean of means %.4f, lowest %.4f\n", allMean / scenes, allLowest);
    return 0;
}

int KeyframeFigures(const TFigures& f, const std::string& palettes) {
    TRecommendationList list;
    list.LoadScenes(f.Scenes);
    std::printf("Keyframes at %dx%d against 1.5 s a halving (60 fps), one engine, the scenes in file order\n",
                f.Width, f.Height);
    std::printf("%-5s %-22s %9s %9s %9s %14s\n", "scene", "title", "keyframes", "mean s", "max s", "held after 1 s");
    TMandel engine;
    engine.SetWidth(f.Width);
    engine.SetHeight(f.Height);
    for (int32_t index = 0; index < list.Count(); ++index) {
        Apply(engine, list, index, palettes);
        const TJourneyPlan plan = PlanOf(engine);
        std::vector<double> done;  // when each keyframe, widest first, is there
        double clock = 0, sum = 0, worst = 0;
        for (int32_t k = plan.Keyframes() - 1; k >= 0; --k) {
            engine.SetViewWidth(plan.KeyframeWidth(k));
            const auto start = std::chrono::steady_clock::now();
            engine.Draw();
            const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            clock += s;
            sum += s;
            worst = std::max(worst, s);
            done.push_back(clock);
        }
        // The frames as the show plays them: a tick every 1/60 s from the
        // journey's start; a frame whose keyframes are not there is held.
        int32_t shown = 0, heldLate = 0;
        for (int64_t tick = 1; shown < plan.Frames(); ++tick) {
            const double now = static_cast<double>(tick) / 60;
            const int32_t inner = plan.InnerKeyframe(shown);
            const int32_t top = inner + (plan.NeedsOuter(shown) ? 1 : 0);
            const double ready = std::max(done[static_cast<std::size_t>(plan.Keyframes() - 1 - inner)],
                                          done[static_cast<std::size_t>(plan.Keyframes() - 1 - top)]);
            if (ready <= now)
                ++shown;
            else if (now > 1.0)
                ++heldLate;
        }
        std::printf("%-5d %-22.22s %9d %9.3f %9.3f %14d\n", index, Title(list, index).c_str(), plan.Keyframes(),
                    sum / plan.Keyframes(), worst, heldLate);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--ssim") == 0 || std::strcmp(argv[1], "--keyframes") == 0)) {
        TFigures f;
        const bool ssim = std::strcmp(argv[1], "--ssim") == 0;
        if (!ssim) f.Width = 3840, f.Height = 2160;
        for (int i = 2; i < argc; ++i) {
            if (std::strcmp(argv[i], "--scene") == 0 && i + 1 < argc) {
                f.Only = std::atoi(argv[++i]);
            } else if (std::strcmp(argv[i], "--detail") == 0) {
                f.Detail = true;
            } else if (std::strcmp(argv[i], "-s") == 0 && i + 1 < argc) {
                std::sscanf(argv[++i], "%dx%d", &f.Width, &f.Height);
            } else {
                f.Scenes = argv[i];
            }
        }
        if (f.Scenes.empty()) {
            std::fprintf(stderr, "usage: bench_journey --ssim|--keyframes [-s WxH] MRPFILE\n");
            return 2;
        }
        const std::string scenes = f.Scenes;
        const std::size_t slash = scenes.find_last_of('/');
        const std::string palettes = (slash == std::string::npos ? std::string(".") : scenes.substr(0, slash)) + "/palettes";
        TScopedMessagePump pump([] {});
        return ssim ? SsimFigures(f, palettes) : KeyframeFigures(f, palettes);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
