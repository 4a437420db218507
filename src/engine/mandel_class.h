// TMandel: the fractal engine. One object holds everything needed to render
// one picture of the Mandelbrot set or of a Julia set into its off-screen
// bitmap: the view, the iteration settings, the colour table, the draw mode
// and the state of the potential-brightness modes.
//
// Threads: everything runs on the GUI thread. While a draw runs, the
// handlers that its yield hook runs between rows (by default the
// application's message processing) may read the engine and call
// SetBusy(false), and nothing else. A draw may share the arithmetic of one
// row with worker threads; they touch only that row's points and are done
// before the row's yield. A row that iterates long yields within itself too,
// so that no more than kYieldBudget iterations (engine/yield_budget.h) are
// made between two yields.
//
// The draw methods are templates over the kernel; their definitions are in
// engine/mandel_draw.h and engine/draw_potential.h, which only the engine
// itself and the tests that hand them kernels of their own include.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/batch_kernels.h"
#include "engine/kernels.h"
#include "engine/result_cache.h"
#include "engine/view_mapping.h"
#include "engine/yield_budget.h"
#include "platform/bitmap.h"
#include "platform/yield_hook.h"
#include "shading/UPotentialBrightMethod.h"
#include "shading/potentials.h"
#include "values/fractal_types.h"
#include "values/view.h"

namespace nimbrel {

// What the kernels of the last draw did; read by the renderer's statistics
// and the tests. Not part of any picture.
struct TDrawStats {
    uint64_t KernelCalls = 0;
    uint64_t Iterations = 0;
    // The most work the kernels made between two yields (or the start or
    // the end of the draw), in power-2 steps; never above the budget
    // (kYieldBudget).
    uint64_t MostWorkBetweenYields = 0;
    // The deep path (engine/deep_pixel.h): whether the draw took it, the
    // iterations of its reference orbit (0 when a kept one served), the
    // iterations the skip answered, and the seconds of the reference, of the
    // skip's table and of the pixels.
    bool Deep = false;
    int32_t DeepBits = 0;
    uint64_t ReferenceIterations = 0;
    uint64_t SkippedIterations = 0;
    double ReferenceSeconds = 0;
    double TableSeconds = 0;
    double PixelSeconds = 0;
};

class TMandel;
class TMandelBatch;
class TDeepReference;
struct TDeepKernel;
struct TDeepCacheKernel;
class TRgb;
struct TEngineKernel;
struct TEngineCacheKernel;

// A kernel as a method pointer bound to an engine; the draw methods take any
// callable of the form int32_t(const TComplexPoint&).
using TCountFunc = int32_t (TMandel::*)(const TComplexPoint&) const;
// The pieces of the potential-brightness modes that Draw binds: the potential
// of a grid point (its last z and count) and the brightness transfer; the
// shading function of the slope is a TShadeFunc.
using TPotentialFunc = double (TMandel::*)(const TComplexPoint&, int32_t) const;
using TTransferFunc = double (TMandel::*)(double) const;

class TMandel {
public:
    // The Mandelbrot set at its default view, 200 x 200 pixels, 256
    // iterations, power 2, the built-in palette, draw mode 0.
    TMandel();
    ~TMandel();
    TMandel(const TMandel&) = delete;
    TMandel& operator=(const TMandel&) = delete;

