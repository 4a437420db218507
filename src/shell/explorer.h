// The explorer's logic: the view it shows, the way through views, the scenes
// it opens and keeps, and the order of things around a running draw.
//
// The front ends (apps/nimbrel-explore over SDL, src/win32's over Win32) turn
// input into commands by the table of shell/explorer_input.h, show the
// engine's bitmap with the status and the help when they are on, and run Step
// whenever there is work; everything the explorer decides is here.
//
// Threads and re-entrance: everything runs on the GUI thread. While Step draws,
// the engine yields after each row (and within long ones) to the application's
// message processing or to the front end's yield hook, so the front end's
// input handlers run inside the draw. They call Post, which only
// queues the command and, for a command that changes the picture, clears the
// engine's Busy (the draw then ends at the end of its row). The queued
// commands run, and the next picture is set up, only after the draw has
// unwound: keeping a view or writing the picture during a draw waits for the
// picture to be complete.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/mandel_class.h"
#include "platform/application.h"
#include "platform/yield_hook.h"
#include "scene/URecommendation.h"
#include "shell/journey.h"
#include "values/fractal_types.h"
#include "values/view.h"

namespace nimbrel {

// Everything that decides a picture besides its size: the view, and how it
// is iterated, drawn and coloured.
struct TExplorerView : TView {
    int32_t MaxIter = 0;
    int32_t ColorStep = 1;
    uint8_t DrawMode = dmNormal;  // as the engine numbers them
    // The options of the shaded modes 5..8.
    uint8_t PotentialVariant = 0;
    uint8_t BrightnessFold = 0;
    uint8_t InvertBrightness = 0;
    uint8_t ShadingFunction = 0;
    double EscapeRadius = 2;
    double ScaleExponent = 0;
    // The palette: the name of its file in the palette folder (UTF-8, without
    // ".mcf"; empty for the built-in one) and its colours.
    std::string PaletteName;
    std::shared_ptr<const TPaletteArray> Colors;

    bool operator==(const TExplorerView& Other) const;
};

// The view the engine holds (the palette name is not the engine's: empty).
TExplorerView ViewOfEngine(const TMandel& Mandel);
// Puts View into the engine: the view, iteration limit, colour step, draw
// mode and options, colours. Not inside a draw.
void ApplyView(TMandel& Mandel, const TExplorerView& View);

enum class TExplorerAction : uint8_t {
    ZoomIn,           // by 2, the point under pixel (X, Y) staying where it is
    ZoomOut,          // by 2, the same
    Pan,              // the picture moved by (X, Y) pixels
    ZoomRect,         // into the rectangle of pixels (X, Y) - (X2, Y2)
    Back,             // the view seen before
    Home,             // the whole Mandelbrot set, power 2, 256 iterations
    Journey,          // the flight from the default view of the kind and power to this one, as the show zooms
    ToggleJulia,      // Mandelbrot: the Julia set of the point under (X, Y); Julia: back
    DrawMode,         // Value: the stored number 0..8
    MoreIterations,   // the iteration limit times 1.5
    FewerIterations,  // divided by 1.5
    NextPalette,
    PreviousPalette,
    ChoosePalette,    // Path: the name of a palette of the folder; empty: the built-in one
    Power,            // Value: 2..5
    NextScene,
    PreviousScene,
    OpenScenes,       // Path: a scene file (UTF-8), shown from its first scene
    Resize,           // the picture becomes X x Y pixels, or the largest of that shape that fits
    Keep,             // appends the view to the output file
    WritePicture,     // the complete picture as a PNG file: Path, or beside the output file
    ToggleStatus,     // the status over the picture, on or off
    ToggleHelp,       // the help over the picture, on or off
    Quit,
};

struct TExplorerCommand {
    TExplorerAction Action = TExplorerAction::Home;
    int32_t X = 0;
    int32_t Y = 0;
    int32_t X2 = 0;
    int32_t Y2 = 0;
    int32_t Value = 0;
    std::string Path{};
};

struct TExplorerOptions {
    std::string SceneFile;                 // UTF-8; empty: start at the default view
    std::optional<std::string> Palettes;   // the palette folder of every scene file; default: PaletteFolderOf
    // The palette folder of a scene file (empty: none) when Palettes names
    // none; without it, the scene file's folder, or ".".
    std::function<std::string(const std::string& SceneFile)> PaletteFolderOf;
    std::string OutputFile = "scenes.mrp";
    std::optional<std::string> Title;      // UTF-8; default "Scene N"
    TDrawMode DefaultDrawMode = dmEmerge;  // the draw mode of scenes that name none, and the first one
    int32_t Width = 960;
    int32_t Height = 540;
    // Seconds on any steady clock; the default is the system's.
    std::function<double()> Clock;
    // Writes a picture as a PNG file; answers false with the reason. Without
    // it, WritePicture says that it cannot.
    std::function<bool(const std::string& Path, const TBitmap& Picture, std::string& Error)> WritePng;
};

class TExplorer {
public:
    // Opens the scene file, if any, and starts at its first scene; a file that
    // fails leaves OpenFailure with the show's text and starts at the default
    // view. Installs its error box (messages go to standard error and to the
    // status) for its lifetime.
    explicit TExplorer(TExplorerOptions Options);
    ~TExplorer();
    TExplorer(const TExplorer&) = delete;
    TExplorer& operator=(const TExplorer&) = delete;

