#include "engine/mandel_class.h"

#include <cmath>

#include "engine/deep_reference.h"
#include "engine/deep_run.h"
#include "engine/draw_potential.h"
#include "engine/mandel_batch.h"
#include "engine/mandel_draw.h"
#include "engine/picture_budget.h"
#include "platform/StandardLibrary.h"
#include "platform/application.h"
#include "platform/exceptions.h"
#include "platform/worker_pool.h"

namespace nimbrel {

namespace {

const char* const kNoSizeP = "表示サイズが指定してありません(TMandel.GetPointP)";
const char* const kNoSizeQ = "表示サイズが指定してありません(TMandel.GetPointQ)";

}  // namespace

void TMandel::RaiseRangeError() { throw ERangeError(); }

void TMandel::RaiseDivByZero() { throw EDivByZero(); }

TMandel::TMandel() {
    ResetView();
    SetDefaultPalette();
}

TMandel::~TMandel() = default;

TMandelBatch& TMandel::Batch() {
    if (!batch_) batch_ = std::make_unique<TMandelBatch>(*this);
    return *batch_;
}

void TMandel::SetView(const TView& Value) {
    const TComplexPoint constant = view_.JuliaConstant;
    view_ = Value;
    view_.ViewWidth = std::fabs(Value.ViewWidth);
    if (Value.Kind == fkMandelbrot) view_.JuliaConstant = constant;
}

void TMandel::SetJuliaConstant(const TComplexPoint& Value) {
    if (view_.Kind != fkJulia) Abort();
    view_.JuliaConstant = Value;
    if (view_.Deep && !(std::isfinite(Value.Re) && std::isfinite(Value.Im))) view_.Deep.reset();
    if (view_.Deep) {
        auto deep = std::make_shared<TDeepView>(*view_.Deep);
        deep->JuliaRe = TBigReal(Value.Re);
        deep->JuliaIm = TBigReal(Value.Im);
        view_.Deep = std::move(deep);
    }
}

void TMandel::SetCenter(const TComplexPoint& Value) {
    view_.Center = Value;
    if (view_.Deep && !(std::isfinite(Value.Re) && std::isfinite(Value.Im))) view_.Deep.reset();
    if (view_.Deep) {
        auto deep = std::make_shared<TDeepView>(*view_.Deep);
        deep->CenterRe = TBigReal(Value.Re);
        deep->CenterIm = TBigReal(Value.Im);
        view_.Deep = std::move(deep);
    }
}

void TMandel::SetViewWidth(double Value) {
    view_.ViewWidth = std::fabs(Value);
    if (view_.Deep) {
        auto deep = std::make_shared<TDeepView>(*view_.Deep);
        deep->Width = TFloatExp(view_.ViewWidth);
        view_.Deep = std::move(deep);
    }
}

void TMandel::SwitchKind() {
    if (view_.Kind == fkMandelbrot) {
        view_.Kind = fkJulia;
        SetJuliaConstant(GetCenter());
    } else {
        view_.Kind = fkMandelbrot;
    }
    CenterToJuliaConstant();
    ResetView();
}

void TMandel::ResetView() {
    if (view_.Power == 2) {
        if (view_.Kind == fkMandelbrot) {
            SetCenter({-0.8, 0});
            SetViewWidth(3.0);
        } else if (view_.Kind == fkJulia) {
            SetCenter({0, 0});
            SetViewWidth(4.0);
        }
    } else {
        SetCenter({0, 0});
        SetViewWidth(4.0);
    }
}

void TMandel::CenterToJuliaConstant() {
    if (view_.Kind != fkJulia) return;
    view_.JuliaConstant = view_.Center;
    if (view_.Deep) {
        auto deep = std::make_shared<TDeepView>(*view_.Deep);
        deep->JuliaRe = deep->CenterRe;
        deep->JuliaIm = deep->CenterIm;
        view_.Deep = std::move(deep);
    }
}

TViewMapping TMandel::CheckedMapping(const char* NoSizeText) const {
    if (width_ == 0 || height_ == 0) {
        ShowError(NoSizeText);
        Abort();
    }
    return Mapping();
}

TComplexPoint TMandel::GetPointP() const { return CheckedMapping(kNoSizeP).P; }

TComplexPoint TMandel::GetPointQ() const { return CheckedMapping(kNoSizeQ).Q; }

void TMandel::SetWidth(int32_t Value) {
    if (Value <= 0) Abort();
    width_ = Value;
}

void TMandel::SetHeight(int32_t Value) {
    if (Value <= 0) Abort();
    height_ = Value;
}

void TMandel::SetColorTable(const TPaletteArray& Table) {
    if (Table.empty()) throw ERangeError();
    colorTable_ = Table;
    colorCount_ = static_cast<int32_t>(Table.size()) - 1;
}

void TMandel::SetDefaultPalette() {
    colorCount_ = 127;
    colorTable_.assign(128, 0);
    for (int32_t i = 1; i <= 127; ++i) colorTable_[static_cast<std::size_t>(i)] = i * (16777216 / colorCount_);
    MatchPaletteToDevice(127);
}

void TMandel::MatchPaletteToDevice(int32_t LastIndex) {
    // A 32-bit bitmap holds every colour: each entry reads back as the plain
    // colour value the bitmap keeps for it.
    TBitmap probe;
    probe.SetSize(2, 2);
    for (int32_t i = 0; i <= LastIndex; ++i) {
        probe.SetPixel(1, 1, Entry(i));
        colorTable_[static_cast<std::size_t>(i)] = probe.GetPixel(1, 1);
    }
}

int32_t TMandel::GetThreadCount() const { return threadCount_ >= 1 ? threadCount_ : DefaultThreadCount(); }

void TMandel::ClearResultCache() {
    TResultCache().swap(ResultCache);
    CacheKey.Width = 0;
    CacheKey.Height = 0;
    CacheKey.Complete = false;
}

TMandel::TFrame TMandel::BeginFrame() {
    TFrame f;
    const TViewMapping m = CheckedMapping(kNoSizeP);
    f.P = m.P;
    f.dx = m.dx;
    f.dy = m.dy;
    // A picture beyond the machine's budget fails here, before its bitmap.
    if (!TPictureBudget::OfMachine().Fits(width_, height_, false)) throw EOutOfResources();
    bitmap_.SetSize(width_, height_);
    if (deepActive_) {
        // The deep kernels take the pixel's position itself.
        f.P = {0, 0};
        f.dx = 1;
        f.dy = 1;
    }
    SetBusy(true);
    f.LastX = width_ - 1;
    f.LastY = height_ - 1;
    return f;
}

void TMandel::YieldRow() {
    Stats.MostWorkBetweenYields = work_.Most();
    work_.Yielded();
    if (yieldHook_ != nullptr) yieldHook_->OnYield();
    else Application().ProcessMessages();
    if (!busy_) Abort();
}

void TMandel::Draw() {
    // The kernel for the kind and power (IterateMandel2 or IterateMandelN for
    // the Mandelbrot set, IterateJulia2 or IterateJuliaN otherwise), and the
    // cache kernel (IterateMandelToCache or IterateJuliaToCache), counted in
    // the statistics.
    if (NeedsDeep()) {
        DrawDeep();
        return;
    }
    DrawWith(TEngineKernel{this}, TEngineCacheKernel{this});
}

}  // namespace nimbrel
