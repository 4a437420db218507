// nimbrel-web: the explorer in a browser. The page's worker
// (web/engine-worker.js) loads this module, writes the scene sets and
// palettes into its file system and calls the functions below: input becomes
// the explorer's commands by the same table the other front ends use
// (shell/explorer_input.h), views reach it as links (shell/view_link.h), and
// the worker runs Step whenever there is work.
//
// Between the rows of a draw the engine calls the yield hook, which calls the
// worker's nimbrelYield: it takes the input that has come meanwhile (when the
// page shares memory with the worker) and shows the picture as it grows.
#include <emscripten/emscripten.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "engine/mandel_class.h"
#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "platform/text_file.h"
#include "scene/URecommendation.h"
#include "scene/scene_writer.h"
#include "shell/explorer.h"
#include "shell/explorer_input.h"
#include "shell/view_link.h"

namespace nimbrel {
namespace {

EM_JS(void, CallWorkerYield, (), { if (typeof nimbrelYield === 'function') nimbrelYield(); });

class TWebYield : public TYieldHook {
public:
    void OnYield() override { CallWorkerYield(); }
};

// Where the worker puts the files, in the module's file system.
const char* const kPalettes = "/site/palettes";
const char* const kLinkFile = "/work/link.mrp";
const char* const kKeptFile = "/work/kept.mrp";

struct TWebExplorer {
    std::unique_ptr<TExplorer> Explorer;
    TWebYield Yield;
    std::string Text;  // the answer of the last call that answers text
    // The figures of the picture under way.
    uint64_t PictureIterations = 0;
    bool NewPicture = true;
    // The scene set PageDown and PageUp step through, and the scene shown.
    TRecommendationList Scenes;
    int32_t SceneIndex = -1;
    // Whether the view shown came from the set (opened or stepped to), not
    // from a link.
    bool FromSet = false;
};

TWebExplorer& Web() {
    static TWebExplorer web;
    return web;
}

const char* Answer(std::string text) {
    Web().Text = std::move(text);
    return Web().Text.c_str();
}

// Shows the scene line Line (code page 932) as the explorer opens a scene
// file: from the default view, iterations and built-in palette, so that the
// picture is the one the line gives on a fresh engine.
void ShowLine(const std::string& Line) {
    {
        std::ofstream out(kLinkFile, std::ios::binary | std::ios::trunc);
        out << Line << "\r\n";
    }
    TExplorer& explorer = *Web().Explorer;
    explorer.Post({TExplorerAction::Home});
    explorer.Post({TExplorerAction::ChoosePalette});
    TExplorerCommand open{TExplorerAction::OpenScenes};
    open.Path = kLinkFile;
    explorer.Post(open);
    Web().NewPicture = true;
}

}  // namespace
}  // namespace nimbrel

using namespace nimbrel;

