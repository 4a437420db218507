// TMandel: the fractal engine. One object holds everything needed to render
// one picture of the Mandelbrot set or of a Julia set into its off-screen
// bitmap: the view, the iteration settings, the colour table, the draw mode
// and the state of the potential-brightness modes.
//
// Threads: everything runs on the GUI thread. While a draw runs, the message
// handlers that ProcessMessages calls between rows may read the engine and
// call SetBusy(false), and nothing else. A draw may share the arithmetic of
// one row with worker threads; they touch only that row's points and are
// done before the row's ProcessMessages.
#pragma once

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/batch_kernels.h"
#include "platform/bitmap.h"
#include "platform/exceptions.h"
#include "scene/Rgblib.h"
#include "shading/UPotentialBrightMethod.h"

namespace nimbrel {

struct TComplexPoint {
    double Re = 0;
    double Im = 0;
};

enum TFractalKind : uint8_t { fkMandelbrot = 1, fkJulia = 2 };

enum TDrawMode : uint8_t {
    dmNormal = 0,
    dmSearch = 1,
    dmBoundary = 2,
    dmEmerge = 3,
    dmAntialias = 4,
    dmPotentialCache = 5,
    dmPotentialGreen = 6,
    dmPotentialSmooth = 7,
    dmPotentialCosine = 8,
};

// Colour values indexed from 0.
using TPaletteArray = std::vector<int32_t>;

// One grid point of the potential modes: the escape count and the last z.
struct TResultCell {
    int32_t Count = 0;
    TComplexPoint Z;
};
// Indexed [X][Y], the column first.
using TResultCache = std::vector<std::vector<TResultCell>>;

// The view the result cache was computed for.
struct TResultCacheKey {
    TComplexPoint Center;
    double ViewWidth = 0;
    int32_t Power = 0;
    uint8_t Kind = fkMandelbrot;
    int32_t Width = 0;
    int32_t Height = 0;
    TComplexPoint JuliaConstant;
    int32_t MaxIter = 0;
    double EscapeRadius = 0;
};

// What the kernels of the last draws did; read by the renderer's statistics
// and the tests. Not part of any picture.
struct TDrawStats {
    uint64_t KernelCalls = 0;
    uint64_t Iterations = 0;
};

// Draw-mode numbers as the settings and the MRP "DM" key store them: the
// internal modes with 3 and 4 exchanged.
TDrawMode StoredToDrawMode(int32_t Value);
int32_t DrawModeToStored(uint8_t Mode);
inline bool IsIntegerDrawMode(uint8_t Mode) { return Mode < 5; }
inline bool IsPotentialDrawMode(uint8_t Mode) { return !IsIntegerDrawMode(Mode); }
uint8_t FlagFromStored(int32_t Value);
uint8_t ShadingFromStored(int32_t Value);

// Z^N by repeated squaring; N <= 1 gives Z unchanged.
TComplexPoint ComplexPower(const TComplexPoint& Z, int32_t N);

class TMandel;
class TBatchRows;
class TBoundaryPlan;
// A kernel as a method pointer bound to an engine; the draw methods take any
// callable of the form int32_t(const TComplexPoint&).
using TCountFunc = int32_t (TMandel::*)(const TComplexPoint&) const;
// The pieces of the potential-brightness modes that Draw binds: the potential
// of a cell (its last z and count), the brightness transfer, and the shading
// function of the slope (unit UPotentialBrightMethod).
using TPotentialFunc = double (TMandel::*)(const TComplexPoint&, int32_t) const;
using TTransferFunc = double (TMandel::*)(double) const;

// The engine's own kernel for its current kind and power, as Draw hands it
// to the draw methods. Called like any kernel it is the scalar kernel and
// counts the statistics; the draw methods recognise it and compute whole rows
// with the batch kernels, on every participant of the worker pool.
struct TEngineKernel {
    TMandel* Engine;
    int32_t operator()(const TComplexPoint& P) const;
};

// The same for the cache kernels of modes 5..8 (IterateMandelToCache or
// IterateJuliaToCache, counted in the statistics): the renderers compute
// whole grid rows of it with the batch kernels.
struct TEngineCacheKernel {
    TMandel* Engine;
    void operator()(const TComplexPoint& C, int32_t X, int32_t Y) const;
};

class TMandel {
public:
    TMandel();
    ~TMandel();
    TMandel(const TMandel&) = delete;
    TMandel& operator=(const TMandel&) = delete;