    // ---- The view -------------------------------------------------------
    const TView& GetView() const { return view_; }
    // The whole view at once, as the operations below would set it one by
    // one (the width as its absolute value); a view of the Mandelbrot set
    // leaves the Julia constant as it was.
    void SetView(const TView& Value);
    TFractalKind GetKind() const { return view_.Kind; }
    // Mandelbrot -> Julia takes the centre as the constant; either way the
    // view is reset.
    void SwitchKind();
    // The setters of single doubles set that part of a deep view to the
    // double exactly and keep the exact values of the others.
    TComplexPoint GetCenter() const { return view_.Center; }
    void SetCenter(const TComplexPoint& Value);
    // The height of the view in the plane; stored as its absolute value.
    double GetViewWidth() const { return view_.ViewWidth; }
    void SetViewWidth(double Value);
    TComplexPoint GetJuliaConstant() const { return view_.JuliaConstant; }
    // The silent abort unless the kind is Julia.
    void SetJuliaConstant(const TComplexPoint& Value);
    int32_t GetPower() const { return view_.Power; }
    void SetPower(int32_t Value) { view_.Power = Value; }
    // The default view of the kind and power.
    void ResetView();
    void CenterToJuliaConstant();
    // Top-left corner of the bitmap, and the corner one pixel step beyond the
    // bottom-right pixel. A zero size shows a message and aborts.
    TComplexPoint GetPointP() const;
    TComplexPoint GetPointQ() const;
    // The mapping between the pixels of the picture and the plane that the
    // draw methods use for the current view and size.
    TViewMapping Mapping() const { return TViewMapping::Of(view_, width_, height_); }

    // ---- The picture and its iteration -------------------------------------
    // The size setters refuse values <= 0 with the silent abort.
    int32_t GetWidth() const { return width_; }
    void SetWidth(int32_t Value);
    int32_t GetHeight() const { return height_; }
    void SetHeight(int32_t Value);
    int32_t GetMaxIter() const { return maxIter_; }
    void SetMaxIter(int32_t Value) { maxIter_ = Value; }
    int32_t GetColorStep() const { return colorStep_; }
    void SetColorStep(int32_t Value) { colorStep_ = Value; }
    TBitmap& GetBitmap() { return bitmap_; }
    const TBitmap& GetBitmap() const { return bitmap_; }

    // ---- The colour table --------------------------------------------------
    // Entry 0 colours the points that never escape, entries 1..ColorCount are
    // cycled through for every other count.
    int32_t GetColorCount() const { return colorCount_; }
    const TPaletteArray& GetColorTable() const { return colorTable_; }
    // Installs a table as it stands (ColorCount := size - 1, at least one
    // entry), without adapting it to the display.
    void SetColorTable(const TPaletteArray& Table);
    // The built-in table: black, then 127 steps through the colour values.
    void SetDefaultPalette();
    // Each entry 0..LastIndex as the bitmap keeps it.
    void MatchPaletteToDevice(int32_t LastIndex);
    // Count 0 gives entry 0; otherwise entry ((Count div ColorStep) mod
    // ColorCount) + 1. A zero step or count raises EDivByZero, an index outside
    // the table ERangeError.
    TColor CountToColor(int32_t Count) const {
        if (Count == 0) return Entry(0);
        const int32_t step = colorStep_;
        const int32_t count = colorCount_;
        if (step == 0 || count == 0) RaiseDivByZero();
        // -1 as a divisor is the one case where the quotient can overflow.
        const int64_t quotient = step == -1 ? -int64_t{Count} : Count / step;
        return Entry(quotient % count + 1);
    }

    // ---- Drawing -----------------------------------------------------------
    // The draw mode 0..8 of the next Draw, as the engine numbers them.
    uint8_t DrawMode = dmNormal;
    // Renders the picture for the current state into the bitmap. Sets Busy
    // while it runs; clearing Busy from a handler cancels it with the silent
    // abort.
    void Draw();
    // Draw with kernels of the caller's: the same dispatch by DrawMode and
    // the same binding of the shaded modes' procedures, with Kernel
    // (int32_t(const TComplexPoint&)) in modes 0..4 and CacheKernel (void(const
    // TComplexPoint&, int32_t X, int32_t Y), filling ResultCache) in 5..8.
    // Draw is DrawWith the engine's own kernels.
    template <class Kernel, class CacheKernel> void DrawWith(Kernel&& kernel, CacheKernel&& cacheKernel);
    bool GetBusy() const { return busy_; }
    void SetBusy(bool Value) { busy_ = Value; }
    // What the draws call between rows and within long rows; not owned.
    // nullptr (the default) is the application's message processing.
    void SetYieldHook(TYieldHook* Hook) { yieldHook_ = Hook; }
    TYieldHook* GetYieldHook() const { return yieldHook_; }