    // The text of the last scene file that failed to open (the show's), or
    // empty when the last one opened; OpenAttempts counts the files tried.
    const std::string& OpenFailure() const { return openFailure_; }
    int64_t OpenAttempts() const { return openAttempts_; }
    // The scene file whose scenes PageDown and PageUp step through (UTF-8);
    // empty for none.
    const std::string& SceneFile() const { return sceneFile_; }
    const TMandel& Engine() const { return *engine_; }
    // What the engine calls between the pieces of a draw (engine/mandel_class.h);
    // not owned; nullptr: the application's message processing.
    void SetYieldHook(TYieldHook* Hook) { engine_->SetYieldHook(Hook); }
    const TExplorerView& View() const { return view_; }
    const std::string& PaletteFolder() const { return palettes_; }

    // Input; may be called from inside a draw (see the top of this file).
    // The status and the help over the picture change at once, without a
    // new picture.
    void Post(const TExplorerCommand& Command);
    bool StatusShown() const { return statusShown_; }
    bool HelpShown() const { return helpShown_; }
    // Whether Step has something to do: queued commands, or a picture that is
    // neither complete nor failed; never after Quit.
    bool HasWork() const;
    // Outside any draw: runs the queued commands in order, then draws the
    // picture if it is not complete. Answers false once Quit has run.
    bool Step();

    // The picture to show: while a journey flies, the frame due now, composed
    // here from keyframes already drawn (a front end asks for it between the
    // rows of a keyframe's draw as well), or the picture shown before the
    // journey until its first frame; otherwise the engine's bitmap.
    const TBitmap& Picture();
    // The journey under way, or null. It flies at kJourneyFps frames a second
    // and the show's default speed, at the picture's size, ends on exactly
    // the picture of the view, and any command but the status's and the
    // help's ends it (and then runs).
    const TJourney* Journey() const { return journey_.get(); }
    static constexpr int32_t kJourneyFps = 60;

    bool Drawing() const { return drawing_; }
    bool PictureComplete() const { return complete_; }
    // The number of pictures drawn to the end so far.
    int64_t CompletedPictures() const { return completedPictures_; }
    // Seconds from the command that asked for the last complete picture to
    // its end; negative before the first.
    double LastPictureSeconds() const { return lastSeconds_; }
    // The status line: kind, centre, width, Julia constant, iterations, power,
    // draw mode, palette, the scene, the state or time of the picture, and the
    // message of the last command.
    std::string StatusText() const;
    // The message of the last command that had one ("kept ..."), or empty.
    const std::string& Message() const { return message_; }