    // Public options written directly by the callers, without checks.
    uint8_t DrawMode = dmNormal;
    uint8_t PotentialVariant = 0;
    uint8_t BrightnessFold = 0;
    uint8_t InvertBrightness = 0;
    uint8_t ShadingFunction = 0;

    // View.
    TComplexPoint GetCenter() const { return Center_; }
    void SetCenter(const TComplexPoint& Value) { Center_ = Value; }
    TComplexPoint GetJuliaConstant() const { return JuliaConstant_; }
    // The silent abort unless the kind is Julia.
    void SetJuliaConstant(const TComplexPoint& Value);
    double GetViewWidth() const { return ViewWidth_; }
    void SetViewWidth(double Value) { ViewWidth_ = std::fabs(Value); }
    int32_t GetPower() const { return Power_; }
    void SetPower(int32_t Value) { Power_ = Value; }
    TFractalKind GetKind() const { return Kind_; }
    void SwitchKind();
    void ResetView();
    void CenterToJuliaConstant();
    // Top-left corner of the bitmap, and the corner one pixel step beyond the
    // bottom-right pixel. A zero size shows a message and aborts.
    TComplexPoint GetPointP() const;
    TComplexPoint GetPointQ() const;

    // Picture and iteration settings. The size setters refuse values <= 0
    // with the silent abort.
    int32_t GetWidth() const { return Width_; }
    void SetWidth(int32_t Value);
    int32_t GetHeight() const { return Height_; }
    void SetHeight(int32_t Value);
    int32_t GetMaxIter() const { return MaxIter_; }
    void SetMaxIter(int32_t Value) { MaxIter_ = Value; }
    int32_t GetColorStep() const { return ColorStep_; }
    void SetColorStep(int32_t Value) { ColorStep_ = Value; }
    double GetEscapeRadius() const { return EscapeRadius_; }
    double GetEscapeRadiusSqr() const { return EscapeRadiusSqr_; }
    void SetEscapeRadius(double Value) {
        EscapeRadius_ = Value;
        EscapeRadiusSqr_ = Value * Value;
    }
    double GetScaleExponent() const { return ScaleExponent_; }
    double GetScale() const { return Scale_; }
    void SetScaleExponent(double Value) {
        ScaleExponent_ = Value;
        Scale_ = std::pow(10.0, Value);
    }
    long double GetLn2() const { return Ln2_; }
    TBitmap& GetBitmap() { return Bitmap_; }
    const TBitmap& GetBitmap() const { return Bitmap_; }

    bool GetBusy() const { return Busy_; }
    void SetBusy(bool Value) { Busy_ = Value; }

    // Colour table: entry 0 colours the points that never escape, entries
    // 1..ColorCount are cycled through for every other count.
    int32_t GetColorCount() const { return ColorCount_; }
    const TPaletteArray& GetColorTable() const { return ColorTable_; }
    // Installs a table as it stands (ColorCount := size - 1, at least one
    // entry), without adapting it to the display; for tests and loaders.
    void SetColorTable(const TPaletteArray& Table);
    // Count 0 gives entry 0; otherwise entry ((Count div ColorStep) mod
    // ColorCount) + 1. A zero step or count raises EDivByZero, an index outside
    // the table ERangeError.
    TColor CountToColor(int32_t Count) const {
        if (Count == 0) return Entry(0);
        const int32_t step = ColorStep_;
        const int32_t count = ColorCount_;
        if (step == 0 || count == 0) RaiseDivByZero();
        // -1 as a divisor is the one case where the quotient can overflow.
        const int64_t quotient = step == -1 ? -int64_t{Count} : Count / step;
        return Entry(quotient % count + 1);
    }
    void SetDefaultPalette();
    void MatchPaletteToDevice(int32_t LastIndex);
    // Loads an MCF palette; shows a message and aborts silently when the file
    // is missing or bad, leaving the colours as they were.
    void LoadPalette(const std::string& FileName);