    // The integer kernels (escape radius 2): 0 for a point whose orbit stays
    // within the radius for MaxIter iterations, otherwise the iteration after
    // which |z|^2 >= 4 first held.
    int32_t IterateMandel2(const TComplexPoint& P) const;
    int32_t IterateJulia2(const TComplexPoint& P) const;
    int32_t IterateMandelN(const TComplexPoint& P) const;
    int32_t IterateJuliaN(const TComplexPoint& P) const;

    // The integer draw methods, for any kernel int32_t(const TComplexPoint&).
    // 0: row by row; 1: coarse blocks refined by halving; 3: four interlaced
    // passes; 2: tiles whose uniform borders are filled without computing
    // their inside; 4: each pixel the average colour of 2 x 2 samples.
    template <class Kernel> void DrawNormal(Kernel&& kernel);
    template <class Kernel> void DrawSearch(Kernel&& kernel);
    template <class Kernel> void DrawEmerge(Kernel&& kernel);
    template <class Kernel> void DrawBoundary(Kernel&& kernel);
    template <class Kernel> void DrawAntialias(Kernel&& kernel);

    // ---- The potential-brightness modes 5..8 -------------------------------
    // Their options, as a scene gives them.
    uint8_t PotentialVariant = 0;  // 1: the count's colour takes the brightness as luma
    uint8_t BrightnessFold = 0;    // 1: |s| instead of (s + 1) / 2
    uint8_t InvertBrightness = 0;  // 1: 1 - brightness
    uint8_t ShadingFunction = 0;   // 0..3, see UPotentialBrightMethod.h
    double GetEscapeRadius() const { return escapeRadius_; }
    double GetEscapeRadiusSqr() const { return escapeRadiusSqr_; }
    void SetEscapeRadius(double Value) {
        escapeRadius_ = Value;
        escapeRadiusSqr_ = Value * Value;
    }
    // The potentials are divided by Scale = 10^ScaleExponent.
    double GetScaleExponent() const { return scaleExponent_; }
    double GetScale() const { return scale_; }
    void SetScaleExponent(double Value) {
        scaleExponent_ = Value;
        scale_ = std::pow(10.0, Value);
    }
    long double GetLn2() const { return ln2_; }

    // The cache kernels iterate a point with the escape radius and store its
    // count and last z in ResultCache[X][Y]; an index outside the cache
    // raises ERangeError.
    void IterateMandelToCache(const TComplexPoint& C, int32_t X, int32_t Y);
    void IterateJuliaToCache(const TComplexPoint& C, int32_t X, int32_t Y);
    // The potentials of modes 6, 7 and 8 for a grid point's last z and count,
    // and the brightness transfers from a shading value to 0..1.
    double PotentialGreen(const TComplexPoint& Z, int32_t Count) const;
    double PotentialSmooth(const TComplexPoint& Z, int32_t Count) const;
    double PotentialCosine(const TComplexPoint& Z, int32_t Count) const;
    double BrightnessAbs(double S) const;
    double BrightnessShift(double S) const;
    double ApplyInvert(double V) const;
    // Bound by Draw in modes 5..8 (PotentialProc only in 6..8).
    TPotentialFunc PotentialProc = nullptr;
    TShadeFunc ShadeProc = nullptr;
    TTransferFunc TransferProc = nullptr;

    // The renderers of modes 5..8, for a cache kernel callable
    // void(const TComplexPoint&, int32_t X, int32_t Y). Each redraws from the
    // cache when it matches the view and computes it afresh otherwise.
    template <class Kernel> void DrawPotentialCache(Kernel&& kernel);
    template <class Kernel> void DrawPotentialPalette(Kernel&& kernel);
    template <class Kernel> void DrawPotentialTint(Kernel&& kernel);

