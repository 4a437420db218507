// Runs the real nimbrel-render and compares its pictures with the engine's.
#include <gtest/gtest.h>

#include <png.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/mandel_class.h"
#include "headless/recorded_error_box.h"
#include "../support/bitmap_pixels.h"
#include "scene/URecommendation.h"
#include "scene/scene_apply.h"
#include "shell/setting_texts.h"
#include "../support/read_error.h"
#include "../support/temp_folder.h"

#ifdef NIMBREL_RENDER

namespace nimbrel::testing {
namespace {

struct TRun {
    int Status = -1;
    std::string Errors;  // standard error
};

// Runs nimbrel-render with the arguments, and the environment's assignments
// before it; standard output is discarded.
TRun Render(const TTempFolder& files, const std::string& arguments, const std::string& environment = "") {
    const std::string errors = files.PathOf("stderr.txt");
    const std::string command =
        "env " + environment + " " + NIMBREL_RENDER + " " + arguments + " >/dev/null 2>'" + errors + "'";
    TRun run;
    const int status = std::system(command.c_str());
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::FILE* f = std::fopen(errors.c_str(), "rb");
    if (f) {
        std::array<char, 4096> buffer;
        std::size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), f)) > 0) run.Errors.append(buffer.data(), n);
        std::fclose(f);
    }
    return run;
}

std::string Quote(const std::string& path) { return "'" + path + "'"; }

// The pixels of an RGB PNG as colour values (red in the low byte).
std::vector<int32_t> ReadPng(const std::string& path, int32_t& width, int32_t& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) return {};
    width = static_cast<int32_t>(image.width);
    height = static_cast<int32_t>(image.height);
    std::vector<int32_t> pixels;
    for (std::size_t i = 0; i + 2 < bytes.size(); i += 3)
        pixels.push_back(bytes[i] | (bytes[i + 1] << 8) | (bytes[i + 2] << 16));
    return pixels;
}

// What the show draws for scene `index` of `list`, given the engine's state.
std::vector<int32_t> Drawn(TMandel& engine, const std::string& scenes, int32_t index, const std::string& palettes) {
    TRecommendationList list;
    list.LoadFromFile(scenes);
    ApplyRecommendation(engine, list, index, palettes, dmEmerge);
    engine.Draw();
    return Pixels(engine.GetBitmap());
}

class RenderTest : public ::testing::Test {
protected:
    void SetUp() override {
        Files.Write("p1.mcf", "000000\r\n#GRAD FF0000, 0000FF, 16\r\n");
        Files.Write("bad.mcf", "000000\r\nFFFFFF\r\nnot a colour\r\n");
        Scenes = Files.Write("scenes.mrp",
                             "* three scenes\r\n"
                             "T=MANDEL, Title=A, Cr=-0.6, Ci=0, W=2.5, I=60, MCF=p1, DM=1\r\n"
                             "T=JULIA, Title=B, Cr=0, Ci=0, W=3, Jr=-0.8, Ji=0.156, I=80, DM=7, PB=3, ER=20\r\n"
                             "T=MANDEL, Title=C, Cr=-0.6, Ci=0, W=2.5, I=50\r\n");
    }
    TTempFolder Files;
    std::string Scenes;
    TRecordedErrorBox Box;
    TScopedErrorBox Installed{Box};
};

TEST_F(RenderTest, AnIndexedSceneIsThePictureTheEngineDraws) {
    for (int32_t index : {0, 1}) {
        const std::string png = Files.PathOf("one.png");
        const TRun run = Render(Files, "-s 48x30 -i " + std::to_string(index) + " -o " + Quote(png) + " " + Quote(Scenes));
        ASSERT_EQ(run.Status, 0) << run.Errors;
        int32_t w = 0, h = 0;
        const auto pixels = ReadPng(png, w, h);
        EXPECT_EQ(w, 48);
        EXPECT_EQ(h, 30);
        TMandel engine;
        engine.SetWidth(48);
        engine.SetHeight(30);
        EXPECT_EQ(pixels, Drawn(engine, Scenes, index, Files.PathOf(""))) << "scene " << index;
    }
}