    // The four integer kernels: 0 for a point whose orbit stays within radius
    // 2 for MaxIter iterations, otherwise the iteration after which |z|^2 >= 4
    // first held.
    int32_t IterateMandel2(const TComplexPoint& P) const;
    int32_t IterateJulia2(const TComplexPoint& P) const;
    int32_t IterateMandelN(const TComplexPoint& P) const;
    int32_t IterateJuliaN(const TComplexPoint& P) const;

    // Renders the picture for the current state into the bitmap.
    void Draw();
    // The draw methods, for any kernel callable int32_t(const TComplexPoint&).
    template <class Kernel> void DrawNormal(Kernel&& kernel);
    template <class Kernel> void DrawSearch(Kernel&& kernel);
    template <class Kernel> void DrawEmerge(Kernel&& kernel);
    // Mode 2: square tiles whose uniform borders are filled without computing
    // the inside.
    template <class Kernel> void DrawBoundary(Kernel&& kernel);
    // Mode 4: each pixel the average colour of a 2 x 2 grid of samples.
    template <class Kernel> void DrawAntialias(Kernel&& kernel);

    // Potential-brightness modes 5..8. The cache kernels iterate a point
    // with the escape radius and store its count and last z in
    // ResultCache[X][Y]; an index outside the cache raises ERangeError.
    void IterateMandelToCache(const TComplexPoint& C, int32_t X, int32_t Y);
    void IterateJuliaToCache(const TComplexPoint& C, int32_t X, int32_t Y);
    // Potentials of modes 6, 7 and 8 for a cell's last z and count.
    double PotentialGreen(const TComplexPoint& Z, int32_t Count) const;
    double PotentialSmooth(const TComplexPoint& Z, int32_t Count) const;
    double PotentialCosine(const TComplexPoint& Z, int32_t Count) const;
    // Brightness transfers from a shading value to 0..1.
    double BrightnessAbs(double S) const;
    double BrightnessShift(double S) const;
    double ApplyInvert(double V) const;
    // Whether the cache holds the results of the current view, and the
    // recording of the view after a complete computation.
    bool CacheMatchesView() const;
    void StoreCacheKey();
    // The renderers of modes 5..8, for a cache kernel callable
    // void(const TComplexPoint&, int32_t X, int32_t Y). Each redraws from the
    // cache when it matches the view and computes it afresh otherwise.
    template <class Kernel> void DrawPotentialCache(Kernel&& kernel);
    template <class Kernel> void DrawPotentialPalette(Kernel&& kernel);
    template <class Kernel> void DrawPotentialTint(Kernel&& kernel);

    // Releases the result cache of the potential modes.
    void ClearResultCache();

    // Bound by Draw in modes 5..8 (PotentialProc only in 6..8).
    TPotentialFunc PotentialProc = nullptr;
    TShadeFunc ShadeProc = nullptr;
    TTransferFunc TransferProc = nullptr;

    // How the engine's own kernels run: the instruction set (lowered to what
    // the processor has) and the number of threads that share a row (1: the
    // calling thread alone). The defaults come from NIMBREL_SIMD and
    // NIMBREL_THREADS; the pictures are the same whatever they are.
    TSimdLevel GetSimdLevel() const { return SimdLevel_; }
    void SetSimdLevel(TSimdLevel Value) { SimdLevel_ = Value; }
    int32_t GetThreadCount() const;
    // A value < 1 restores the default.
    void SetThreadCount(int32_t Value) { ThreadCount_ = Value; }