    // The results of every grid point, (Width + 1) x (Height + 1), kept after
    // a draw so that a change of the shading options only redraws; and the
    // view they were computed for.
    TResultCache ResultCache;
    TResultCacheKey CacheKey;
    bool CacheMatchesView() const;
    // Records the current view, after a complete computation.
    void StoreCacheKey();
    void ClearResultCache();

    // ---- How the kernels run, and what they did ----------------------------
    // The instruction set (lowered to what the processor has) and the number
    // of threads that share a row (1: the calling thread alone). The defaults
    // come from NIMBREL_SIMD and NIMBREL_THREADS; the pictures are the same
    // whatever they are.
    TSimdLevel GetSimdLevel() const { return simdLevel_; }
    void SetSimdLevel(TSimdLevel Value) { simdLevel_ = Value; }
    int32_t GetThreadCount() const;
    // A value < 1 restores the default.
    void SetThreadCount(int32_t Value) { threadCount_ = Value; }
    // Reset by every Draw.
    TDrawStats Stats;
    // The budget of work between two yields: kYieldBudget; a test may set a
    // smaller one (never 0).
    uint64_t GetWorkBudget() const { return work_.Budget(); }
    void SetWorkBudget(uint64_t Value) { work_.SetBudget(Value); }

    // ---- Deep views ---------------------------------------------------------
    // Whether the next Draw takes the deep path (NeedsDeepPath for the view
    // and the picture's size).
    bool NeedsDeep() const { return NeedsDeepPath(view_, width_, height_); }
    // The reference orbit kept from the last deep draw (nullptr before one).
    const TDeepReference* DeepReference() const { return deepRef_.get(); }
    // The precision in bits the deep path takes for the view and size.
    int32_t DeepBits() const;
    // The state of a deep draw (engine/deep_run.h), engine-internal.
    struct TDeepRun;

private:
    friend struct TEngineKernel;
    friend struct TEngineCacheKernel;
    friend struct TDeepKernel;
    friend struct TDeepCacheKernel;
    friend class TMandelBatch;

    // The mapping from pixels to plane points of one draw.
    struct TFrame {
        TComplexPoint P;
        double dx = 0;
        double dy = 0;
        int32_t LastX = 0;
        int32_t LastY = 0;
        TComplexPoint Point(int32_t x, int32_t y) const { return {x * dx + P.Re, y * dy + P.Im}; }
    };
    // The mapping of the current view and size; a zero size shows
    // NoSizeText and aborts.
    TViewMapping CheckedMapping(const char* NoSizeText) const;
    // The first steps of every integer draw method: the mapping, the bitmap
    // size, then Busy := True. The caller clears Busy on every exit.
    TFrame BeginFrame();
    // After each row, and within a long one: let the handlers run (the
    // yield hook), then abort if they cleared Busy.
    void YieldRow();

    // Kept out of line so that the checks of the pixel loops inline.
    [[noreturn]] static void RaiseRangeError();
    [[noreturn]] static void RaiseDivByZero();
    TColor Entry(int64_t Index) const {
        if (Index < 0 || Index >= static_cast<int64_t>(colorTable_.size())) RaiseRangeError();
        return colorTable_[static_cast<std::size_t>(Index)];
    }
    // Counts one kernel call in Stats.
    void Tally(int32_t count) {
        ++Stats.KernelCalls;
        Stats.Iterations += count != 0 ? static_cast<uint64_t>(count)
                                       : static_cast<uint64_t>(maxIter_ > 0 ? maxIter_ : 0);
    }
    // The rows with the batch kernels (engine/mandel_batch.h), made on first
    // use and kept with their buffers and worker pool.
    TMandelBatch& Batch();

    // Mode 2's walk, whatever computes its points: Count(x, y) answers the
    // count of pixel (x, y) (and counts it in Stats), Colour(count) its
    // colour; Plan(Top, H) is called before the first row (0, 0) and before
    // each strip of rows Top .. Top + H, before any of its points is asked.
    template <class Count, class Colour, class Plan>
    void WalkBoundary(const TFrame& f, Count&& count, Colour&& colour, Plan&& plan);