TEST_F(RenderTest, AJourneyWritesItsFramesEndingOnTheStill) {
    // W 0.3 of 3: 3.32 halvings; at 10 frames a second and 0.5 s a halving,
    // 18 frames.
    const std::string scenes = Files.Write("deep.mrp", "T=MANDEL, Title=D, Cr=-0.7453, Ci=0.1127, W=0.3, I=60, DM=2\r\n");
    const std::string out = Files.PathOf("frames");
    const TRun run = Render(Files, "-s 40x24 -i 0 --journey --fps 10 --zoom-speed 0.5 -o " + Quote(out) + " " + Quote(scenes));
    ASSERT_EQ(run.Status, 0) << run.Errors;
    int32_t w = 0, h = 0;
    std::vector<int32_t> last;
    int32_t frames = 0;
    for (;; ++frames) {
        char name[32];
        std::snprintf(name, sizeof name, "/frame-%06d.png", frames + 1);
        const auto pixels = ReadPng(out + name, w, h);
        if (pixels.empty()) break;
        EXPECT_EQ(w, 40);
        last = pixels;
    }
    EXPECT_EQ(frames, 18);
    TMandel engine;
    engine.SetWidth(40);
    engine.SetHeight(24);
    EXPECT_EQ(last, Drawn(engine, scenes, 0, Files.PathOf("")));
    // A journey needs its scene; a video needs ffmpeg or says so.
    EXPECT_EQ(Render(Files, "--journey " + Quote(scenes)).Status, 2);
    const TRun video = Render(Files, "-s 40x24 -i 0 --video " + Quote(Files.PathOf("v.mp4")) + " " + Quote(scenes),
                              "PATH=/nonexistent");
    EXPECT_EQ(video.Status, 1);
    EXPECT_NE(video.Errors.find("needs ffmpeg"), std::string::npos) << video.Errors;
}

TEST_F(RenderTest, APaletteCarriesOverToTheNextSceneWhenAllAreDrawn) {
    const std::string out = Files.PathOf("all");
    const TRun run = Render(Files, "-s 40x24 -o " + Quote(out) + " " + Quote(Scenes));
    ASSERT_EQ(run.Status, 0) << run.Errors;
    // One engine through all three scenes, as the show would draw them.
    TMandel engine;
    engine.SetWidth(40);
    engine.SetHeight(24);
    std::vector<std::vector<int32_t>> expected;
    for (int32_t i = 0; i < 3; ++i) expected.push_back(Drawn(engine, Scenes, i, Files.PathOf("")));
    for (int32_t i = 0; i < 3; ++i) {
        int32_t w = 0, h = 0;
        char name[32];
        std::snprintf(name, sizeof name, "/scene-%03d.png", i);
        EXPECT_EQ(ReadPng(out + name, w, h), expected[static_cast<std::size_t>(i)]) << i;
    }
    // Scene C alone gets the built-in palette instead.
    const std::string alone = Files.PathOf("alone.png");
    ASSERT_EQ(Render(Files, "-s 40x24 -i 2 -o " + Quote(alone) + " " + Quote(Scenes)).Status, 0);
    int32_t w = 0, h = 0;
    EXPECT_NE(ReadPng(alone, w, h), expected[2]);
}

TEST_F(RenderTest, SceneFileFailuresPrintTheShowsMessage) {
    const std::string missing = Files.PathOf("missing.mrp");
    TRun run = Render(Files, Quote(missing));
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Errors, missing + "\r\nが見つかりません。\n");

    const std::string bad = Files.Write("bad.mrp", "* a comment\r\nT=MANDEL, Title=A, Cr=-0.5, Ci=0, W=3, Pow=1\r\n");
    run = Render(Files, Quote(bad));
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Errors, bad + "\r\n2 行目にｴﾗｰがあったので読み込みを中止しました。\r\n巾乗の値(POW)は２以上でなくてはいけません。\n");

    // A read error of the system fails the line being read, a file that
    // cannot be opened its first line, and a file without scenes fails as
    // it does in the show.
    for (const std::string& path : {std::string(kUnreadableFile), std::string(kUnopenableFile)}) {
        run = Render(Files, path);
        EXPECT_EQ(run.Status, 1);
        EXPECT_EQ(run.Errors, path + "\r\n1 行目にｴﾗｰがあったので読み込みを中止しました。\r\n\n");
    }
    const std::string empty = Files.Write("empty.mrp", "* no scene\r\n");
    run = Render(Files, Quote(empty));
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Errors, empty + "\r\n0 行目にｴﾗｰがあったので読み込みを中止しました。\r\n\n");
}