    // Index of the scene shown last (-1: none) and the number of scenes.
    int32_t SceneIndex() const { return sceneIndex_; }
    int32_t SceneCount() const { return scenes_.Count(); }

    // The plane point of pixel (X, Y) of the picture, as the draw methods
    // take it.
    TComplexPoint PointAt(int32_t X, int32_t Y) const;

    // The palettes of the palette folder, by name (UTF-8, without ".mcf"), in
    // the order P steps through them.
    std::vector<std::string> PaletteNames() const;

private:
    class TStatusErrorBox;
    struct TQueued {
        TExplorerCommand Command;
        double Time;
    };

    double Now() const;
    // The engine's mapping of the shown view at the picture's size.
    TViewMapping Mapping() const;
    void Execute(const TQueued& Queued);
    // Makes View the shown view: history, engine, a picture to draw.
    void Show(TExplorerView View, double Time, bool Remember = true);
    // The old picture moved and scaled to View as a preview, while the new
    // one builds up over it.
    void PreviewMove(const TExplorerView& View);
    // The same where either view is deep, from their exact values.
    void PreviewDeepMove(const TExplorerView& View, int32_t Width, int32_t Height);
    void Zoom(int32_t X, int32_t Y, double Factor, double Time);
    void ShowScene(int32_t Index, double Time);
    // Loads File as the scene list; a failure keeps the scenes there were.
    bool LoadSceneFile(const std::string& File);
    void OpenScenes(const std::string& File, double Time);
    std::string PaletteFolderFor(const std::string& SceneFile) const;
    void StepPalette(int Direction, double Time);
    void SetPalette(const std::string& Name, double Time);
    void Keep();
    void WritePicture(const std::string& Path);
    void DrawPicture();
    void StartJourney(double Time);
    // Draws the next keyframe the journey wants, if any, and ends a journey
    // that has shown its last frame.
    void JourneyStep();
    // The frames due by the clock, in order; a frame whose keyframes are not
    // there yet holds.
    void AdvanceJourney();
    // Back to the view's own width; Complete: the engine holds its picture.
    void EndJourney(bool Complete);
    // The default centre and width of a kind and power.
    static void ResetPosition(TExplorerView& View);

    TExplorerOptions options_;
    std::unique_ptr<TStatusErrorBox> box_;
    std::unique_ptr<TScopedErrorBox> installedBox_;
    std::unique_ptr<TMandel> engine_;
    std::shared_ptr<const TPaletteArray> builtInColors_;
    std::string palettes_;
    std::string openFailure_;
    int64_t openAttempts_ = 0;
    std::string sceneFile_;
    TRecommendationList scenes_;
    int32_t sceneIndex_ = -1;
    bool onScene_ = false;

    TExplorerView view_;
    std::vector<TExplorerView> history_;
    // The Mandelbrot view that J left, for the way back.
    std::optional<TExplorerView> mandelbrotOrigin_;
    // The palette that P tried last, failed or not.
    std::string paletteCursor_;

    std::deque<TQueued> queue_;
    bool drawing_ = false;
    bool complete_ = false;
    bool failed_ = false;
    bool quitting_ = false;
    double requestTime_ = 0;
    double lastSeconds_ = -1;
    int64_t completedPictures_ = 0;
    std::string message_;
    bool statusShown_ = false;
    bool helpShown_ = false;

    std::unique_ptr<TJourney> journey_;
    double journeyStart_ = 0;
    int64_t journeyTicks_ = 0;  // frame times passed, each a frame shown or held
    bool journeyCancelled_ = false;
    TBitmap frame_;
    TBitmap before_;  // the engine's picture when the journey started
    bool beforeComplete_ = false;
};

}  // namespace nimbrel
