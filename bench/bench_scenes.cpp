// The scenes of an MRP file drawn as nimbrel-render draws them (one engine,
// the scenes in file order, so that palettes and options carry over), a
// number of times over; per scene the median wall time of its draws, the
// median CPU time of the process (all threads, the workers' spinning
// included) and the fastest wall time. CPU time stays honest when other
// processes share the cores; wall time needs a quiet machine.
//
//   build/release/bench_scenes [-s WxH] [-p DIR] [-r REPEAT] MRPFILE
//
// It uses only the engine's public interface, so that the same file built
// against another version of the engine compares the two in one run
// (bench/README.md).
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "engine/mandel_class.h"
#include "platform/application.h"
#include "platform/exceptions.h"
#include "platform/sysutils.h"
#include "scene/URecommendation.h"
#include "scene/scene_apply.h"

namespace {

using namespace nimbrel;

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0 : (n % 2 == 1 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

struct TSceneTimes {
    int DrawMode = 0;
    uint64_t Iterations = 0;
    std::vector<double> Wall, Cpu;
};

int Usage() {
    std::fprintf(stderr, "usage: bench_scenes [-s WxH] [-p PALETTE_DIR] [-r REPEAT] MRPFILE\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int32_t width = 3840, height = 2160, repeat = 3;
    std::string palettes, file;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-s" && i + 1 < argc) {
            if (!TryParseSize(argv[++i], width, height) || width <= 0 || height <= 0) return Usage();
        } else if (a == "-p" && i + 1 < argc) {
            palettes = argv[++i];
        } else if (a == "-r" && i + 1 < argc) {
            repeat = std::atoi(argv[++i]);
            if (repeat <= 0) return Usage();
        } else if (!a.empty() && a[0] != '-' && file.empty()) {
            file = a;
        } else {
            return Usage();
        }
    }
    if (file.empty()) return Usage();
    if (palettes.empty()) {
        const std::size_t slash = file.find_last_of('/');
        palettes = slash == std::string::npos ? "." : file.substr(0, slash);
    }
    TRecommendationList list;
    try {
        list.LoadScenes(file);
    } catch (const std::exception&) {
        std::fprintf(stderr, "bench_scenes: cannot read %s\n", file.c_str());
        return 1;
    }
    TMandel engine;
    engine.SetWidth(width);
    engine.SetHeight(height);
    TScopedMessagePump pump([] {});
    std::vector<TSceneTimes> times(static_cast<std::size_t>(list.Count()));
    for (int32_t r = 0; r < repeat; ++r) {
        for (int32_t i = 0; i < list.Count(); ++i) {
            try {
                ApplyRecommendation(engine, list, i, palettes, StoredToDrawMode(4));  // nimbrel-render's default
            } catch (const EAbort&) {
                continue;
            }
            engine.Stats = TDrawStats{};
            engine.SetBusy(false);
            const double cpu0 = CpuSeconds();
            const auto t0 = std::chrono::steady_clock::now();
            engine.Draw();
            const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            TSceneTimes& t = times[static_cast<std::size_t>(i)];
            t.Cpu.push_back(CpuSeconds() - cpu0);
            t.Wall.push_back(wall);
            t.DrawMode = DrawModeToStored(engine.DrawMode);
            t.Iterations = engine.Stats.Iterations;
        }
    }
    std::printf("scene  mode  iterations      wall (median, best)   cpu (median)\n");
    for (std::size_t i = 0; i < times.size(); ++i) {
        const TSceneTimes& t = times[i];
        if (t.Wall.empty()) continue;
        std::printf("%5zu  %4d  %10.3g  %8.3f s %8.3f s   %8.3f s\n", i, t.DrawMode, static_cast<double>(t.Iterations),
                    Median(t.Wall), *std::min_element(t.Wall.begin(), t.Wall.end()), Median(t.Cpu));
    }
    return 0;
}