TEST_F(RenderTest, PaletteMessagesAndWhetherTheSceneIsDrawn) {
    Files.Write("one.mcf", "FF8000\r\n");
    std::filesystem::create_symlink(kUnreadableFile, Files.PathOf("unreadable.mcf"));
    const struct {
        const char* name;
        const char* message;
        bool drawn;  // and the exit status 0
    } cases[] = {
        {"bad", "3 行目にｴﾗｰがあります", false},
        {"unreadable", "1 行目にｴﾗｰがあります", false},  // a read error
        {"one", "色が１色しかないです。もっと増やして下さい", true},  // a warning only
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string scenes = Files.Write("palette.mrp", std::string("T=MANDEL, Title=A, Cr=-0.6, Ci=0, W=2.5, I=30, MCF=") +
                                                                  c.name + "\r\n"
                                                                  "T=MANDEL, Title=B, Cr=-0.6, Ci=0, W=2.5, I=30\r\n");
        const std::string out = Files.PathOf(c.name);
        const TRun run = Render(Files, "-s 16x16 -o " + Quote(out) + " " + Quote(scenes));
        EXPECT_EQ(run.Status, c.drawn ? 0 : 1);
        EXPECT_EQ(run.Errors, std::string(c.message) + "\n");
        EXPECT_EQ(std::filesystem::exists(out + "/scene-000.png"), c.drawn);
        EXPECT_TRUE(std::filesystem::exists(out + "/scene-001.png"));  // the others are still drawn
    }
}

TEST_F(RenderTest, UsageErrorsExitWithTwo) {
    for (const std::string& arguments : std::vector<std::string>
         {std::string(""), "-s 0x10 " + Quote(Scenes), "-s 10 " + Quote(Scenes), "-s 70000x70000 " + Quote(Scenes),
          "-m 9 " + Quote(Scenes), "-i -1 " + Quote(Scenes), "--frobnicate " + Quote(Scenes), "-i 3 " + Quote(Scenes),
          Quote(Scenes) + " " + Quote(Scenes), std::string("-o")}) {
        EXPECT_EQ(Render(Files, arguments).Status, 2) << arguments;
    }
    EXPECT_EQ(Render(Files, "--help").Status, 0);
}

// A shaded 30000 x 30000 picture (a 3.6 GB bitmap and a 21.6 GB result
// cache) exceeds the budget of any machine: the renderer says so and ends
// with status 2 before it allocates anything, instead of growing until the
// system kills it. With NIMBREL_MEMORY the machine is taken to have 128 MiB,
// and its pictures 64 MiB.
TEST_F(RenderTest, APictureTheMachineCannotHoldIsRefusedBeforeAnyDrawing) {
    const std::string out = Files.PathOf("huge");
    TRun run = Render(Files, "-s 30000x30000 -o " + Quote(out) + " " + Quote(Scenes));
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Errors.rfind("nimbrel-render: a shaded picture of 30000x30000 needs 27.1 GiB; this machine allows ", 0),
              0u)
        << run.Errors;
    EXPECT_FALSE(std::filesystem::exists(out));
    const struct {
        const char* arguments;
        const char* message;
    } cases[] = {
        // Scene 1 alone is shaded.
        {"-s 4000x1500 -i 0", "a plain picture of 4000x1500 needs 77.0 MiB; this machine allows 64.0 MiB for a picture "
                              "(the largest of that shape: "},
        {"-s 3000x1000 -i 1", "a shaded picture of 3000x1000 needs 115.1 MiB; this machine allows 64.0 MiB for a "
                              "picture (the largest of that shape: 2152x717)\n"},
        // A picture a billion pixels wide needs too many row buffers.
        {"-s 1073741824x1 -i 0", "a plain picture of 1073741824x1 needs 8.0 TiB"},
    };
    for (const auto& c : cases) {
        run = Render(Files, std::string(c.arguments) + " -o " + Quote(out) + " " + Quote(Scenes), "NIMBREL_MEMORY=128");
        EXPECT_EQ(run.Status, 2) << c.arguments;
        EXPECT_EQ(run.Errors.rfind(std::string("nimbrel-render: ") + c.message, 0), 0u) << run.Errors;
        EXPECT_FALSE(std::filesystem::exists(out)) << c.arguments;
    }
}

// The one version of CMakeLists.txt, as nimbrel-render and the settings
// dialog's version page tell it.
TEST_F(RenderTest, VersionIsTheProjects) {
    std::FILE* pipe = popen(NIMBREL_RENDER " --version", "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    std::array<char, 256> buffer;
    std::size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) out.append(buffer.data(), n);
    const int status = pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(out, "nimbrel-render " NIMBREL_PROJECT_VERSION "\n");
    EXPECT_EQ(setting_texts::kAboutVersion, "Version " NIMBREL_PROJECT_VERSION);
}

}  // namespace
}  // namespace nimbrel::testing

#endif
