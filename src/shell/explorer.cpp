#include "shell/explorer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <thread>

#include "engine/picture_budget.h"
#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "platform/sysutils.h"
#include "platform/text_file.h"
#include "scene/Hmcfr.h"
#include "scene/scene_apply.h"
#include "scene/exact_numbers.h"
#include "scene/scene_writer.h"
#include "values/deep_coordinates.h"
#include "shell/URegistry.h"

namespace nimbrel {

namespace {

// The first line of a scene file that the explorer starts.
const char* const kNewFileComment = "* Scenes kept with nimbrel-explore. One scene a line; see docs/formats.md.";

// The views worth going back to; older ones are forgotten.
constexpr std::size_t kHistoryLength = 1000;
// How far zooming goes: in, until the centre would need more digits than a
// view keeps (values/deep_coordinates.h); out, until the whole set is a dot.
constexpr double kMaxViewWidth = 1e6;
constexpr int64_t kMinWidthLog2 = 128 - kMaxCoordinateBits;

// Whether a move from View to a view of height Width is made with every
// digit: the view keeps digits already, or the new one needs them.
bool MovesExactly(const TView& View, const TFloatExp& Width) {
    return View.Deep || WantsDigits(Width, MagnitudeLog2(View));
}

// A height the explorer goes to.
bool WithinReach(const TFloatExp& Width) {
    return Width > TFloatExp() && Width.Log2() >= kMinWidthLog2 && Width.ToDouble() <= kMaxViewWidth;
}

// The first digits of a coordinate of a deep view, for the status line:
// every digit would fill the screen (and take long to write at depth).
std::string Leading(const TBigReal& X) {
    const std::string text = X.ToString(20);
    return X.Precision() > 64 ? text + "..." : text;
}

// The picture of a size, or the largest of its shape that this machine
// holds in any draw mode (engine/picture_budget.h).
TPictureSize FittingSize(int32_t Width, int32_t Height) {
    return TPictureBudget::OfMachine().Largest(Width, Height, true);
}

bool IsFinite(const TComplexPoint& p) { return std::isfinite(p.Re) && std::isfinite(p.Im); }

std::string Number(double Value) {
    try {
        return FloatToShortestStr(Value);
    } catch (const EConvertError&) {
        return std::isnan(Value) ? "nan" : (Value > 0 ? "inf" : "-inf");
    }
}

std::string ReadFileBytes(const std::string& FileName) {
    if (!FileExists(FileName)) return {};
    try {
        std::ifstream in = OpenInputFile(FileName);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const EInOutError&) {
        return {};
    }
}

bool EndsWithMcf(const std::string& Name) {
    if (Name.size() < 4) return false;
    const std::string tail = Name.substr(Name.size() - 4);
#ifdef _WIN32
    return UpperCase(tail) == ".MCF";  // the system's names ignore case
#else
    return tail == ".mcf";  // the show asks for exactly this extension
#endif
}

}  // namespace

// Messages of the palettes and of the engine: standard error, and the status.
class TExplorer::TStatusErrorBox : public TErrorBox {
public:
    explicit TStatusErrorBox(TExplorer& owner) : owner_(owner) {}
    void ShowError(const std::string& text) override {
        std::fprintf(stderr, "%s\n", text.c_str());
        owner_.message_ = text;
    }
    void ShowException(const std::string& title, const std::string& text) override {
        std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
        owner_.message_ = text;
    }

private:
    TExplorer& owner_;
};

bool TExplorerView::operator==(const TExplorerView& o) const {
    return static_cast<const TView&>(*this) == o && MaxIter == o.MaxIter && ColorStep == o.ColorStep &&
           DrawMode == o.DrawMode &&
           PotentialVariant == o.PotentialVariant && BrightnessFold == o.BrightnessFold &&
           InvertBrightness == o.InvertBrightness && ShadingFunction == o.ShadingFunction &&
           EscapeRadius == o.EscapeRadius && ScaleExponent == o.ScaleExponent && PaletteName == o.PaletteName &&
           Colors == o.Colors;
}

TExplorerView ViewOfEngine(const TMandel& Mandel) {
    TExplorerView view;
    static_cast<TView&>(view) = Mandel.GetView();
    view.MaxIter = Mandel.GetMaxIter();
    view.ColorStep = Mandel.GetColorStep();
    view.DrawMode = Mandel.DrawMode;
    view.PotentialVariant = Mandel.PotentialVariant;
    view.BrightnessFold = Mandel.BrightnessFold;
    view.InvertBrightness = Mandel.InvertBrightness;
    view.ShadingFunction = Mandel.ShadingFunction;
    view.EscapeRadius = Mandel.GetEscapeRadius();
    view.ScaleExponent = Mandel.GetScaleExponent();
    view.Colors = std::make_shared<const TPaletteArray>(Mandel.GetColorTable());
    return view;
}

void ApplyView(TMandel& Mandel, const TExplorerView& View) {
    Mandel.SetView(View);
    Mandel.SetMaxIter(View.MaxIter);
    Mandel.SetColorStep(View.ColorStep);
    Mandel.DrawMode = View.DrawMode;
    Mandel.PotentialVariant = View.PotentialVariant;
    Mandel.BrightnessFold = View.BrightnessFold;
    Mandel.InvertBrightness = View.InvertBrightness;
    Mandel.ShadingFunction = View.ShadingFunction;
    Mandel.SetEscapeRadius(View.EscapeRadius);
    Mandel.SetScaleExponent(View.ScaleExponent);
    if (View.Colors && Mandel.GetColorTable() != *View.Colors) Mandel.SetColorTable(*View.Colors);
}

TExplorer::TExplorer(TExplorerOptions Options)
    : options_(std::move(Options)),
      box_(std::make_unique<TStatusErrorBox>(*this)),
      installedBox_(std::make_unique<TScopedErrorBox>(*box_)),
      engine_(std::make_unique<TMandel>()) {
    const TPictureSize size = FittingSize(options_.Width, options_.Height);
    engine_->SetWidth(size.Width);
    engine_->SetHeight(size.Height);
    engine_->DrawMode = options_.DefaultDrawMode;
    view_ = ViewOfEngine(*engine_);
    builtInColors_ = view_.Colors;
    palettes_ = PaletteFolderFor(options_.SceneFile);
    requestTime_ = Now();
    if (options_.SceneFile.empty() || !LoadSceneFile(options_.SceneFile)) return;
    ShowScene(0, requestTime_);
    history_.clear();
}

TExplorer::~TExplorer() = default;

std::string TExplorer::PaletteFolderFor(const std::string& SceneFile) const {
    if (options_.Palettes) return *options_.Palettes;
    if (options_.PaletteFolderOf) return options_.PaletteFolderOf(SceneFile);
    // The folder of the scene file; a bare file name lies in the current folder.
    const std::string folder = PathToUtf8(std::filesystem::u8path(SceneFile).parent_path());
    return folder.empty() ? std::string(".") : folder;
}

bool TExplorer::LoadSceneFile(const std::string& File) {
    ++openAttempts_;
    try {
        scenes_.LoadScenes(File);
    } catch (const EAbort&) {
        openFailure_ = scenes_.LoadFailureText(File);
        return false;
    } catch (const std::exception& error) {
        openFailure_ = error.what();
        return false;
    }
    openFailure_.clear();
    sceneFile_ = File;
    sceneIndex_ = -1;
    return true;
}

void TExplorer::OpenScenes(const std::string& File, double Time) {
    if (!LoadSceneFile(File)) {
        // The scenes there were stay, and so does the view.
        message_ = "not opened: " + File;
        return;
    }
    palettes_ = PaletteFolderFor(File);
    ShowScene(0, Time);
}

double TExplorer::Now() const {
    if (options_.Clock) return options_.Clock();
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void TExplorer::Post(const TExplorerCommand& Command) {
    if (Command.Action == TExplorerAction::ToggleStatus || Command.Action == TExplorerAction::ToggleHelp) {
        bool& shown = Command.Action == TExplorerAction::ToggleStatus ? statusShown_ : helpShown_;
        shown = !shown;
        return;
    }
    const bool changesPicture =
        Command.Action != TExplorerAction::Keep && Command.Action != TExplorerAction::WritePicture;
    queue_.push_back({Command, Now()});
    // Any input ends a journey: its keyframe's draw stops at the end of the row.
    if (journey_) journeyCancelled_ = true;
    if ((changesPicture || journey_) && drawing_) engine_->SetBusy(false);
}

bool TExplorer::HasWork() const {
    return !quitting_ && (!queue_.empty() || journey_ || (!complete_ && !failed_));
}

const TBitmap& TExplorer::Picture() {
    if (!journey_) return engine_->GetBitmap();
    if (!journeyCancelled_) AdvanceJourney();
    return frame_;
}

void TExplorer::StartJourney(double Time) {
    EndJourney(false);
    const TJourneyPlan plan(JourneyStartWidth(view_.Kind, view_.Power), view_.ViewWidth, kJourneyFps,
                            kDefaultZoomSpeed);
    // Until the first frame, the picture there was; it is back if the
    // journey is cut short.
    before_ = engine_->GetBitmap();
    beforeComplete_ = complete_;
    frame_ = before_;
    journey_ = std::make_unique<TJourney>(plan, 3, engine_->GetSimdLevel());
    journeyStart_ = Time;
    journeyTicks_ = 0;
    journeyCancelled_ = false;
    requestTime_ = Time;
}

void TExplorer::AdvanceJourney() {
    const double elapsed = Now() - journeyStart_;
    const auto due = static_cast<int64_t>(std::floor(std::max(0.0, elapsed) * kJourneyFps)) + 1;
    while (journeyTicks_ < due && !journey_->Finished()) {
        ++journeyTicks_;
        journey_->NextFrame(frame_);
    }
}

void TExplorer::JourneyStep() {
    const int32_t keyframe = journey_->NextKeyframe();
    if (keyframe >= 0) {
        engine_->SetViewWidth(journey_->Plan().KeyframeWidth(keyframe));
        drawing_ = true;
        try {
            engine_->Draw();
            journey_->AddKeyframe(keyframe, engine_->GetBitmap());
        } catch (const EAbort&) {
            // Cancelled by input, which is queued; without any the engine gave
            // up, and the view's own picture fails the same way.
            if (!journeyCancelled_) failed_ = true;
            journeyCancelled_ = true;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "%s\n", error.what());
            message_ = error.what();
            failed_ = true;
            journeyCancelled_ = true;
        }
        drawing_ = false;
    }
    if (journeyCancelled_) {
        EndJourney(false);
        return;
    }
    AdvanceJourney();
    if (journey_->Finished()) {
        // The last frame is keyframe 0, the engine's picture of the view.
        EndJourney(true);
        lastSeconds_ = Now() - requestTime_;
        ++completedPictures_;
        return;
    }
    if (keyframe < 0 && !options_.Clock) {
        // Nothing to draw until a frame has used a keyframe: wait for the next frame time.
        const double next = journeyStart_ + static_cast<double>(journeyTicks_) / kJourneyFps;
        const double wait = std::clamp(next - Now(), 0.0, 1.0 / kJourneyFps);
        std::this_thread::sleep_for(std::chrono::duration<double>(wait));
    }
}

void TExplorer::EndJourney(bool Complete) {
    if (!journey_) return;
    journey_.reset();
    journeyCancelled_ = false;
    frame_ = TBitmap();
    engine_->SetViewWidth(view_.ViewWidth);
    if (!Complete) engine_->GetBitmap() = std::move(before_);
    before_ = TBitmap();
    complete_ = Complete || beforeComplete_;
}

bool TExplorer::Step() {
    if (quitting_) return false;
    if (journey_ && journeyCancelled_) EndJourney(false);
    while (!queue_.empty()) {
        const TQueued queued = queue_.front();
        queue_.pop_front();
        Execute(queued);
        if (quitting_) {
            queue_.clear();
            return false;
        }
    }
    if (journey_)
        JourneyStep();
    else if (!complete_ && !failed_)
        DrawPicture();
    return !quitting_;
}

void TExplorer::DrawPicture() {
    drawing_ = true;
    try {
        engine_->Draw();
        complete_ = true;
        ++completedPictures_;
        lastSeconds_ = Now() - requestTime_;
    } catch (const EAbort&) {
        // Cancelled by a command, which is queued; without one the engine
        // itself gave up, and drawing again would give up again.
        if (queue_.empty()) failed_ = true;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        message_ = error.what();
        failed_ = true;
    }
    drawing_ = false;
}

TViewMapping TExplorer::Mapping() const {
    return TViewMapping::Of(view_, engine_->GetWidth(), engine_->GetHeight());
}

TComplexPoint TExplorer::PointAt(int32_t X, int32_t Y) const { return Mapping().Point(X, Y); }

void TExplorer::ResetPosition(TExplorerView& View) {
    // The engine's own defaults for the kind and power.
    TMandel defaults;
    if (View.Kind == fkJulia) defaults.SwitchKind();
    defaults.SetPower(View.Power);
    defaults.ResetView();
    View.Center = defaults.GetCenter();
    View.ViewWidth = defaults.GetViewWidth();
    View.Deep = nullptr;
}

void TExplorer::Show(TExplorerView View, double Time, bool Remember) {
    onScene_ = false;
    if (View == view_) return;
    if (Remember) {
        history_.push_back(view_);
        if (history_.size() > kHistoryLength) history_.erase(history_.begin());
    }
    PreviewMove(View);
    view_ = std::move(View);
    ApplyView(*engine_, view_);
    complete_ = false;
    failed_ = false;
    requestTime_ = Time;
}

void TExplorer::PreviewMove(const TExplorerView& View) {
    // Only a move or a zoom within one set keeps anything of the old picture.
    TView old = view_;
    old.Center = View.Center;
    old.ViewWidth = View.ViewWidth;
    if (view_.Deep || View.Deep) {
        if (View.Kind != view_.Kind || View.Power != view_.Power) return;
        if (View.Kind == fkJulia) {
            const TDeepView a = ExactParts(view_), b = ExactParts(View);
            if (!(a.JuliaRe == b.JuliaRe && a.JuliaIm == b.JuliaIm)) return;
        }
    } else if (!(static_cast<const TView&>(View) == old)) {
        return;
    }
    TBitmap& bitmap = engine_->GetBitmap();
    const int32_t w = bitmap.Width(), h = bitmap.Height();
    if (w != engine_->GetWidth() || h != engine_->GetHeight() || w == 0 || h == 0) return;
    if (view_.Deep || View.Deep) {
        PreviewDeepMove(View, w, h);
        return;
    }
    const TViewMapping from = TViewMapping::Of(view_, w, h);
    const TViewMapping to = TViewMapping::Of(View, w, h);
    const TBitmap source = bitmap;
    for (int32_t y = 0; y < h; ++y) {
        const double oy = std::floor((y * to.dy + to.P.Im - from.P.Im) / from.dy);
        uint32_t* row = bitmap.Scanline(y);
        for (int32_t x = 0; x < w; ++x) {
            const double ox = std::floor((x * to.dx + to.P.Re - from.P.Re) / from.dx);
            const bool inside = ox >= 0 && ox < w && oy >= 0 && oy < h;
            row[x] = inside ? source.Scanline(static_cast<int32_t>(oy))[static_cast<int32_t>(ox)] : 0;
        }
    }
}

void TExplorer::PreviewDeepMove(const TExplorerView& View, int32_t w, int32_t h) {
    // The new pixel (x, y) lies at ((x - w/2) r + w/2 + dx, (y - h/2) r + h/2
    // + dy) of the old picture: r the ratio of the pixel steps, (dx, dy) the
    // move of the centre in old pixels, both well within doubles at any
    // depth.
    const TDeepView from = ExactParts(view_), to = ExactParts(View);
    const TFloatExp oldStep = PixelStep(from.Width, h);
    const auto ratio = [](const TFloatExp& a, const TFloatExp& b) {
        if (b.IsZero()) return 0.0;
        return std::ldexp(a.Mantissa / b.Mantissa, static_cast<int>(std::clamp<int64_t>(a.Exp - b.Exp, -4000, 4000)));
    };
    const double r = ratio(PixelStep(to.Width, h), oldStep);
    const double dx = ratio(TFloatExp::FromBig(to.CenterRe - from.CenterRe), oldStep);
    const double dy = -ratio(TFloatExp::FromBig(to.CenterIm - from.CenterIm), oldStep);
    TBitmap& bitmap = engine_->GetBitmap();
    const TBitmap source = bitmap;
    for (int32_t y = 0; y < h; ++y) {
        const double oy = std::floor((y - h / 2.0) * r + h / 2.0 + dy);
        uint32_t* row = bitmap.Scanline(y);
        for (int32_t x = 0; x < w; ++x) {
            const double ox = std::floor((x - w / 2.0) * r + w / 2.0 + dx);
            const bool inside = ox >= 0 && ox < w && oy >= 0 && oy < h;
            row[x] = inside ? source.Scanline(static_cast<int32_t>(oy))[static_cast<int32_t>(ox)] : 0;
        }
    }
}

void TExplorer::Zoom(int32_t X, int32_t Y, double Factor, double Time) {
    TExplorerView view = view_;
    const double move = 1 - 1 / Factor;
    const TFloatExp width = ExactWidth(view_) * (1 / Factor);
    if (MovesExactly(view_, width)) {
        if (!WithinReach(width)) {
            message_ = "as far as the explorer goes";
            return;
        }
        const TFloatExp step = PixelStep(ExactWidth(view_), engine_->GetHeight());
        static_cast<TView&>(view) = MovedView(view_, step * ((X - engine_->GetWidth() / 2.0) * move),
                                              step * (-(Y - engine_->GetHeight() / 2.0) * move), width);
        Show(std::move(view), Time);
        return;
    }
    // From the centre by the offset of the point, so that the centre stays
    // exact when the cursor is on it.
    const TComplexPoint offset = Mapping().Offset(X, Y);
    view.Center = {view_.Center.Re + offset.Re * move, view_.Center.Im + offset.Im * move};
    view.ViewWidth = view_.ViewWidth / Factor;
    if (!IsFinite(view.Center) || !std::isfinite(view.ViewWidth) || (Factor < 1 && view.ViewWidth > kMaxViewWidth)) {
        message_ = "as far as the explorer goes";
        return;
    }
    Show(std::move(view), Time);
}

void TExplorer::Execute(const TQueued& Queued) {
    const TExplorerCommand& c = Queued.Command;
    const double time = Queued.Time;
    if (c.Action != TExplorerAction::Keep && c.Action != TExplorerAction::WritePicture) message_.clear();
    TExplorerView view = view_;
    switch (c.Action) {
        case TExplorerAction::ZoomIn: Zoom(c.X, c.Y, 2, time); break;
        case TExplorerAction::ZoomOut: Zoom(c.X, c.Y, 0.5, time); break;
        case TExplorerAction::Pan: {
            if (view_.Deep) {
                const TFloatExp step = PixelStep(view_.Deep->Width, engine_->GetHeight());
                static_cast<TView&>(view) = MovedView(view_, step * -static_cast<double>(c.X), step * static_cast<double>(c.Y), view_.Deep->Width);
                Show(std::move(view), time);
                break;
            }
            const TViewMapping m = Mapping();
            view.Center = {view_.Center.Re - c.X * m.dx, view_.Center.Im - c.Y * m.dy};
            if (IsFinite(view.Center)) Show(std::move(view), time);
            break;
        }
        case TExplorerAction::ZoomRect: {
            const int32_t left = std::min(c.X, c.X2), right = std::max(c.X, c.X2);
            const int32_t top = std::min(c.Y, c.Y2), bottom = std::max(c.Y, c.Y2);
            if (right - left < 2 || bottom - top < 2) break;  // a click, not a rectangle
            const int32_t w = engine_->GetWidth(), h = engine_->GetHeight();
            const double extent = std::max<double>(bottom - top, static_cast<double>(right - left) * h / w);
            const TFloatExp step = PixelStep(ExactWidth(view_), h);
            if (MovesExactly(view_, step * extent)) {
                const TFloatExp width = step * extent;
                if (!WithinReach(width)) {
                    message_ = "as far as the explorer goes";
                    break;
                }
                static_cast<TView&>(view) = MovedView(view_, step * ((left + right) / 2.0 - w / 2.0),
                                                      step * -((top + bottom) / 2.0 - h / 2.0), width);
                Show(std::move(view), time);
                break;
            }
            const TComplexPoint offset = Mapping().Offset((left + right) / 2.0, (top + bottom) / 2.0);
            view.Center = {view_.Center.Re + offset.Re, view_.Center.Im + offset.Im};
            // The whole rectangle in view, the picture keeping its shape.
            const double pixel = view_.ViewWidth / h;
            view.ViewWidth = pixel * extent;
            const bool in = view.ViewWidth < view_.ViewWidth;
            if (!IsFinite(view.Center) || !std::isfinite(view.ViewWidth) || (!in && view.ViewWidth > kMaxViewWidth)) {
                message_ = "as far as the explorer goes";
                break;
            }
            Show(std::move(view), time);
            break;
        }
        case TExplorerAction::Back:
            if (history_.empty()) {
                message_ = "no view before this one";
                break;
            }
            view = std::move(history_.back());
            history_.pop_back();
            Show(std::move(view), time, false);
            break;
        case TExplorerAction::Journey: StartJourney(time); break;
        case TExplorerAction::Home: {
            const TMandel defaults;
            view.Kind = fkMandelbrot;
            view.Power = defaults.GetPower();
            view.MaxIter = defaults.GetMaxIter();
            ResetPosition(view);
            Show(std::move(view), time);
            break;
        }
        case TExplorerAction::ToggleJulia:
            if (view_.Kind == fkMandelbrot) {
                mandelbrotOrigin_ = view_;
                view.Kind = fkJulia;
                if (view_.Deep) {
                    // The point under the pointer with every digit.
                    const TFloatExp step = PixelStep(view_.Deep->Width, engine_->GetHeight());
                    const TView point = MovedView(view_, step * (c.X - engine_->GetWidth() / 2.0),
                                                  step * -(c.Y - engine_->GetHeight() / 2.0), view_.Deep->Width);
                    ResetPosition(view);
                    const TDeepView& p = *point.Deep;
                    static_cast<TView&>(view) =
                        MovedView(MakeDeepView(fkJulia, TBigReal(view.Center.Re), TBigReal(view.Center.Im),
                                               TFloatExp(view.ViewWidth), p.CenterRe, p.CenterIm, view.Power),
                                  TFloatExp(), TFloatExp(), TFloatExp(view.ViewWidth));
                } else {
                    view.JuliaConstant = PointAt(c.X, c.Y);
                    ResetPosition(view);
                }
            } else {
                view.Kind = fkMandelbrot;
                if (mandelbrotOrigin_ && mandelbrotOrigin_->Power == view.Power) {
                    view.Center = mandelbrotOrigin_->Center;
                    view.ViewWidth = mandelbrotOrigin_->ViewWidth;
                    view.Deep = mandelbrotOrigin_->Deep;
                } else {
                    ResetPosition(view);
                }
            }
            Show(std::move(view), time);
            break;
        case TExplorerAction::DrawMode:
            if (c.Value < 0 || c.Value > 8) break;
            view.DrawMode = StoredToDrawMode(c.Value);
            Show(std::move(view), time);
            break;
        case TExplorerAction::MoreIterations:
            view.MaxIter = static_cast<int32_t>(std::min<int64_t>(
                INT32_MAX, std::max<int64_t>(int64_t{view.MaxIter} + 1, std::llround(view.MaxIter * 1.5))));
            Show(std::move(view), time);
            break;
        case TExplorerAction::FewerIterations:
            view.MaxIter = static_cast<int32_t>(
                std::max<int64_t>(1, std::min<int64_t>(int64_t{view.MaxIter} - 1, std::llround(view.MaxIter / 1.5))));
            Show(std::move(view), time);
            break;
        case TExplorerAction::NextPalette: StepPalette(1, time); break;
        case TExplorerAction::PreviousPalette: StepPalette(-1, time); break;
        case TExplorerAction::ChoosePalette: {
            // Only a palette of the folder, by its name there.
            const std::vector<std::string> names = PaletteNames();
            if (c.Path.empty() || std::find(names.begin(), names.end(), c.Path) != names.end())
                SetPalette(c.Path, time);
            else
                message_ = "no palette " + c.Path + " in " + palettes_;
            break;
        }
        case TExplorerAction::Power:
            if (c.Value < 2 || c.Value > 5 || c.Value == view_.Power) break;
            view.Power = c.Value;
            ResetPosition(view);
            Show(std::move(view), time);
            break;
        case TExplorerAction::NextScene:
        case TExplorerAction::PreviousScene: {
            const int32_t count = scenes_.Count();
            if (count == 0) {
                message_ = "no scene file";
                break;
            }
            const int32_t step = c.Action == TExplorerAction::NextScene ? 1 : -1;
            int32_t index = sceneIndex_ < 0 ? (step > 0 ? 0 : count - 1) : (sceneIndex_ + step + count) % count;
            ShowScene(index, time);
            break;
        }
        case TExplorerAction::OpenScenes: OpenScenes(c.Path, time); break;
        case TExplorerAction::Resize: {
            // A window larger than this machine's pictures shows the largest
            // picture of its shape that fits, in its top-left corner.
            const TPictureSize size = FittingSize(c.X, c.Y);
            if (size.Width <= 0 || (size.Width == engine_->GetWidth() && size.Height == engine_->GetHeight())) break;
            engine_->SetWidth(size.Width);
            engine_->SetHeight(size.Height);
            complete_ = false;
            failed_ = false;
            requestTime_ = time;
            break;
        }
        case TExplorerAction::Keep: Keep(); break;
        case TExplorerAction::WritePicture: WritePicture(c.Path); break;
        case TExplorerAction::ToggleStatus:
        case TExplorerAction::ToggleHelp: break;  // Post has done them
        case TExplorerAction::Quit: quitting_ = true; break;
    }
}

void TExplorer::ShowScene(int32_t Index, double Time) {
    sceneIndex_ = Index;
    // The palette the scene names, when the show would load it.
    std::string paletteName = view_.PaletteName;
    bool newPalette = false;
    const std::string& mcf = scenes_.GetMcfName(Index);
    if (!mcf.empty()) {
        try {
            if (FileExists(McfPath(palettes_, mcf))) {
                paletteName = DecodeCp932(mcf);
                newPalette = true;
            }
        } catch (const EConvertError&) {
        }
    }
    try {
        ApplyRecommendation(*engine_, scenes_, Index, palettes_, options_.DefaultDrawMode);
    } catch (const std::exception& error) {
        // A bad palette has shown its message: the show skips such a scene.
        if (!dynamic_cast<const EAbort*>(&error)) {
            std::fprintf(stderr, "%s\n", error.what());
            message_ = error.what();
        }
        ApplyView(*engine_, view_);
        return;
    }
    TExplorerView view = ViewOfEngine(*engine_);
    view.PaletteName = paletteName;
    if (!newPalette) view.Colors = view_.Colors;
    paletteCursor_ = paletteName;
    Show(std::move(view), Time);
    onScene_ = true;
}

std::vector<std::string> TExplorer::PaletteNames() const {
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(fs::u8path(palettes_), error), end; !error && it != end; it.increment(error)) {
        const std::string name = PathToUtf8(it->path().filename());
        if (EndsWithMcf(name) && FileExists(PathToUtf8(it->path()))) names.push_back(name.substr(0, name.size() - 4));
    }
    std::sort(names.begin(), names.end());
    return names;
}