extern "C" {

// Starts the explorer at Width x Height pixels on the default view.
EMSCRIPTEN_KEEPALIVE void nw_start(int Width, int Height) {
    TExplorerOptions options;
    options.Palettes = kPalettes;
    options.OutputFile = kKeptFile;
    options.Width = Width;
    options.Height = Height;
    Web().Explorer = std::make_unique<TExplorer>(std::move(options));
    Web().Explorer->SetYieldHook(&Web().Yield);
    Web().NewPicture = true;
}

// An input by the explorer's table (shell/explorer_input.h): Gesture and Key
// as TExplorerGesture and TExplorerKey number them, at picture pixel (X, Y),
// a drag to (X2, Y2). Answers whether it posted a command.
EMSCRIPTEN_KEEPALIVE int nw_input(int Gesture, int Key, int Shift, int X, int Y, int X2, int Y2) {
    TExplorerInput input;
    input.Gesture = static_cast<TExplorerGesture>(Gesture);
    input.Key = static_cast<TExplorerKey>(Key);
    input.Shift = Shift != 0;
    const std::optional<TExplorerCommand> command = ExplorerCommandFor(input, X, Y, X2, Y2);
    if (!command) return 0;
    Web().Explorer->Post(*command);
    Web().NewPicture = true;
    return 1;
}

// A command of its own: Action as TExplorerAction numbers it.
EMSCRIPTEN_KEEPALIVE void nw_post(int Action, int X, int Y, int X2, int Y2, int Value, const char* Path) {
    TExplorerCommand command{static_cast<TExplorerAction>(Action), X, Y, X2, Y2, Value, Path ? Path : ""};
    Web().Explorer->Post(command);
    Web().NewPicture = true;
}

// Shows the view of a link (the fragment, UTF-8); answers empty, or the
// reason the link is refused (the view stays).
EMSCRIPTEN_KEEPALIVE const char* nw_show_link(const char* Fragment) {
    try {
        const std::string line = SceneLineOfLink(Fragment);
        (void)ParseViewLink(Fragment);
        ShowLine(line);
        Web().FromSet = false;
        return Answer("");
    } catch (const std::exception& error) {
        return Answer(error.what());
    }
}

// The scene file File becomes the set the scenes step through, shown from
// scene Index; answers empty or the show's text of its failure.
EMSCRIPTEN_KEEPALIVE const char* nw_open_scenes(const char* File, int Index) {
    TRecommendationList list;
    try {
        list.LoadScenes(File);
    } catch (const EAbort&) {
        return Answer(list.LoadFailureText(File));
    } catch (const std::exception& error) {
        return Answer(error.what());
    }
    Web().Scenes = std::move(list);
    Web().SceneIndex = -1;
    const int32_t count = Web().Scenes.Count();
    Web().SceneIndex = ((Index % count) + count) % count;
    try {
        ShowLine(FormatRecommendation(Web().Scenes.Item(Web().SceneIndex)));
    } catch (const std::exception& error) {
        return Answer(error.what());
    }
    Web().FromSet = true;
    return Answer("");
}

// The next (Step 1) or previous (-1) scene of the set.
EMSCRIPTEN_KEEPALIVE const char* nw_step_scene(int Step) {
    const int32_t count = Web().Scenes.Count();
    if (count == 0) return Answer("no scenes");
    Web().SceneIndex = (((Web().SceneIndex + Step) % count) + count) % count;
    try {
        ShowLine(FormatRecommendation(Web().Scenes.Item(Web().SceneIndex)));
    } catch (const std::exception& error) {
        return Answer(error.what());
    }
    Web().FromSet = true;
    return Answer("");
}

// The index of the set's scene shown, or -1 (a link's view is shown).
EMSCRIPTEN_KEEPALIVE int nw_scene_index() { return Web().FromSet ? Web().SceneIndex : -1; }
EMSCRIPTEN_KEEPALIVE int nw_scene_count() { return Web().Scenes.Count(); }

EMSCRIPTEN_KEEPALIVE int nw_has_work() { return Web().Explorer->HasWork() ? 1 : 0; }

// Runs the queued commands and draws the picture (the yield hook runs
// between its rows). Answers 1 while there is work.
EMSCRIPTEN_KEEPALIVE int nw_step() {
    TWebExplorer& web = Web();
    if (web.NewPicture) {
        web.NewPicture = false;
        web.PictureIterations = 0;
    }
    // A draw may start its figures afresh (a deep one does): what the engine
    // counted during this step is the difference, or all it has.
    const uint64_t before = web.Explorer->Engine().Stats.Iterations;
    web.Explorer->Step();
    const uint64_t after = web.Explorer->Engine().Stats.Iterations;
    web.PictureIterations += after >= before ? after - before : after;
    if (web.Explorer->PictureComplete()) web.NewPicture = true;
    return web.Explorer->HasWork() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int nw_complete() { return Web().Explorer->PictureComplete() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int nw_drawing() { return Web().Explorer->Drawing() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE double nw_seconds() { return Web().Explorer->LastPictureSeconds(); }
EMSCRIPTEN_KEEPALIVE double nw_iterations() {
    return static_cast<double>(Web().PictureIterations);
}
EMSCRIPTEN_KEEPALIVE int nw_threads() { return Web().Explorer->Engine().GetThreadCount(); }
EMSCRIPTEN_KEEPALIVE double nw_completed() { return static_cast<double>(Web().Explorer->CompletedPictures()); }

// The link of the view shown (without "#").
EMSCRIPTEN_KEEPALIVE const char* nw_link() {
    const TExplorer& explorer = *Web().Explorer;
    try {
        std::string mcf;
        if (!explorer.View().PaletteName.empty()) mcf = EncodeCp932(explorer.View().PaletteName);
        return Answer(FormatViewLink(CaptureRecommendation(explorer.Engine(), std::string(kLinkTitle), mcf)));
    } catch (const std::exception&) {
        return Answer("");
    }
}

EMSCRIPTEN_KEEPALIVE const char* nw_status() { return Answer(Web().Explorer->StatusText()); }
EMSCRIPTEN_KEEPALIVE const char* nw_message() { return Answer(Web().Explorer->Message()); }
EMSCRIPTEN_KEEPALIVE const char* nw_palette_names() {
    std::string names;
    for (const std::string& name : Web().Explorer->PaletteNames()) names += name + "\n";
    return Answer(names);
}
EMSCRIPTEN_KEEPALIVE const char* nw_palette() { return Answer(Web().Explorer->View().PaletteName); }
EMSCRIPTEN_KEEPALIVE int nw_draw_mode() { return DrawModeToStored(Web().Explorer->View().DrawMode); }
EMSCRIPTEN_KEEPALIVE int nw_power() { return Web().Explorer->View().Power; }
EMSCRIPTEN_KEEPALIVE int nw_max_iter() { return Web().Explorer->View().MaxIter; }

// The picture to show, and its size: Rgba receives Width x Height pixels of
// four bytes (red, green, blue, 255), as a canvas takes them.
EMSCRIPTEN_KEEPALIVE int nw_picture_width() { return Web().Explorer->Picture().Width(); }
EMSCRIPTEN_KEEPALIVE int nw_picture_height() { return Web().Explorer->Picture().Height(); }
EMSCRIPTEN_KEEPALIVE void nw_picture_rgba(uint8_t* Rgba, int Width, int Height) {
    const TBitmap& picture = Web().Explorer->Picture();
    if (picture.Width() != Width || picture.Height() != Height) return;
    for (int32_t y = 0; y < Height; ++y) {
        const uint32_t* row = picture.Scanline(y);
        uint8_t* out = Rgba + static_cast<std::size_t>(y) * Width * 4;
        for (int32_t x = 0; x < Width; ++x) {
            const uint32_t p = row[x];
            out[4 * x] = static_cast<uint8_t>(p >> 16);
            out[4 * x + 1] = static_cast<uint8_t>(p >> 8);
            out[4 * x + 2] = static_cast<uint8_t>(p);
            out[4 * x + 3] = 255;
        }
    }
}

}  // extern "C"

int main() { return 0; }
