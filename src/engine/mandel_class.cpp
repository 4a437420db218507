#include "engine/mandel_class.h"

#include <cmath>

#include "engine/batch_rows.h"
#include "engine/boundary_plan.h"
#include "platform/sysutils.h"
#include "shell/StandardLibrary.h"

namespace nimbrel {

namespace {

const char* const kNoSizeP = "表示サイズが指定してありません(TMandel.GetPointP)";
const char* const kNoSizeQ = "表示サイズが指定してありません(TMandel.GetPointQ)";

int32_t SwapStoredPair(int32_t value) {
    switch (value) {
        case 0: case 1: case 2: case 5: case 6: case 7: case 8: return value;
        case 3: return 4;
        case 4: return 3;
        default: return 0;
    }
}

}  // namespace

TDrawMode StoredToDrawMode(int32_t Value) { return static_cast<TDrawMode>(SwapStoredPair(Value)); }

int32_t DrawModeToStored(uint8_t Mode) { return SwapStoredPair(Mode & 0x7F); }

uint8_t FlagFromStored(int32_t Value) { return Value == 1 ? 1 : 0; }

uint8_t ShadingFromStored(int32_t Value) { return (Value >= 1 && Value <= 3) ? static_cast<uint8_t>(Value) : 0; }

TComplexPoint ComplexPower(const TComplexPoint& Z, int32_t N) {
    if (N <= 1) return Z;
    const TComplexPoint S{Z.Re * Z.Re - Z.Im * Z.Im, (2 * Z.Re) * Z.Im};
    const int32_t H = N / 2;
    if (N % 2 == 0) return ComplexPower(S, H);
    const TComplexPoint T = ComplexPower(S, H);
    return {T.Re * Z.Re - T.Im * Z.Im, T.Re * Z.Im + T.Im * Z.Re};
}

void TMandel::RaiseRangeError() { throw ERangeError(); }

void TMandel::RaiseDivByZero() { throw EDivByZero(); }

TMandel::TMandel() : Ln2_(std::log(2.0L)) {
    Kind_ = fkMandelbrot;
    ColorTable_.assign(1024, 0);
    SetWidth(200);
    SetHeight(200);
    SetMaxIter(256);
    SetColorStep(1);
    Power_ = 2;
    SetBusy(false);
    ResetView();
    CenterToJuliaConstant();
    SetDefaultPalette();
    SetEscapeRadius(2.0);
    BrightnessFold = 0;
    DrawMode = dmNormal;
    PotentialVariant = 0;
    InvertBrightness = 0;
    SetScaleExponent(0.0);
    ShadingFunction = 0;
    CacheKey = TResultCacheKey{};
    CacheKey.Kind = 1;
}

TMandel::~TMandel() = default;

void TMandel::SetJuliaConstant(const TComplexPoint& Value) {
    if (Kind_ != fkJulia) Abort();
    JuliaConstant_ = Value;
}

void TMandel::SwitchKind() {
    if (Kind_ == fkMandelbrot) {
        Kind_ = fkJulia;
        SetJuliaConstant(GetCenter());
    } else {
        Kind_ = fkMandelbrot;
    }
    CenterToJuliaConstant();
    ResetView();
}

void TMandel::ResetView() {
    if (Power_ == 2) {
        if (Kind_ == fkMandelbrot) {
            SetCenter({-0.8, 0});
            SetViewWidth(3.0);
        } else if (Kind_ == fkJulia) {
            SetCenter({0, 0});
            SetViewWidth(4.0);
        }
    } else {
        SetCenter({0, 0});
        SetViewWidth(4.0);
    }
}

void TMandel::CenterToJuliaConstant() {
    if (Kind_ == fkJulia) JuliaConstant_ = Center_;
}

TComplexPoint TMandel::GetPointP() const {
    if (Width_ == 0 || Height_ == 0) {
        ShowError(kNoSizeP);
        Abort();
    }
    const double X = (Width_ * ViewWidth_) / Height_;
    return {Center_.Re - X / 2, Center_.Im + ViewWidth_ / 2};
}

TComplexPoint TMandel::GetPointQ() const {
    if (Width_ == 0 || Height_ == 0) {
        ShowError(kNoSizeQ);
        Abort();
    }
    const double X = (Width_ * ViewWidth_) / Height_;
    return {Center_.Re + X / 2, Center_.Im - ViewWidth_ / 2};
}

void TMandel::SetWidth(int32_t Value) {
    if (Value <= 0) Abort();
    Width_ = Value;
}

void TMandel::SetHeight(int32_t Value) {
    if (Value <= 0) Abort();
    Height_ = Value;
}

void TMandel::SetColorTable(const TPaletteArray& Table) {
    if (Table.empty()) throw ERangeError();
    ColorTable_ = Table;
    ColorCount_ = static_cast<int32_t>(Table.size()) - 1;
}

void TMandel::SetDefaultPalette() {
    if (ColorTable_.empty()) ColorTable_.resize(1);
    ColorTable_[0] = 0;
    ColorCount_ = 127;
    ColorTable_.resize(128);
    for (int32_t i = 1; i <= 127; ++i) ColorTable_[static_cast<std::size_t>(i)] = i * (16777216 / ColorCount_);
    MatchPaletteToDevice(127);
}

void TMandel::MatchPaletteToDevice(int32_t LastIndex) {
    // A 32-bit bitmap holds every colour: each entry reads back as the plain
    // colour value the bitmap keeps for it.
    TBitmap probe;
    probe.SetSize(2, 2);
    for (int32_t i = 0; i <= LastIndex; ++i) {
        probe.SetPixel(1, 1, Entry(i));
        ColorTable_[static_cast<std::size_t>(i)] = probe.GetPixel(1, 1);
    }
}

void TMandel::ClearResultCache() {
    TResultCache().swap(ResultCache);
    CacheKey.Width = 0;
    CacheKey.Height = 0;
}

TMandel::TFrame TMandel::BeginFrame() {
    TFrame f;
    const TComplexPoint P = GetPointP();
    const TComplexPoint Q = GetPointQ();
    f.P = P;
    f.dx = (Q.Re - P.Re) / Width_;
    f.dy = (Q.Im - P.Im) / Height_;
    Bitmap_.SetSize(Width_, Height_);
    SetBusy(true);
    f.LastX = Width_ - 1;
    f.LastY = Height_ - 1;
    return f;
}

void TMandel::YieldRow() {
    Application().ProcessMessages();
    if (!Busy_) Abort();
}

void TMandel::Draw() {
    Stats = TDrawStats{};
    if (IsIntegerDrawMode(DrawMode)) {
        ClearResultCache();
        auto draw = [this](auto kernel) {
            switch (DrawMode) {
                case dmNormal: DrawNormal(kernel); break;
                case dmSearch: DrawSearch(kernel); break;
                case dmBoundary: DrawBoundary(kernel); break;
                case dmEmerge: DrawEmerge(kernel); break;
                default: DrawAntialias(kernel); break;
            }
        };
        // The kernel for the kind and power: IterateMandel2 or IterateMandelN
        // for the Mandelbrot set, IterateJulia2 or IterateJuliaN otherwise.
        draw(TEngineKernel{this});
        return;
    }
    // Modes 5..8 keep the result cache; a bad shading function stops here,
    // before any pixel or the cache changes.
    BindPotentialProcs();
    auto render = [this](auto kernel) {
        if (DrawMode == dmPotentialCache)
            DrawPotentialCache(kernel);
        else if (PotentialVariant == 1)
            DrawPotentialTint(kernel);
        else
            DrawPotentialPalette(kernel);
    };
    // IterateMandelToCache for the Mandelbrot set, IterateJuliaToCache
    // otherwise, counted in the statistics.
    render(TEngineCacheKernel{this});
}

}  // namespace nimbrel
