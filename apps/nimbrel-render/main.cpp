// nimbrel-render: draws the scenes of an MRP file into PNG files, exactly as
// the show draws them.
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/mandel_class.h"
#include "engine/picture_budget.h"
#include "nimbrel_version.h"
#include "platform/application.h"
#include "platform/command_line.h"
#include "platform/exceptions.h"
#include "platform/sysutils.h"
#include "platform/text_file.h"
#include "png/png_writer.h"
#include "scene/URecommendation.h"
#include "scene/scene_apply.h"
#include "shell/hack_command_line.h"
#include "shell/journey.h"

namespace nimbrel {
namespace {

struct TOptions {
    std::string MrpFile;
    std::optional<std::string> Palettes;
    int32_t Width = 640;
    int32_t Height = 480;
    std::optional<int32_t> Index;
    TDrawMode DefaultDrawMode = dmEmerge;
    std::optional<std::string> Output;
    bool Stats = false;
    bool Journey = false;
    int32_t Fps = 60;
    int32_t ZoomTenths = 15;
    std::optional<std::string> Video;
    bool Help = false;
    bool Version = false;
    // A view given with every digit, over each scene's own.
    std::optional<std::pair<TBigReal, TBigReal>> Center;
    std::optional<TFloatExp> ViewHeight;
    std::optional<std::pair<TBigReal, TBigReal>> Constant;
};

// "RE,IM" of decimal text with any number of digits.
std::pair<TBigReal, TBigReal> ParseComplex(const std::string& Text) {
    const size_t comma = Text.find(',');
    std::pair<TBigReal, TBigReal> v;
    if (comma == std::string::npos ||
        !TBigReal::Parse(std::string_view(Text).substr(0, comma), TBigReal::kMaxBits / 16, v.first) ||
        !TBigReal::Parse(std::string_view(Text).substr(comma + 1), TBigReal::kMaxBits / 16, v.second))
        throw EUsageError("bad point " + Text + " (RE,IM)");
    return v;
}

TCommandLine RenderCommandLine(TOptions& Options) {
    return TCommandLine(TOptionStyle::Gnu, {
        {'p', "palettes", "DIR", "the palette folder (default: the folder of MRPFILE)",
         [&](const std::string& text, const std::string&) { Options.Palettes = text; }},
        {'s', "size", "WxH", "the picture size in pixels (default 640x480)",
         [&](const std::string& text, const std::string&) {
             int32_t w = 0, h = 0;
             if (!TryParseSize(text, w, h) || w <= 0 || h <= 0 || int64_t{w} * h > TBitmap::kMaxPixels)
                 throw EUsageError("bad size " + text);
             Options.Width = w;
             Options.Height = h;
         }},
        {'i', "index", "N", "render only scene N (0-based), with a fresh engine",
         [&](const std::string& text, const std::string&) {
             int32_t index = 0;
             if (!TryStrToInt(text, index) || index < 0) throw EUsageError("bad index " + text);
             Options.Index = index;
         }},
        {'m', "draw-mode", "N", "the draw mode (its DM number, below) for scenes that name none\n"
                                "(default 4, as in the settings)",
         [&](const std::string& text, const std::string&) {
             if (!TryStoredDrawMode(text, Options.DefaultDrawMode)) throw EUsageError("bad draw mode " + text);
         }},
        {'o', "output", "PATH", "with --index the PNG file to write (default scene-NNN.png);\n"
                                "otherwise a folder that receives scene-000.png, scene-001.png, ...\n"
                                "(default: the current folder)",
         [&](const std::string& text, const std::string&) { Options.Output = text; }},
        {0, "journey", "", "with --index: the frames of the zoom from the whole set into the\n"
                           "scene, as the show's journeys, as frame-000001.png, ... in the\n"
                           "folder --output (default: the current folder)",
         [&](const std::string&, const std::string&) { Options.Journey = true; }},
        {0, "fps", "F", "frames a second of a journey (default 60)",
         [&](const std::string& text, const std::string&) {
             if (!TryStrToInt(text, Options.Fps) || Options.Fps < 1 || Options.Fps > 1000)
                 throw EUsageError("bad frame rate " + text + " (1 to 1000)");
         }},
        {0, "zoom-speed", "SECONDS", "seconds per halving of the width in a journey (default 1.5)",
         [&](const std::string& text, const std::string&) {
             if (!ParseZoomSpeed(text, Options.ZoomTenths))
                 throw EUsageError("bad zoom speed " + text + " (seconds, 0.1 to 60)");
         }},
        {0, "video", "FILE", "a journey's frames piped to ffmpeg into this video file\n"
                             "(FILE.mp4) instead of PNG files",
         [&](const std::string& text, const std::string&) {
             if (text.empty()) throw EUsageError("option --video needs a file");
             Options.Video = text;
         }},
        {0, "stats", "", "after each scene, one line with its index, draw mode,\n"
                         "kernel calls, iterations and seconds",
         [&](const std::string&, const std::string&) { Options.Stats = true; }},
        {0, "center", "RE,IM", "the centre of every scene, with as many digits as given",
         [&](const std::string& text, const std::string&) { Options.Center = ParseComplex(text); }},
        {0, "width", "W", "the height of every scene's view, of any exponent (2.5e-1086)",
         [&](const std::string& text, const std::string&) {
             TBigReal w;
             if (!TBigReal::Parse(text, 128, w) || w.IsNegative() || w.IsZero())
                 throw EUsageError("bad width " + text);
             Options.ViewHeight = TFloatExp::FromBig(w);
         }},
        {0, "julia", "RE,IM", "the Julia constant of every Julia scene, with every digit given",
         [&](const std::string& text, const std::string&) { Options.Constant = ParseComplex(text); }},
        {'h', "help", "", "this text", [&](const std::string&, const std::string&) { Options.Help = true; }, true},
        {0, "version", "", "the version of Nimbrel",
         [&](const std::string&, const std::string&) { Options.Version = true; }, true},
    });
}

std::string Usage() {
    TOptions options;
    return "Usage: nimbrel-render [options] MRPFILE\n"
           "Draws the scenes of an MRP file into PNG files, exactly as the screen saver draws them.\n"
           "\n" +
           RenderCommandLine(options).Usage(23) +
           "\n"
           "Draw modes, by the DM numbers of scene files and of the settings:\n" +
           DrawModeTable() +
           "\n"
           "Exit status: 0 success, 1 a scene or palette file failed, 2 usage error or a picture\n"
           "larger than this machine allows.\n";
}

// The options of the command line; EUsageError for one the program cannot run.
TOptions ParseArguments(int argc, char** argv) {
    TOptions options;
    bool haveFile = false;
    const bool complete =
        RenderCommandLine(options).Parse(std::vector<std::string>(argv + 1, argv + argc), [&](const std::string& a) {
            if (haveFile) throw EUsageError("only one MRPFILE");
            options.MrpFile = a;
            haveFile = true;
        });
    if (complete && !haveFile) throw EUsageError("no MRPFILE");
    if (complete && (options.Journey || options.Video) && !options.Index)
        throw EUsageError("--journey and --video need --index");
    if (options.Video) options.Journey = true;
    return options;
}

// Palette messages go to standard error. A message alone is a warning (a
// palette of one colour); a palette that fails also aborts its scene, which
// marks the run as failed.
class TReportingErrorBox : public TErrorBox {
public:
    void ShowError(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void ShowException(const std::string& title, const std::string& text) override {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
        Failed = true;
    }
    bool Failed = false;
};

// A progress bar on standard error, redrawn after each row of a picture.
class TProgressBar {
public:
    TProgressBar(const TMandel& engine, bool enabled) : engine_(engine), enabled_(enabled) {}
    void Start(int32_t scene, uint64_t expectedCalls) {
        scene_ = scene;
        expected_ = expectedCalls ? expectedCalls : 1;
        last_ = -1;
    }
    void Row() {
        if (!enabled_) return;
        const uint64_t done = engine_.Stats.KernelCalls;
        const int percent = static_cast<int>(std::min<uint64_t>(100, done * 100 / expected_));
        if (percent == last_) return;
        last_ = percent;
        const int filled = percent * 40 / 100;
        std::fprintf(stderr, "\rscene %3d [%-40.*s] %3d%%", scene_, filled,
                     "########################################", percent);
        std::fflush(stderr);
    }
    void Finish() {
        if (enabled_ && last_ >= 0) std::fputs("\r\033[K", stderr);
    }

private:
    const TMandel& engine_;
    bool enabled_;
    int32_t scene_ = 0;
    uint64_t expected_ = 1;
    int last_ = -1;
};

// The folder --output names (default: the current one), made when missing;
// empty, after the message, when it cannot be made.
std::filesystem::path OutputFolder(const TOptions& options) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::u8path(options.Output.value_or("."));
    std::error_code error;
    fs::create_directories(folder, error);
    if (!error) return folder;
    std::fprintf(stderr, "nimbrel-render: cannot create %s\n", PathToUtf8(folder).c_str());
    return {};
}

// Where the frames of a journey go: PNG files in a folder, or ffmpeg.
class TFrameSink {
public:
    virtual ~TFrameSink() = default;
    virtual bool Write(int32_t Number, const TBitmap& Frame) = 0;
    virtual bool Close() { return true; }
};

class TPngFrames : public TFrameSink {
public:
    explicit TPngFrames(std::filesystem::path Folder) : folder_(std::move(Folder)) {}
    bool Write(int32_t Number, const TBitmap& Frame) override {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06d.png", Number);
        std::string error;
        if (WritePng(PathToUtf8(folder_ / name), Frame, error)) return true;
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }

private:
    std::filesystem::path folder_;
};

// Raw frames into Debian's ffmpeg, which encodes them as H.264.
class TFfmpegFrames : public TFrameSink {
public:
    static std::unique_ptr<TFfmpegFrames> Open(const std::string& File, int32_t Width, int32_t Height, int32_t Fps) {
        if (std::system("ffmpeg -version >/dev/null 2>&1") != 0) {
            std::fprintf(stderr, "nimbrel-render: --video needs ffmpeg, which is not installed (Debian's package "
                                 "ffmpeg)\n");
            return nullptr;
        }
        std::string quoted = "'";
        for (const char c : File) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        quoted += "'";
        const std::string command = "ffmpeg -loglevel error -y -f rawvideo -pix_fmt bgr0 -s " +
                                    std::to_string(Width) + "x" + std::to_string(Height) + " -r " +
                                    std::to_string(Fps) + " -i - -pix_fmt yuv420p " + quoted;
        FILE* pipe = popen(command.c_str(), "w");
        if (!pipe) {
            std::fprintf(stderr, "nimbrel-render: cannot start ffmpeg\n");
            return nullptr;
        }
        return std::unique_ptr<TFfmpegFrames>(new TFfmpegFrames(pipe));
    }
    ~TFfmpegFrames() override { Close(); }
    bool Write(int32_t, const TBitmap& Frame) override {
        const std::size_t count = static_cast<std::size_t>(Frame.Width()) * static_cast<std::size_t>(Frame.Height());
        return pipe_ && std::fwrite(Frame.Scanline(0), sizeof(uint32_t), count, pipe_) == count;
    }
    bool Close() override {
        if (!pipe_) return true;
        const int status = pclose(pipe_);
        pipe_ = nullptr;
        if (status == 0) return true;
        std::fprintf(stderr, "nimbrel-render: ffmpeg failed\n");
        return false;
    }

private:
    explicit TFfmpegFrames(FILE* Pipe) : pipe_(Pipe) {}
    FILE* pipe_;
};

// The journey into one scene: its keyframes drawn widest first, each frame
// written as soon as its keyframes are there. Answers false on a failure.
bool RenderJourney(TMandel& engine, const TRecommendationList& list, int32_t index, const TOptions& options,
                   const std::string& palettes) {
    namespace fs = std::filesystem;
    try {
        ApplyRecommendation(engine, list, index, palettes, options.DefaultDrawMode);
    } catch (const EAbort&) {
        return false;
    }
    const TJourneyPlan plan(JourneyStartWidth(engine.GetKind(), engine.GetPower()), engine.GetViewWidth(),
                            options.Fps, options.ZoomTenths);
    std::unique_ptr<TFrameSink> sink;
    if (options.Video) {
        sink = TFfmpegFrames::Open(*options.Video, options.Width, options.Height, options.Fps);
        if (!sink) return false;
    } else {
        const fs::path folder = OutputFolder(options);
        if (folder.empty()) return false;
        sink = std::make_unique<TPngFrames>(folder);
    }
    const bool bar = isatty(fileno(stderr)) != 0;
    TJourney journey(plan, 2);
    TBitmap frame;
    int32_t drawn = 0;
    while (!journey.Finished()) {
        const int32_t keyframe = journey.NextKeyframe();
        if (keyframe >= 0) {
            engine.SetViewWidth(plan.KeyframeWidth(keyframe));
            engine.SetBusy(false);
            engine.Draw();
            journey.AddKeyframe(keyframe, engine.GetBitmap());
            ++drawn;
            continue;
        }
        // Every keyframe the next frame needs is there once none may be drawn.
        if (!journey.NextFrame(frame) || !sink->Write(journey.Shown(), frame)) return false;
        if (bar) {
            const int32_t percent = static_cast<int32_t>(int64_t{journey.Shown()} * 100 / plan.Frames());
            std::fprintf(stderr, "\rjourney %d [%-40.*s] frame %d of %d, keyframe %d of %d", index, percent * 40 / 100,
                         "########################################", journey.Shown(), plan.Frames(), drawn,
                         plan.Keyframes());
            std::fflush(stderr);
        }
    }
    if (bar) std::fputs("\r\033[K", stderr);
    if (options.Stats)
        std::printf("journey %d: %d frames from %d keyframes\n", index, plan.Frames(), plan.Keyframes());
    return sink->Close();
}

uint64_t ExpectedKernelCalls(const TMandel& m) {
    const uint64_t w = static_cast<uint64_t>(m.GetWidth()), h = static_cast<uint64_t>(m.GetHeight());
    if (m.DrawMode == dmAntialias) return 4 * w * h;
    if (IsPotentialDrawMode(m.DrawMode)) return (w + 1) * (h + 1);
    return w * h;
}

std::string ScenePngName(int32_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "scene-%03d.png", index);
    return name;
}

// Draws one scene into `path`. Answers false when the scene was skipped.
bool RenderScene(TMandel& engine, const TRecommendationList& list, int32_t index, const TOptions& options,
                 const std::string& palettes, const std::string& path, TProgressBar& progress) {
    try {
        ApplyRecommendation(engine, list, index, palettes, options.DefaultDrawMode);
    } catch (const EAbort&) {
        return false;  // a bad palette: its message has been shown, the scene is skipped
    }
    if (options.Center || options.ViewHeight || options.Constant) {
        const TView& v = engine.GetView();
        TDeepView exact = ExactParts(v);
        if (options.Center) std::tie(exact.CenterRe, exact.CenterIm) = *options.Center;
        if (options.ViewHeight) exact.Width = *options.ViewHeight;
        if (options.Constant) std::tie(exact.JuliaRe, exact.JuliaIm) = *options.Constant;
        engine.SetView(
            MakeDeepView(v.Kind, exact.CenterRe, exact.CenterIm, exact.Width, exact.JuliaRe, exact.JuliaIm, v.Power));
    }
    engine.Stats = TDrawStats{};
    progress.Start(index, ExpectedKernelCalls(engine));
    const auto start = std::chrono::steady_clock::now();
    engine.SetBusy(false);
    engine.Draw();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    progress.Finish();
    if (options.Stats)
        std::printf("scene %d: draw mode %d, %llu kernel calls, %llu iterations, %.3f s\n", index,
                    DrawModeToStored(engine.DrawMode), static_cast<unsigned long long>(engine.Stats.KernelCalls),
                    static_cast<unsigned long long>(engine.Stats.Iterations), seconds);
    if (options.Stats && engine.Stats.Deep)
        std::printf("scene %d: deep, %d bits, %llu reference iterations, %llu skipped by BLA, reference %.3f s, "
                    "table %.3f s, pixels %.3f s\n",
                    index, engine.Stats.DeepBits, static_cast<unsigned long long>(engine.Stats.ReferenceIterations),
                    static_cast<unsigned long long>(engine.Stats.SkippedIterations), engine.Stats.ReferenceSeconds,
                    engine.Stats.TableSeconds, engine.Stats.PixelSeconds);
    std::string error;
    if (!WritePng(path, engine.GetBitmap(), error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return false;
    }
    return true;
}

std::string Bytes(uint64_t bytes) {
    const char* const units[] = {"MiB", "GiB", "TiB"};
    double value = static_cast<double>(bytes) / (uint64_t{1} << 20);
    std::size_t unit = 0;
    for (; value >= 1024 && unit + 1 < std::size(units); ++unit) value /= 1024;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

// Whether the pictures of the scenes to be drawn fit this machine's picture
// budget; says why not. A shaded scene needs its result cache.
bool PictureFits(const TRecommendationList& list, const TOptions& options) {
    bool shaded = false;
    for (int32_t i = 0; i < list.Count(); ++i) {
        if (options.Index && i != *options.Index) continue;
        const TDrawMode mode = list.GetDrawMode(i);
        shaded = shaded || IsPotentialDrawMode(mode != dmNormal ? mode : options.DefaultDrawMode);
    }
    const TPictureBudget budget = TPictureBudget::OfMachine();
    if (budget.Fits(options.Width, options.Height, shaded)) return true;
    const TPictureSize largest = budget.Largest(options.Width, options.Height, shaded);
    std::fprintf(stderr,
                 "nimbrel-render: a %s picture of %dx%d needs %s; this machine allows %s for a picture "
                 "(the largest of that shape: %dx%d)\n",
                 shaded ? "shaded" : "plain", options.Width, options.Height,
                 Bytes(TPictureBudget::Need(options.Width, options.Height, shaded)).c_str(),
                 Bytes(budget.Bytes()).c_str(), largest.Width, largest.Height);
    return false;
}

int Run(const TOptions& options) {
    namespace fs = std::filesystem;
    TReportingErrorBox box;
    TScopedErrorBox installed(box);

    TRecommendationList list;
    try {
        list.LoadScenes(options.MrpFile);
    } catch (const EAbort&) {
        std::fprintf(stderr, "%s\n", list.LoadFailureText(options.MrpFile).c_str());
        return 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    // The folder of the scene file; a bare file name lies in the current folder.
    const std::string folder = PathToUtf8(fs::u8path(options.MrpFile).parent_path());
    const std::string palettes = options.Palettes.value_or(folder.empty() ? std::string(".") : folder);

    if (!PictureFits(list, options)) return 2;

    auto engine = std::make_unique<TMandel>();
    engine->SetWidth(options.Width);
    engine->SetHeight(options.Height);
    TProgressBar progress(*engine, isatty(fileno(stderr)) != 0);
    TScopedMessagePump pump([&] { progress.Row(); });

    bool failed = false;
    auto render = [&](int32_t index, const std::string& path) {
        try {
            if (!RenderScene(*engine, list, index, options, palettes, path, progress)) failed = true;
        } catch (const std::exception& error) {
            progress.Finish();
            std::fprintf(stderr, "scene %d: %s\n", index, error.what());
            failed = true;
        }
    };
    if (options.Index) {
        if (*options.Index >= list.Count()) {
            std::fprintf(stderr, "nimbrel-render: the file has %d scenes; there is no scene %d\n", list.Count(),
                         *options.Index);
            return 2;
        }
        if (options.Journey) {
            try {
                if (!RenderJourney(*engine, list, *options.Index, options, palettes)) failed = true;
            } catch (const std::exception& error) {
                std::fprintf(stderr, "journey %d: %s\n", *options.Index, error.what());
                failed = true;
            }
        } else {
            render(*options.Index, options.Output.value_or(ScenePngName(*options.Index)));
        }
    } else {
        const fs::path folder = OutputFolder(options);
        if (folder.empty()) return 1;
        for (int32_t i = 0; i < list.Count(); ++i) render(i, PathToUtf8(folder / ScenePngName(i)));
    }
    return failed || box.Failed ? 1 : 0;
}

}  // namespace
}  // namespace nimbrel

int main(int argc, char** argv) {
    using namespace nimbrel;
    try {
        const TOptions options = ParseArguments(argc, argv);
        if (options.Help) {
            std::fputs(Usage().c_str(), stdout);
            return 0;
        }
        if (options.Version) {
            std::fputs("nimbrel-render " NIMBREL_VERSION "\n", stdout);
            return 0;
        }
        return Run(options);
    } catch (const EUsageError& error) {
        std::fprintf(stderr, "nimbrel-render: %s\n%s", error.what(), Usage().c_str());
        return 2;
    }
}