    TDrawStats Stats;

private:
    // Kept out of line so that the checks of the pixel loops inline.
    [[noreturn]] static void RaiseRangeError();
    [[noreturn]] static void RaiseDivByZero();
    // The per-draw mapping from pixels to plane points.
    struct TFrame {
        TComplexPoint P;
        double dx = 0;
        double dy = 0;
        int32_t LastX = 0;
        int32_t LastY = 0;
        TComplexPoint Point(int32_t x, int32_t y) const { return {x * dx + P.Re, y * dy + P.Im}; }
    };
    // Frame steps shared by the integer draw methods: the mapping, the bitmap
    // size, then Busy := True. The caller clears Busy on every exit.
    TFrame BeginFrame();
    // After each row: let the handlers run, then abort if they cleared Busy.
    void YieldRow();
    TColor Entry(int64_t Index) const {
        if (Index < 0 || Index >= static_cast<int64_t>(ColorTable_.size())) RaiseRangeError();
        return ColorTable_[static_cast<std::size_t>(Index)];
    }
    void Tally(int32_t count) {
        ++Stats.KernelCalls;
        Stats.Iterations += count != 0 ? static_cast<uint64_t>(count)
                                       : static_cast<uint64_t>(MaxIter_ > 0 ? MaxIter_ : 0);
    }

    // Potential modes: Draw's binding of the three procedures (raises
    // "PotentialBright Error" for an unknown shading function), the cell
    // access with its range check, the set-up of a computation, and the
    // shading of one pixel from its cell and the cells right of and below it.
    void BindPotentialProcs();
    TResultCell& Cell(int32_t X, int32_t Y) {
        if (X < 0 || static_cast<std::size_t>(X) >= ResultCache.size()) RaiseRangeError();
        auto& column = ResultCache[static_cast<std::size_t>(X)];
        if (Y < 0 || static_cast<std::size_t>(Y) >= column.size()) RaiseRangeError();
        return column[static_cast<std::size_t>(Y)];
    }
    TFrame BeginCacheComputation();
    template <class F> void WithBoundProcs(F&& f);
    template <class Pot, class Shade, class Transfer>
    double Brightness(int32_t x, int32_t y, double dy, Pot pot, Shade shade, Transfer transfer);
    template <bool Tint, class Pot, class Shade, class Transfer>
    void ShadePixel(int32_t x, int32_t y, double dy, Pot pot, Shade shade, Transfer transfer, TRgb& rgb);
    template <bool Tint> void RedrawShaded();
    // Mode 2's walk, whatever computes its points: Count(x, y) answers the
    // count of pixel (x, y) (and counts it in Stats), Colour(count) its
    // colour; Plan(Top, H) is called before the first row (0, 0) and before
    // each strip of rows Top .. Top + H, before any of its points is asked.
    template <class Count, class Colour, class Plan>
    void WalkBoundary(const TFrame& f, Count&& count, Colour&& colour, Plan&& plan);
    template <bool Tint, class Kernel> void ComputeShaded(Kernel& kernel);

    friend struct TEngineKernel;
    friend struct TEngineCacheKernel;