void TExplorer::StepPalette(int Direction, double Time) {
    // The built-in palette, then the folder's in the order of their names.
    std::vector<std::string> cycle{""};
    for (std::string& name : PaletteNames()) cycle.push_back(std::move(name));
    const auto at = std::find(cycle.begin(), cycle.end(), paletteCursor_);
    const auto n = static_cast<int64_t>(cycle.size());
    const int64_t current = at == cycle.end() ? 0 : at - cycle.begin();
    SetPalette(cycle[static_cast<std::size_t>((current + Direction + n) % n)], Time);
}

void TExplorer::SetPalette(const std::string& Name, double Time) {
    namespace fs = std::filesystem;
    paletteCursor_ = Name;
    TExplorerView view = view_;
    view.PaletteName = Name;
    if (Name.empty()) {
        view.Colors = builtInColors_;
    } else {
        try {
            LoadPalette(*engine_, PathToUtf8(fs::u8path(palettes_) / fs::u8path(Name + ".mcf")));
        } catch (const std::exception& error) {
            // Its message has been shown; the colours stay.
            if (!dynamic_cast<const EAbort*>(&error)) message_ = error.what();
            ApplyView(*engine_, view_);
            return;
        }
        view.Colors = std::make_shared<const TPaletteArray>(engine_->GetColorTable());
    }
    Show(std::move(view), Time);
}

