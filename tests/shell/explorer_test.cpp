#include "shell/explorer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "../support/bitmap_pixels.h"
#include "../support/temp_folder.h"
#include "engine/picture_budget.h"
#include "platform/application.h"
#include "platform/text_file.h"
#include "scene/scene_apply.h"
#include "values/deep_coordinates.h"
#include "shell/journey.h"

namespace nimbrel {
namespace {

using testing::TTempFolder;
using A = TExplorerAction;

constexpr int32_t kW = 48, kH = 32;

std::string ReadAll(const std::string& path) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// An explorer of a small picture, on a clock that stands still unless moved,
// writing into a folder of its own.
struct TFixture {
    TTempFolder Folder;
    double Clock = 100;
    TExplorerOptions Options;
    std::vector<std::string> Pngs;

    TFixture() {
        Options.Width = kW;
        Options.Height = kH;
        Options.OutputFile = Folder.PathOf("kept.mrp");
        Options.Palettes = PathToUtf8(std::filesystem::u8path(Folder.PathOf("x")).parent_path());
        Options.Clock = [this] { return Clock; };
        Options.WritePng = [this](const std::string& path, const TBitmap&, std::string&) {
            Pngs.push_back(path);
            std::ofstream(std::filesystem::u8path(path)) << "png";
            return true;
        };
    }
};

// Runs the explorer until it has nothing to do.
void Settle(TExplorer& e) {
    for (int i = 0; i < 100 && e.HasWork(); ++i) e.Step();
    ASSERT_FALSE(e.HasWork());
}

void Do(TExplorer& e, TExplorerCommand c) {
    e.Post(c);
    Settle(e);
}

// The show's picture of the last line of `file`: a fresh engine of the same
// size, the line applied as the show applies a scene.
std::vector<int32_t> ShowsPicture(const std::string& file, const std::string& palettes, TMandel& shown) {
    TRecommendationList list;
    list.LoadFromFile(file);
    shown.SetWidth(kW);
    shown.SetHeight(kH);
    ApplyRecommendation(shown, list, list.Count() - 1, palettes, dmNormal);
    shown.Draw();
    return testing::Pixels(shown.GetBitmap());
}

double Distance(const TComplexPoint& a, const TComplexPoint& b) { return std::hypot(a.Re - b.Re, a.Im - b.Im); }

// Zooming keeps the point under the cursor where it is; panning moves the
// plane with the mouse; a rectangle ends up filling the picture in one
// direction, centred; going back retraces every step exactly.
TEST(Explorer, NavigationKeepsThePointsWhereTheUserPutsThem) {
    TFixture f;
    TExplorer e(f.Options);
    Settle(e);
    std::vector<TExplorerView> seen{e.View()};
    const struct {
        TExplorerCommand command;
        int32_t fromX, fromY, toX, toY;  // the plane point under "from" comes under "to"
        double widthFactor;
    } steps[] = {
        {{A::ZoomIn, 10, 7}, 10, 7, 10, 7, 0.5},
        {{A::ZoomIn, 40, 30}, 40, 30, 40, 30, 0.5},
        {{A::ZoomOut, 3, 20}, 3, 20, 3, 20, 2},
        {{A::Pan, 5, -4}, 20, 20, 25, 16, 1},
        {{A::Pan, -30, 9}, 35, 10, 5, 19, 1},
        {{A::ZoomIn, 0, 0}, 0, 0, 0, 0, 0.5},
    };
    for (const auto& s : steps) {
        const TComplexPoint before = e.PointAt(s.fromX, s.fromY);
        const double width = e.View().ViewWidth;
        Do(e, s.command);
        EXPECT_LT(Distance(e.PointAt(s.toX, s.toY), before), width * 1e-12) << int(s.command.Action);
        EXPECT_DOUBLE_EQ(e.View().ViewWidth, width * s.widthFactor);
        seen.push_back(e.View());
    }
    // A rectangle of 16 x 8 pixels (wider than the picture's shape): its width
    // fills the picture, its centre is the picture's.
    const TComplexPoint corner1 = e.PointAt(8, 4), corner2 = e.PointAt(24, 12), middle = e.PointAt(16, 8);
    Do(e, {A::ZoomRect, 24, 12, 8, 4});
    EXPECT_LT(Distance(e.View().Center, middle), 1e-12 * e.View().ViewWidth);
    EXPECT_LT(std::fabs(e.PointAt(0, 0).Re - corner1.Re), 1e-12 * e.View().ViewWidth);
    EXPECT_LT(std::fabs(e.PointAt(kW, 0).Re - corner2.Re), 1e-12 * e.View().ViewWidth);
    seen.push_back(e.View());
    Do(e, {A::ZoomRect, 5, 5, 6, 30});  // one pixel wide: a click
    EXPECT_TRUE(e.View() == seen.back());

    for (auto it = seen.rbegin() + 1; it != seen.rend(); ++it) {
        Do(e, {A::Back});
        EXPECT_TRUE(e.View() == *it);
    }
    Do(e, {A::Back});
    EXPECT_EQ(e.Message(), "no view before this one");
    EXPECT_TRUE(e.View() == seen.front());
}

// The keys that change what is drawn rather than where: each gives the view
// of the table, and a fresh explorer's engine agrees with TMandel's defaults.
TEST(Explorer, KeysSetDrawModeIterationsPowerJuliaAndHome) {
    TFixture f;
    TExplorer e(f.Options);
    const TMandel defaults;
    EXPECT_EQ(e.View().Kind, fkMandelbrot);
    EXPECT_EQ(e.View().Center.Re, defaults.GetCenter().Re);
    EXPECT_EQ(e.View().ViewWidth, defaults.GetViewWidth());
    EXPECT_EQ(e.View().MaxIter, 256);
    EXPECT_EQ(e.View().DrawMode, dmEmerge);  // stored 4, as the settings' default

    const uint8_t internal[] = {0, 1, 2, 4, 3, 5, 6, 7, 8};
    for (int32_t stored = 8; stored >= 0; --stored) {
        Do(e, {A::DrawMode, 0, 0, 0, 0, stored});
        EXPECT_EQ(e.View().DrawMode, internal[stored]) << stored;
    }
    for (int32_t limit : {256, 384, 576, 864}) {
        EXPECT_EQ(e.View().MaxIter, limit);
        Do(e, {A::MoreIterations});
    }
    for (int32_t limit : {1296, 864, 576, 384, 256, 171, 114}) {
        EXPECT_EQ(e.View().MaxIter, limit);
        Do(e, {A::FewerIterations});
    }

    // Julia of the point under the cursor, at the engine's default Julia
    // position; and back to the very Mandelbrot view it came from.
    Do(e, {A::ZoomIn, 12, 9});
    const TExplorerView mandelbrot = e.View();
    const TComplexPoint c = e.PointAt(30, 20);
    Do(e, {A::ToggleJulia, 30, 20});
    EXPECT_EQ(e.View().Kind, fkJulia);
    EXPECT_EQ(e.View().JuliaConstant.Re, c.Re);
    EXPECT_EQ(e.View().JuliaConstant.Im, c.Im);
    EXPECT_EQ(e.View().ViewWidth, 4.0);
    Do(e, {A::ZoomIn, 1, 1});
    Do(e, {A::ToggleJulia, 30, 20});
    EXPECT_EQ(e.View().Kind, fkMandelbrot);
    EXPECT_EQ(e.View().Center.Re, mandelbrot.Center.Re);
    EXPECT_EQ(e.View().ViewWidth, mandelbrot.ViewWidth);

    // A power of its own resets the position to that power's default.
    for (int32_t power : {3, 5, 2}) {
        Do(e, {A::Power, 0, 0, 0, 0, power});
        TMandel m;
        m.SetPower(power);
        m.ResetView();
        EXPECT_EQ(e.View().Power, power);
        EXPECT_EQ(e.View().Center.Re, m.GetCenter().Re);
        EXPECT_EQ(e.View().ViewWidth, m.GetViewWidth());
    }
    Do(e, {A::Power, 0, 0, 0, 0, 6});
    EXPECT_EQ(e.View().Power, 2);

    Do(e, {A::Power, 0, 0, 0, 0, 4});
    Do(e, {A::ToggleJulia, 5, 5});
    Do(e, {A::DrawMode, 0, 0, 0, 0, 2});
    Do(e, {A::Home});
    EXPECT_EQ(e.View().Kind, fkMandelbrot);
    EXPECT_EQ(e.View().Power, 2);
    EXPECT_EQ(e.View().MaxIter, 256);
    EXPECT_EQ(e.View().Center.Re, -0.8);
    EXPECT_EQ(e.View().ViewWidth, 3.0);
    EXPECT_EQ(e.View().DrawMode, dmBoundary);  // the look stays

    // Zooming goes on where the doubles end, with every digit.
    for (int i = 0; i < 1100 && e.Message().empty(); ++i) Do(e, {A::ZoomIn, 7, 7});
    EXPECT_EQ(e.Message(), "");
    ASSERT_TRUE(e.View().Deep);
    EXPECT_LT(e.View().Deep->Width.Log2(), -1090);
    EXPECT_TRUE(e.PictureComplete());
}

// Below the doubles the point under the pointer stays put to the last bit
// the view keeps, Back retraces every step exactly, the kept line reads back
// as the view, and J takes the point under the pointer as the constant.
TEST(Explorer, DeepViewsKeepEveryDigitThroughTheMoves) {
    TFixture f;
    f.Folder.Write("deep.mrp", std::string("T=MANDEL, Title=V, Cr=-0.743643887037158704752191506114774, ") +
                                   "Ci=0.131825904205311970493132056385139, W=1e-20, I=300\r\n");
    f.Options.SceneFile = f.Folder.PathOf("deep.mrp");
    TExplorer e(f.Options);
    Settle(e);
    ASSERT_TRUE(e.View().Deep);
    const TExplorerView start = e.View();
    // The plane point of pixel (X, Y), exactly.
    const auto pointAt = [&](int32_t X, int32_t Y) {
        const TDeepView& d = *e.View().Deep;
        const TFloatExp step = PixelStep(d.Width, kH);
        return std::pair(d.CenterRe + (step * (X - kW / 2.0)).ToBig(4096),
                         d.CenterIm + (step * -(Y - kH / 2.0)).ToBig(4096));
    };
    const auto before = pointAt(7, 5);
    for (int i = 0; i < 300; ++i) {
        Do(e, {A::ZoomIn, 7, 5});
        ASSERT_EQ(e.Message(), "");
    }
    ASSERT_LT(e.View().Deep->Width.Log2(), -300 - 66);
    const auto after = pointAt(7, 5);
    const TFloatExp drift = TFloatExp::FromBig(after.first - before.first);
    const TFloatExp step = PixelStep(e.View().Deep->Width, kH);
    EXPECT_LT(std::fabs(drift.ToDouble()), 1.0) << "never NaN";
    EXPECT_TRUE(drift.IsZero() || drift.Log2() < step.Log2() - 40);
    EXPECT_TRUE(TFloatExp::FromBig(after.second - before.second).IsZero() ||
                TFloatExp::FromBig(after.second - before.second).Log2() < step.Log2() - 40);
    EXPECT_TRUE(e.PictureComplete());

    Do(e, {A::Keep});
    TRecommendationList kept;
    kept.LoadFromFile(f.Options.OutputFile);
    EXPECT_TRUE(kept.GetView(0) == static_cast<const TView&>(e.View()));

    Do(e, {A::Pan, 3, -2});
    Do(e, {A::ZoomRect, 10, 10, 30, 20});
    Do(e, {A::ToggleJulia, 7, 5});
    EXPECT_EQ(e.View().Kind, fkJulia);
    EXPECT_EQ(e.View().ViewWidth, 4.0);
    Do(e, {A::ToggleJulia, 7, 5});
    Do(e, {A::Back});
    Do(e, {A::Back});
    Do(e, {A::Back});
    Do(e, {A::Back});
    for (int i = 0; i < 300; ++i) Do(e, {A::Back});
    EXPECT_TRUE(static_cast<const TView&>(e.View()) == start);
    EXPECT_TRUE(e.View().Deep);
}

// The kept line is the view: the show's picture of it is the explorer's
// picture, in every draw mode, after zooms whose previews the new picture
// overwrites; and the line names what the status names.
TEST(Explorer, KeptLinesDrawTheExplorersPicture) {
    TFixture f;
    f.Folder.Write("ramp.mcf", "000000\r\n#GRAD 102040, F0E0C0, 30\r\n");
    TExplorer e(f.Options);
    Settle(e);
    Do(e, {A::NextPalette});
    ASSERT_EQ(e.View().PaletteName, "ramp");
    for (int32_t stored = 0; stored <= 8; ++stored) {
        Do(e, {A::ZoomIn, 20 + stored, 11});
        Do(e, {A::DrawMode, 0, 0, 0, 0, stored});
        if (stored == 6) Do(e, {A::ToggleJulia, 17, 13});
        ASSERT_TRUE(e.PictureComplete());
        Do(e, {A::Keep});
        EXPECT_EQ(e.Message(), "kept Scene " + std::to_string(stored + 1) + " in " + f.Options.OutputFile);
        TMandel shown;
        EXPECT_EQ(ShowsPicture(f.Options.OutputFile, *f.Options.Palettes, shown), testing::Pixels(e.Engine().GetBitmap()))
            << stored;
        EXPECT_EQ(shown.GetMaxIter(), e.View().MaxIter);
    }
    const std::string text = ReadAll(f.Options.OutputFile);
    EXPECT_EQ(text.rfind("* Scenes kept with nimbrel-explore.", 0), 0u);
    EXPECT_NE(text.find("\r\nT=JULIA, Title=Scene 9, Cr="), std::string::npos);
}

// Commands that arrive while a picture is drawn only queue and cancel it; they
// run, in order, once the draw has unwound, and the new picture starts at
// once. Keeping the view or writing the picture does not cancel the picture;
// they wait for it like the rest.
TEST(Explorer, InputDuringADrawCancelsItAndRunsAfterIt) {
    TFixture f;
    TExplorer e(f.Options);
    int rows = 0;
    std::vector<TExplorerView> insideViews;
    std::function<void()> during;
    TScopedMessagePump pump([&] {
        ++rows;
        if (during) during();
    });
    const TExplorerView start = e.View();
    during = [&] {
        if (rows != 5) return;
        e.Post({A::Keep});  // queued; the picture goes on
        EXPECT_TRUE(e.Engine().GetBusy());
        e.Post({A::ZoomIn, 10, 10});
        EXPECT_FALSE(e.Engine().GetBusy());
        e.Post({A::DrawMode, 0, 0, 0, 0, 2});
        e.Post({A::Keep});  // after the two: queued
        e.Post({A::WritePicture});
        insideViews.push_back(e.View());
    };
    e.Step();  // the first picture, cancelled in its fifth row
    EXPECT_FALSE(e.PictureComplete());
    EXPECT_TRUE(e.View() == start);
    EXPECT_TRUE(insideViews.at(0) == start);  // nothing changed inside the draw
    during = nullptr;
    e.Step();  // the queued commands, then the new picture
    EXPECT_TRUE(e.PictureComplete());
    EXPECT_EQ(e.View().DrawMode, dmBoundary);
    EXPECT_EQ(e.View().ViewWidth, start.ViewWidth / 2);
    TRecommendationList kept;
    kept.LoadFromFile(f.Options.OutputFile);
    ASSERT_EQ(kept.Count(), 2);
    EXPECT_EQ(kept.GetDrawMode(0), dmEmerge);
    EXPECT_EQ(kept.GetDrawMode(1), dmBoundary);
    EXPECT_EQ(kept.GetViewWidth(1), start.ViewWidth / 2);
    // The PNG waited for a complete picture: the cancelled one was not.
    EXPECT_TRUE(f.Pngs.empty());
    Do(e, {A::WritePicture});
    ASSERT_EQ(f.Pngs.size(), 1u);
    EXPECT_EQ(f.Pngs[0], f.Folder.PathOf("kept-001.png"));
    Do(e, {A::WritePicture});
    EXPECT_EQ(f.Pngs.at(1), f.Folder.PathOf("kept-002.png"));
    // A file named (the save dialog's) is written as it is, and counts not.
    TExplorerCommand saveAs{A::WritePicture};
    saveAs.Path = f.Folder.PathOf("夕焼け.png");
    Do(e, saveAs);
    EXPECT_EQ(f.Pngs.at(2), saveAs.Path);
    EXPECT_EQ(e.Message(), "wrote " + saveAs.Path);
    Do(e, {A::WritePicture});
    EXPECT_EQ(f.Pngs.at(3), f.Folder.PathOf("kept-003.png"));

    rows = 0;
    during = [&] {
        if (rows == 3) e.Post({A::Quit});
    };
    Do(e, {A::ZoomOut, 1, 1});
    EXPECT_FALSE(e.Step());
}

// A front end's yield hook takes the place of the application's message
// processing in the explorer's draws, input in it cancelling the picture as
// there; without it the application's is back.
TEST(Explorer, AYieldHookOfTheFrontEndRunsInsideTheDraws) {
    struct THook : TYieldHook {
        std::function<void()> Yield;
        void OnYield() override { Yield(); }
    };
    TFixture f;
    TExplorer e(f.Options);
    int pumped = 0, hooked = 0;
    TScopedMessagePump pump([&] { ++pumped; });
    THook hook;
    hook.Yield = [&] {
        if (++hooked == 3) e.Post({A::ZoomIn, 10, 10});
    };
    e.SetYieldHook(&hook);
    e.Step();
    EXPECT_FALSE(e.PictureComplete());
    EXPECT_EQ(hooked, 3);
    EXPECT_EQ(pumped, 0);
    e.SetYieldHook(nullptr);
    e.Step();
    EXPECT_TRUE(e.PictureComplete());
    EXPECT_EQ(hooked, 3);
    EXPECT_GT(pumped, 0);
}

// A scene file opens at its first scene, drawn as the show draws it, and the
// pages step through it both ways; a bad palette keeps the view; a bad file
// gives the show's text and the default view.
TEST(Explorer, ScenesOfAFileAreTheShowsScenes) {
    TFixture f;
    f.Folder.Write("warm.mcf", "000000\r\n#GRAD 400000, FFC000, 20\r\n");
    f.Folder.Write("broken.mcf", "xyz\r\n");
    const std::string file = f.Folder.Write(
        "tour.mrp",
        "* three scenes\r\n"
        "T=MANDEL, Title=A, Cr=-0.75, Ci=0.1, W=0.5, I=300, MCF=warm, DM=6, PB=3, ER=40\r\n"
        "T=JULIA, Title=B, Cr=0, Ci=0, W=3, Jr=-0.8, Ji=0.156\r\n"
        "T=MANDEL, Title=C, Cr=0, Ci=0, W=2, MCF=broken, DM=1\r\n");
    f.Options.SceneFile = file;
    f.Options.Palettes.reset();  // the folder of the scene file
    TExplorer e(f.Options);
    EXPECT_EQ(e.OpenFailure(), "");
    EXPECT_EQ(e.SceneCount(), 3);

    // The show's engine, scene after scene.
    TRecommendationList list;
    list.LoadFromFile(file);
    TMandel show;
    show.SetWidth(kW);
    show.SetHeight(kH);
    auto expectScene = [&](int32_t index) {
        ApplyRecommendation(show, list, index, e.PaletteFolder(), dmEmerge);
        Settle(e);
        show.Draw();
        EXPECT_EQ(e.SceneIndex(), index);
        EXPECT_EQ(testing::Pixels(e.Engine().GetBitmap()), testing::Pixels(show.GetBitmap())) << index;
    };
    expectScene(0);
    EXPECT_EQ(e.View().PaletteName, "warm");
    EXPECT_NE(e.StatusText().find("scene 1/3"), std::string::npos);
    e.Post({A::NextScene});
    expectScene(1);  // I and the palette carry over, as in the show
    EXPECT_EQ(e.View().MaxIter, 300);
    EXPECT_EQ(e.View().PaletteName, "warm");
    const TExplorerView before = e.View();
    Do(e, {A::NextScene});
    EXPECT_EQ(e.SceneIndex(), 2);
    EXPECT_TRUE(e.View() == before);  // the show skips a scene whose palette fails
    EXPECT_EQ(e.Message(), "1 行目にｴﾗｰがあります");
    e.Post({A::NextScene});
    expectScene(0);
    Do(e, {A::PreviousScene});
    EXPECT_EQ(e.SceneIndex(), 2);
    EXPECT_EQ(e.View().ViewWidth, 0.5);

    f.Folder.Write("bad.mrp", "T=MANDEL, Title=A, Cr=0, Ci=0, W=0\r\n");
    f.Options.SceneFile = f.Folder.PathOf("bad.mrp");
    TExplorer bad(f.Options);
    EXPECT_EQ(bad.OpenFailure(), f.Options.SceneFile + "\r\n1 行目にｴﾗｰがあったので読み込みを中止しました。\r\n"
                                                        "幅の値(W)は０より大きくなくてはいけません。");
    EXPECT_EQ(bad.View().Center.Re, -0.8);
    EXPECT_EQ(bad.SceneCount(), 0);
    Do(bad, {A::NextScene});
    EXPECT_EQ(bad.Message(), "no scene file");
}

// P walks the built-in palette and the folder's MCF files in name order, both
// ways; a bad file keeps the colours and is stepped over by the next P.
TEST(Explorer, PalettesStepThroughTheFolder) {
    TFixture f;
    f.Folder.Write("b.mcf", "000000\r\nFF0000\r\n");
    f.Folder.Write("a.mcf", "000000\r\n00FF00\r\n");
    f.Folder.Write("c-bad.mcf", "xyz\r\n");
    f.Folder.Write("notes.txt", "000000\r\n");
    f.Folder.Write("夕焼け.mcf", "000000\r\n0000FF\r\n");
    TExplorer e(f.Options);
    const struct {
        A action;
        const char* name;
        int32_t colour1;
    } steps[] = {
        {A::NextPalette, "a", 0x00FF00},     {A::NextPalette, "b", 0x0000FF},
        {A::NextPalette, "b", 0x0000FF},     // c-bad fails: the colours stay
        {A::NextPalette, "夕焼け", 0xFF0000}, {A::NextPalette, "", -1},
        {A::PreviousPalette, "夕焼け", 0xFF0000}, {A::PreviousPalette, "夕焼け", 0xFF0000},  // c-bad again
        {A::PreviousPalette, "b", 0x0000FF},
    };
    for (const auto& s : steps) {
        Do(e, {s.action});
        EXPECT_EQ(e.View().PaletteName, s.name);
        if (s.colour1 >= 0) {
            EXPECT_EQ(e.Engine().GetColorTable().at(1), s.colour1) << s.name;
        }
    }
    Do(e, {A::Keep});
    EXPECT_NE(ReadAll(f.Options.OutputFile).find(", MCF=b,"), std::string::npos);

    // A palette chosen by its name; P goes on from there. A name the folder
    // does not list is refused and the colours stay.
    TExplorerCommand choose{A::ChoosePalette};
    choose.Path = "夕焼け";
    Do(e, choose);
    EXPECT_EQ(e.View().PaletteName, "夕焼け");
    EXPECT_EQ(e.Engine().GetColorTable().at(1), 0xFF0000);
    Do(e, {A::PreviousPalette});  // c-bad
    Do(e, {A::PreviousPalette});
    EXPECT_EQ(e.View().PaletteName, "b");
    for (const char* name : {"missing", "../b", "notes"}) {
        choose.Path = name;
        Do(e, choose);
        EXPECT_EQ(e.View().PaletteName, "b") << name;
        EXPECT_EQ(e.Message(), std::string("no palette ") + name + " in " + e.PaletteFolder());
    }
    choose.Path = "";
    Do(e, choose);
    EXPECT_EQ(e.View().PaletteName, "");
    EXPECT_EQ(e.Engine().GetColorTable(), TMandel().GetColorTable());
}

// A scene file opened later: its scenes replace those there were, with the
// palette folder the front end names for it. One that fails leaves the
// scenes, the view and the palette folder as they were.
TEST(Explorer, OpeningASceneFileLater) {
    TFixture f;
    std::filesystem::create_directories(std::filesystem::u8path(f.Folder.PathOf("pal")));
    f.Folder.Write("pal/warm.mcf", "000000\r\n#GRAD 400000, FFC000, 20\r\n");
    const std::string palettes = f.Folder.PathOf("pal");
    std::vector<std::string> asked;
    f.Options.Palettes.reset();
    f.Options.PaletteFolderOf = [&](const std::string& file) {
        asked.push_back(file);
        return palettes;
    };
    TExplorer e(f.Options);
    EXPECT_EQ(asked, std::vector<std::string>{""});
    EXPECT_EQ(e.PaletteFolder(), palettes);
    EXPECT_EQ(e.SceneFile(), "");
    Settle(e);

    const std::string file = f.Folder.Write("tour.mrp",
                                            "T=MANDEL, Title=A, Cr=-0.75, Ci=0.1, W=0.5, I=300, MCF=warm, DM=6\r\n"
                                            "T=JULIA, Title=B, Cr=0, Ci=0, W=3, Jr=-0.8, Ji=0.156\r\n");
    TExplorerCommand open{A::OpenScenes};
    open.Path = file;
    Do(e, open);
    EXPECT_EQ(asked.back(), file);
    EXPECT_EQ(e.SceneFile(), file);
    EXPECT_EQ(e.OpenAttempts(), 1);
    EXPECT_EQ(e.OpenFailure(), "");
    EXPECT_EQ(e.SceneIndex(), 0);
    EXPECT_EQ(e.View().PaletteName, "warm");
    TMandel shown;
    EXPECT_EQ(testing::Pixels(e.Engine().GetBitmap()), [&] {
        TRecommendationList list;
        list.LoadFromFile(file);
        shown.SetWidth(kW);
        shown.SetHeight(kH);
        ApplyRecommendation(shown, list, 0, palettes, dmEmerge);
        shown.Draw();
        return testing::Pixels(shown.GetBitmap());
    }());
    Do(e, {A::NextScene});
    EXPECT_EQ(e.SceneIndex(), 1);
    const TExplorerView view = e.View();

    const struct {
        std::string file, failure;
    } failures[] = {
        // No scene: the text of a line error with the list's error fields,
        // those of a list that never failed.
        {f.Folder.Write("empty.mrp", "* only a comment\r\n"),
         f.Folder.PathOf("empty.mrp") + "\r\n0 行目にｴﾗｰがあったので読み込みを中止しました。\r\n"},
        {f.Folder.Write("bad.mrp", "T=MANDEL, Title=A, Cr=0, W=1\r\n"),
         f.Folder.PathOf("bad.mrp") + "\r\n1 行目にｴﾗｰがあったので読み込みを中止しました。\r\n"
                                      "中心の虚部の値(Ci)がありません。"},
        {f.Folder.PathOf("missing.mrp"), f.Folder.PathOf("missing.mrp") + "\r\nが見つかりません。"},
    };
    int64_t attempts = e.OpenAttempts();
    for (const auto& failure : failures) {
        open.Path = failure.file;
        Do(e, open);
        EXPECT_EQ(e.OpenAttempts(), ++attempts);
        EXPECT_EQ(e.OpenFailure(), failure.failure);
        EXPECT_EQ(e.Message(), "not opened: " + failure.file);
        EXPECT_EQ(e.SceneFile(), file);
        EXPECT_EQ(e.SceneCount(), 2);
        EXPECT_TRUE(e.View() == view);
        EXPECT_EQ(asked.back(), file);
    }
    Do(e, {A::NextScene});
    EXPECT_EQ(e.SceneIndex(), 0);
    open.Path = file;
    Do(e, open);
    EXPECT_EQ(e.OpenFailure(), "");
}

// Keeping names the scenes "Scene N" after those in the file, or the title
// given; a title that Shift-JIS cannot hold is refused and the file stays.
TEST(Explorer, KeepTitlesAndRefusals) {
    TFixture f;
    f.Folder.Write("kept.mrp", "T=MANDEL, Title=Old, Cr=0, Ci=0, W=1\r\nT=MANDEL, broken\r\n");
    {
        TExplorer e(f.Options);
        Do(e, {A::Keep});
        EXPECT_EQ(e.Message(), "kept Scene 3 in " + f.Options.OutputFile);
    }
    f.Options.Title = "夕焼け";
    {
        TExplorer e(f.Options);
        Do(e, {A::Keep});
        EXPECT_NE(ReadAll(f.Options.OutputFile).find("Title=\x97\x5b\x8f\xc4\x82\xaf,"), std::string::npos);
    }
    const std::string before = ReadAll(f.Options.OutputFile);
    for (const char* title : {"😀", "a,b", ""}) {
        f.Options.Title = title;
        TExplorer e(f.Options);
        Do(e, {A::Keep});
        EXPECT_EQ(e.Message().rfind("not kept: ", 0), 0u) << title << ": " << e.Message();
    }
    EXPECT_EQ(ReadAll(f.Options.OutputFile), before);
}

// On a machine of 128 MiB, whose pictures may take 64 MiB: a start size or a
// window beyond that gets the largest picture of its shape that fits, which
// is drawn; a window that fits again gets its own size.
TEST(Explorer, AWindowLargerThanTheMachineHoldsDrawsTheLargestPictureThatFits) {
    const TScopedPhysicalMemory memory(128 << 20);
    const TPictureBudget budget = TPictureBudget::ForMemory(128 << 20);
    TFixture f;
    f.Options.Width = 16384;
    f.Options.Height = 16384;
    TExplorer e(f.Options);
    EXPECT_TRUE(budget.Fits(e.Engine().GetWidth(), e.Engine().GetHeight(), true));
    EXPECT_EQ(e.Engine().GetWidth(), e.Engine().GetHeight());
    const int64_t before = e.CompletedPictures();
    e.Post({A::Resize, 8, 4});
    Settle(e);
    e.Post({A::Resize, 40000, 20000});
    Settle(e);
    const int32_t w = e.Engine().GetWidth(), h = e.Engine().GetHeight();
    EXPECT_TRUE(budget.Fits(w, h, true)) << w << "x" << h;
    EXPECT_FALSE(budget.Fits(w + 2, h + 1, true)) << w << "x" << h;
    EXPECT_LE(std::abs(w - 2 * h), 1) << w << "x" << h;
    EXPECT_EQ(e.Engine().GetBitmap().Width(), w);
    EXPECT_EQ(e.CompletedPictures(), before + 2);
    Do(e, {A::Resize, kW, kH});
    EXPECT_EQ(e.Engine().GetWidth(), kW);
}

// Tab and F1 show the status and the help over the picture at once, also in
// the middle of a draw, which goes on.
TEST(Explorer, TheStatusAndTheHelpTurnOnAndOffWithoutANewPicture) {
    TFixture f;
    TExplorer e(f.Options);
    Settle(e);
    const int64_t pictures = e.CompletedPictures();
    EXPECT_FALSE(e.StatusShown() || e.HelpShown());
    e.Post({A::ToggleStatus});
    EXPECT_TRUE(e.StatusShown());
    e.Post({A::ToggleHelp});
    e.Post({A::ToggleStatus});
    EXPECT_FALSE(e.StatusShown());
    EXPECT_TRUE(e.HelpShown());
    EXPECT_FALSE(e.HasWork());
    e.Post({A::DrawMode, 0, 0, 0, 0, 2});
    bool busyAfter = false;
    TScopedMessagePump pump([&] {
        e.Post({A::ToggleHelp});
        busyAfter = busyAfter || e.Engine().GetBusy();
    });
    Settle(e);
    EXPECT_TRUE(busyAfter);
    EXPECT_EQ(e.CompletedPictures(), pictures + 1);
}

// Z flies from the default view to the view shown, as the show would: the
// frames, at the clock's pace, are the show's frames of that journey (made
// here from keyframes an engine of the view draws), in order; the last is the
// picture of the view. Input ends the journey, inside a keyframe's draw too;
// the status and the help leave it be.
TEST(Explorer, ZFliesFromTheDefaultViewAndAnyInputEndsTheJourney) {
    TFixture f;
    TExplorer e(f.Options);
    Settle(e);
    for (int i = 0; i < 3; ++i) Do(e, {A::ZoomIn, 7, 20});
    const TExplorerView view = e.View();
    const std::vector<int32_t> still = testing::Pixels(e.Engine().GetBitmap());
    const TJourneyPlan plan(JourneyStartWidth(view.Kind, view.Power), view.ViewWidth, TExplorer::kJourneyFps, 15);
    std::vector<TBitmap> keyframes;
    TMandel m;
    m.SetWidth(kW);
    m.SetHeight(kH);
    ApplyView(m, view);
    for (int32_t k = 0; k < plan.Keyframes(); ++k) {
        m.SetViewWidth(plan.KeyframeWidth(k));
        m.Draw();
        keyframes.push_back(m.GetBitmap());
    }
    std::vector<std::vector<int32_t>> frames;
    TJourneyComposer composer;
    for (int32_t n = 0; n < plan.Frames(); ++n) {
        TBitmap frame;
        const int32_t k = plan.InnerKeyframe(n);
        composer.Compose(frame, keyframes[k], plan.NeedsOuter(n) ? &keyframes[k + 1] : nullptr, plan.Ratio(n));
        frames.push_back(testing::Pixels(frame));
    }

    const int64_t pictures = e.CompletedPictures();
    e.Post({A::Journey});
    ASSERT_TRUE(e.HasWork());
    int32_t at = 0, steps = 0;
    for (; e.HasWork() && steps < 10 * plan.Frames(); ++steps) {
        e.Step();
        if (!e.Journey()) break;
        if (steps == 5) e.Post({A::ToggleStatus});
        ASSERT_TRUE(e.Journey()) << "the status ended it";
        const std::vector<int32_t> shown = testing::Pixels(e.Picture());
        if (e.Journey()->Shown() > 0) {
            while (at < plan.Frames() && frames[at] != shown) ++at;
            ASSERT_LT(at, plan.Frames()) << "a picture that is not the next frames', step " << steps;
        }
        f.Clock += 1.0 / TExplorer::kJourneyFps;
    }
    // The last frame ends the journey in the step that shows it.
    EXPECT_EQ(at, plan.Frames() - 2);
    EXPECT_EQ(frames.back(), still);
    EXPECT_FALSE(e.Journey());
    EXPECT_FALSE(e.HasWork());
    EXPECT_TRUE(e.PictureComplete());
    EXPECT_EQ(e.CompletedPictures(), pictures + 1);
    EXPECT_EQ(testing::Pixels(e.Engine().GetBitmap()), still);
    EXPECT_EQ(e.Engine().GetViewWidth(), view.ViewWidth);
    EXPECT_TRUE(e.View() == view);

    // A key between frames: the journey ends, the key does its work.
    e.Post({A::Journey});
    e.Step();
    f.Clock += 0.5;
    e.Step();
    ASSERT_TRUE(e.Journey());
    e.Post({A::MoreIterations});
    Settle(e);
    EXPECT_FALSE(e.Journey());
    EXPECT_EQ(e.View().MaxIter, view.MaxIter * 3 / 2);
    EXPECT_EQ(e.Engine().GetViewWidth(), view.ViewWidth);
    // Inside a keyframe's draw: it stops at the end of its row, and the
    // picture there was comes back, complete.
    const std::vector<int32_t> before = testing::Pixels(e.Engine().GetBitmap());
    e.Post({A::Journey});
    int rows = 0;
    {
        TScopedMessagePump pump([&] {
            if (++rows == 3) e.Post({A::Back});
        });
        e.Step();
    }
    EXPECT_FALSE(e.Journey());
    EXPECT_TRUE(e.PictureComplete());
    EXPECT_EQ(testing::Pixels(e.Engine().GetBitmap()), before);
    Settle(e);
    EXPECT_TRUE(e.View() == view);
    EXPECT_EQ(testing::Pixels(e.Engine().GetBitmap()), still);
}

// The status line names the view, the state of the picture and the last message.
TEST(Explorer, StatusText) {
    TFixture f;
    TExplorer e(f.Options);
    f.Clock = 100.25;
    Settle(e);
    EXPECT_EQ(e.StatusText(),
              "Mandelbrot  Cr=-0.8 Ci=0  W=3  I=256  Pow=2  DM=4 interlaced  MCF=(built-in)  0.250 s");
    // Pixel (0, 0) of the default view is (-0.8 - 2.25, 1.5).
    e.Post({A::ToggleJulia, 0, 0});
    e.Post({A::DrawMode, 0, 0, 0, 0, 7});
    f.Clock = 101;
    Settle(e);
    EXPECT_EQ(e.StatusText(),
              "Julia  Cr=0 Ci=0  W=4  Jr=-3.05 Ji=1.5  I=256  Pow=2  DM=7 smooth relief  MCF=(built-in)  0.750 s");
    std::string inside;
    TScopedMessagePump pump([&] { inside = e.StatusText(); });
    Do(e, {A::Power, 0, 0, 0, 0, 3});
    EXPECT_EQ(inside, "Julia  Cr=0 Ci=0  W=4  Jr=-3.05 Ji=1.5  I=256  Pow=3  DM=7 smooth relief  MCF=(built-in)  drawing...");
    for (int i = 0; i < 4; ++i) Do(e, {A::Back});
    EXPECT_EQ(e.StatusText(), "Mandelbrot  Cr=-0.8 Ci=0  W=3  I=256  Pow=2  DM=4 interlaced  MCF=(built-in)  0.000 s  |  "
                              "no view before this one");
}

}  // namespace
}  // namespace nimbrel