    // The batch kernels' parameters for the current kind, power and limit.
    TBatchParams BatchParams(double Bailout) const;
    // Rows with the batch kernels, for TEngineKernel (mandel_batch.cpp).
    // Per draw, after BeginFrame: the batch parameters and the colour of
    // every count when all of them can be looked up without fault; rows of
    // up to PointsPerRow points.
    void BeginBatch(int32_t PointsPerRow);
    // Computes the N points (Re[k], Im) without counting them in Stats;
    // answers their counts, valid until the next computation.
    const int32_t* ComputeBatchPoints(const double* Re, double Im, int32_t N);
    // The cache kernels a grid row at a time: after BeginCacheComputation,
    // the batch parameters with the escape radius; then the counts and last
    // z of the grid points X = First .. First + N - 1 at Im, valid until the
    // next row. StoreCell puts point k into cell (X, Y) and counts it, as
    // the cache kernel would have done.
    struct TCacheRow {
        const int32_t* Counts;
        const double* ZRe;
        const double* ZIm;
    };
    void BeginCacheBatch();
    TCacheRow ComputeCacheRow(const TFrame& f, double Im, int32_t First, int32_t N);
    void StoreCell(const TCacheRow& Row, int32_t k, int32_t X, int32_t Y) {
        TResultCell& cell = Cell(X, Y);
        cell.Count = Row.Counts[k];
        cell.Z = TComplexPoint{Row.ZRe[k], Row.ZIm[k]};
        Tally(cell.Count);
    }
    // Computes the pixels x = First, First + Stride, ... <= LastX of row y
    // and sets them.
    void PaintBatchRow(const TFrame& f, int32_t y, int32_t First, int32_t Stride);
    // Computes the points x = First, First + Stride, ... <= LastX of row y;
    // answers their counts (valid until the next row) and their number. The
    // points are counted in Stats here when no colour can fail; otherwise
    // CountedBatchColor counts each one as it is coloured.
    const int32_t* ComputeBatchRow(const TFrame& f, int32_t y, int32_t First, int32_t Stride, int32_t& N);
    // CountToColor, through the lookup of BeginBatch where it holds.
    TColor BatchColor(int32_t Count) const {
        if (Count >= 0 && static_cast<std::size_t>(Count) < BatchPixelCount_)
            return TBitmap::FromPixel(BatchPixels_[static_cast<std::size_t>(Count)]);
        return CountToColor(Count);
    }
    TColor CountedBatchColor(int32_t Count) {
        if (!BatchColorsKnown_) Tally(Count);
        return BatchColor(Count);
    }
    // BeginBatch found the colour of every count 0..MaxIter: the pixels of
    // its lookup (kept by Batch_), or none.
    bool BatchColorsKnown_ = false;
    const uint32_t* BatchPixels_ = nullptr;
    std::size_t BatchPixelCount_ = 0;
    // Mode 2 with the batch kernels, after BeginBatch: the plan for the
    // frame, then the counts of each strip the walk asks for (TBoundaryPlan),
    // Width_ per row, row Top first. Nothing is counted in Stats here.
    void BeginBoundaryPlan(const TFrame& f);
    const int32_t* PlanBoundaryStrip(int32_t Top, int32_t H);
    std::unique_ptr<TBoundaryPlan> BoundaryPlan_;
    std::unique_ptr<TBatchRows> Batch_;
    // Mode 4's sample columns of a row and the counts of its upper samples.
    std::vector<double> SampleRe_;
    std::vector<int32_t> UpperCounts_;
    TSimdLevel SimdLevel_ = DefaultSimdLevel();
    int32_t ThreadCount_ = 0;

    long double Ln2_;
    TComplexPoint Center_;
    int32_t ColorStep_ = 0;
    bool Busy_ = false;
    int32_t MaxIter_ = 0;
    TComplexPoint JuliaConstant_;
    int32_t ColorCount_ = 0;
    TFractalKind Kind_ = fkMandelbrot;
    int32_t Width_ = 0;
    int32_t Height_ = 0;
    double ViewWidth_ = 0;
    TBitmap Bitmap_;
    TPaletteArray ColorTable_;
    int32_t Power_ = 0;

public:
    // State of the potential-brightness modes.
    TResultCache ResultCache;
    TResultCacheKey CacheKey;

private:
    double EscapeRadius_ = 0;
    double EscapeRadiusSqr_ = 0;
    double ScaleExponent_ = 0;
    double Scale_ = 1;
};

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

#include "engine/mandel_draw.h"
#include "shading/potential.h"