void TExplorer::Keep() {
    const std::string& file = options_.OutputFile;
    const std::string title =
        options_.Title ? *options_.Title : "Scene " + IntToStr(CountSceneLines(ReadFileBytes(file)) + 1);
    try {
        std::string titleBytes, mcfBytes;
        try {
            titleBytes = EncodeCp932(title);
        } catch (const EConvertError&) {
            throw EConvertError("the title has no Shift-JIS form");
        }
        try {
            mcfBytes = EncodeCp932(view_.PaletteName);
        } catch (const EConvertError&) {
            throw EConvertError("the palette name has no Shift-JIS form");
        }
        const std::string line = FormatRecommendation(CaptureRecommendation(*engine_, titleBytes, mcfBytes));
        AppendRecommendation(file, line, kNewFileComment);
        message_ = "kept " + title + " in " + file;
        std::printf("%s: %s\n", file.c_str(), DecodeCp932(line).c_str());
        std::fflush(stdout);
    } catch (const Exception& error) {
        message_ = std::string("not kept: ") + error.what();
        std::fprintf(stderr, "nimbrel-explore: %s\n", message_.c_str());
    }
}

void TExplorer::WritePicture(const std::string& Path) {
    namespace fs = std::filesystem;
    if (!complete_) {
        message_ = "the picture is not complete: no PNG written";
        return;
    }
    if (!options_.WritePng) {
        message_ = "this build writes no PNG files";
        return;
    }
    const fs::path output = fs::u8path(options_.OutputFile);
    const std::string stem = PathToUtf8(output.stem());
    std::string path = Path;
    for (int n = 1; n < 1000000 && path.empty(); ++n) {
        char number[16];
        std::snprintf(number, sizeof number, "-%03d.png", n);
        const std::string candidate = PathToUtf8(output.parent_path() / fs::u8path(stem + number));
        std::error_code error;
        if (!fs::exists(fs::u8path(candidate), error) && !error) path = candidate;
    }
    std::string error;
    if (path.empty() || !options_.WritePng(path, engine_->GetBitmap(), error)) {
        message_ = "no PNG written: " + (path.empty() ? std::string("no free file name") : error);
        std::fprintf(stderr, "nimbrel-explore: %s\n", message_.c_str());
        return;
    }
    message_ = "wrote " + path;
}