    // Modes 5..8: Draw's binding of the three procedures (raises
    // "PotentialBright Error" for an unknown shading function), the cell
    // access with its range check, the set-up of a computation, and the
    // shading of one pixel from its cell and the cells right of and below it.
    void BindPotentialProcs();
    TResultCell& Cell(int32_t X, int32_t Y) {
        if (X < 0 || static_cast<std::size_t>(X) >= ResultCache.size()) RaiseRangeError();
        if (Y < 0 || static_cast<std::size_t>(Y) >= ResultCache.Rows()) RaiseRangeError();
        return ResultCache[static_cast<std::size_t>(X)][static_cast<std::size_t>(Y)];
    }
    TFrame BeginCacheComputation();
    template <class F> void WithBoundProcs(F&& f);
    template <class Pot, class Shade, class Transfer>
    double Brightness(int32_t x, int32_t y, double dy, Pot pot, Shade shade, Transfer transfer);
    template <bool Tint, class Pot, class Shade, class Transfer>
    void ShadePixel(int32_t x, int32_t y, double dy, Pot pot, Shade shade, Transfer transfer, TRgb& rgb);
    template <bool Tint> void RedrawShaded();
    template <bool Tint, class Kernel> void ComputeShaded(Kernel& kernel);
    // The same with the rows shared among the worker pool (engine/
    // draw_potential.h): the pixel ShadePixel sets, from the potentials of
    // the cells already divided by dy (const: the workers call it); whether
    // the cache and the bitmap have the shape of the picture; the rows of
    // the renderers.
    template <bool Tint, class Shade, class Transfer>
    uint32_t ShadedPixel(int32_t count, double A, double B, double C, Shade shade, Transfer transfer, TRgb& rgb,
                         const TMandelBatch& batch) const;
    bool ShapedForRows() const;
    template <bool Tint, class Pot, class Shade, class Transfer>
    void RedrawShadedRows(double dy, Pot pot, Shade shade, Transfer transfer);
    template <bool Tint, class Pot, class Shade, class Transfer>
    void ComputeShadedRows(const TFrame& f, Pot pot, Shade shade, Transfer transfer);
    void RedrawCountRows();
    void ComputeCountRows(const TFrame& f);