std::string TExplorer::StatusText() const {
    const TExplorerView& v = view_;
    std::string s = v.Kind == fkJulia ? "Julia" : "Mandelbrot";
    if (v.Deep) {
        // Every digit would fill the screen: the first ones, the width as a
        // power of ten, and the precision of the view.
        const TDeepView& d = *v.Deep;
        s += "  Cr=" + Leading(d.CenterRe) + " Ci=" + Leading(d.CenterIm) + "  W=" + WidthText(d.Width);
        if (v.Kind == fkJulia) s += "  Jr=" + Leading(d.JuliaRe) + " Ji=" + Leading(d.JuliaIm);
        s += "  " + IntToStr(CoordinateBits(v)) + " bits";
    } else {
        s += "  Cr=" + Number(v.Center.Re) + " Ci=" + Number(v.Center.Im) + "  W=" + Number(v.ViewWidth);
        if (v.Kind == fkJulia) s += "  Jr=" + Number(v.JuliaConstant.Re) + " Ji=" + Number(v.JuliaConstant.Im);
    }
    s += "  I=" + IntToStr(v.MaxIter) + "  Pow=" + IntToStr(v.Power);
    if (v.ColorStep != 1) s += "  D=" + IntToStr(v.ColorStep);
    s += "  DM=" + IntToStr(DrawModeToStored(v.DrawMode)) + " " + DrawModeName(v.DrawMode);
    s += "  MCF=" + (v.PaletteName.empty() ? std::string("(built-in)") : v.PaletteName);
    if (onScene_) s += "  scene " + IntToStr(sceneIndex_ + 1) + "/" + IntToStr(scenes_.Count());
    if (drawing_) {
        s += "  drawing...";
    } else if (complete_) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "  %.3f s", lastSeconds_);
        s += seconds;
    } else if (failed_) {
        s += "  failed";
    }
    if (!message_.empty()) s += "  |  " + message_;
    return s;
}

}  // namespace nimbrel