    // The view; centre and width set by ResetView.
    TView view_;
    // The picture and its iteration.
    int32_t width_ = 200;
    int32_t height_ = 200;
    int32_t maxIter_ = 256;
    int32_t colorStep_ = 1;
    TBitmap bitmap_;
    bool busy_ = false;
    // The colour table, filled by SetDefaultPalette.
    TPaletteArray colorTable_;
    int32_t colorCount_ = 0;
    // The potential-brightness modes.
    double escapeRadius_ = 2;
    double escapeRadiusSqr_ = 4;
    double scaleExponent_ = 0;
    double scale_ = 1;
    const long double ln2_ = std::log(2.0L);
    // How the kernels run.
    TSimdLevel simdLevel_ = DefaultSimdLevel();
    int32_t threadCount_ = 0;
    std::unique_ptr<TMandelBatch> batch_;
    // The yields and the work between them.
    TYieldHook* yieldHook_ = nullptr;
    TWorkMeter work_;
    // The deep path: the reference orbit, kept from draw to draw; while a
    // deep draw runs, the frames are in pixels (P = 0, dx = dy = 1: a
    // kernel's point is the pixel's position) and the kernels measure each
    // pixel from the centre in units of the pixel step.
    void DrawDeep();
    void PrepareDeepReference(double Bailout);
    // The BLA tables of the reference for this picture, built with yields
    // (kept while they fit); none beyond kMaxBlaBytes.
    void PrepareDeepBla(double Bailout);
    static constexpr uint64_t kMaxBlaBytes = uint64_t{1} << 30;
    int32_t DeepCount(const TComplexPoint& Pixel);
    // The counts of the N pixels x = First + k * Stride of row y, shared
    // among the worker pool in pieces whose worst case fits the work budget
    // (a pixel whose own worst case does not goes alone on this thread,
    // yielding within); each counted in Stats. After Batch().Begin.
    void DeepRow(int32_t y, int32_t First, int32_t Stride, int32_t N, int32_t* Counts);
    std::vector<int32_t> deepCounts_;
    void DeepToCache(const TComplexPoint& Pixel, int32_t X, int32_t Y);
    // A shaded pixel's brightness at depth: the slope of the exact formula
    // (potential differences over the pixel step) with the exponents apart.
    template <class Pot, class Shade, class Transfer>
    double DeepBrightness(int32_t x, int32_t y, Pot pot, Shade shade, Transfer transfer);
    std::unique_ptr<TDeepReference> deepRef_;
    std::unique_ptr<TDeepRun> deepRun_;
    bool deepActive_ = false;
    // The pixel step of the deep draw, for the shaded modes' slopes.
    TFloatExp deepStep_;
};

// The kernels are the reference iteration of engine/kernels.h; the batch
// kernels give the same results many points at a time.
inline int32_t TMandel::IterateMandel2(const TComplexPoint& P) const {
    return IterateOrbit(TComplexPoint{0, 0}, P, 2, maxIter_, kIntegerBailout).Count;
}
inline int32_t TMandel::IterateJulia2(const TComplexPoint& P) const {
    return IterateOrbit(P, view_.JuliaConstant, 2, maxIter_, kIntegerBailout).Count;
}
inline int32_t TMandel::IterateMandelN(const TComplexPoint& P) const {
    return IterateOrbit(TComplexPoint{0, 0}, P, view_.Power, maxIter_, kIntegerBailout).Count;
}
inline int32_t TMandel::IterateJuliaN(const TComplexPoint& P) const {
    return IterateOrbit(P, view_.JuliaConstant, view_.Power, maxIter_, kIntegerBailout).Count;
}

inline void TMandel::IterateMandelToCache(const TComplexPoint& C, int32_t X, int32_t Y) {
    TResultCell& cell = Cell(X, Y);
    const TOrbitEnd end = IterateOrbit(TComplexPoint{0, 0}, C, view_.Power, maxIter_, escapeRadiusSqr_);
    cell.Count = end.Count;
    cell.Z = end.Z;
}
inline void TMandel::IterateJuliaToCache(const TComplexPoint& C, int32_t X, int32_t Y) {
    TResultCell& cell = Cell(X, Y);
    const TOrbitEnd end = IterateOrbit(C, view_.JuliaConstant, view_.Power, maxIter_, escapeRadiusSqr_);
    cell.Count = end.Count;
    cell.Z = end.Z;
}

inline double TMandel::PotentialGreen(const TComplexPoint& Z, int32_t Count) const {
    return potential::Green(Z, Count, scale_);
}
inline double TMandel::PotentialSmooth(const TComplexPoint& Z, int32_t Count) const {
    return potential::Smooth(Z, Count, scale_, static_cast<double>(ln2_));
}
inline double TMandel::PotentialCosine(const TComplexPoint& Z, int32_t /*Count*/) const {
    return potential::Cosine(Z, scale_);
}
inline double TMandel::ApplyInvert(double V) const { return potential::Invert(V, InvertBrightness == 1); }
inline double TMandel::BrightnessAbs(double S) const { return potential::Folded(S, InvertBrightness == 1); }
inline double TMandel::BrightnessShift(double S) const { return potential::Shifted(S, InvertBrightness == 1); }

// Clears Busy however a draw method ends.
class TBusyGuard {
public:
    explicit TBusyGuard(TMandel& engine) : engine_(engine) {}
    ~TBusyGuard() { engine_.SetBusy(false); }
    TBusyGuard(const TBusyGuard&) = delete;
    TBusyGuard& operator=(const TBusyGuard&) = delete;

private:
    TMandel& engine_;
};

}  // namespace nimbrel
