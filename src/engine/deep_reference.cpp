#include "engine/deep_reference.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <new>

#include "platform/exceptions.h"
#include "values/float_exp.h"

namespace nimbrel {

namespace {

// The texts of the refusals, shown in the error box of the show.
const char* const kTooDeepText = "この場面は深すぎて描けません（必要な精度が上限の65536ビットを超えます）";
const char* const kTooLongText =
    "この場面は深い拡大には反復回数が多すぎて描けません（基準軌道が上限の1GiBのメモリに収まりません）";
const char* const kPowerText = "この場面の巾乗は深い拡大で描ける上限の64を超えています";

// Beyond this |Z|^2 an orbit ends whatever the bailout: the pixels rebase at
// its end and go on in doubles, as the double kernels would.
constexpr double kOrbitEnd = 1e300;

int32_t MulsPerStep(int32_t Power) {
    if (Power == 2) return 3;
    if (Power == 3) return 4;
    int32_t muls = 0;
    for (int32_t bit = 30 - std::countl_zero(static_cast<uint32_t>(Power)); bit >= 0; --bit) {
        muls += 3;                                  // a complex square
        if (((Power >> bit) & 1) != 0) muls += 4;  // a complex product
    }
    return muls;
}

}  // namespace

std::string TDeepReference::Check(const TDeepReferenceKey& Key) {
    if (Key.Bits > kMaxBits) return kTooDeepText;
    if (Key.Power > kMaxPower) return kPowerText;
    const uint64_t orbits = Key.Kind == fkJulia ? 2 : 1;
    const uint64_t length = static_cast<uint64_t>(std::max<int32_t>(Key.MaxIter, 0)) + 1;
    if (length * kBytesPerIteration * orbits > kMaxReferenceBytes) return kTooLongText;
    return {};
}

uint64_t TDeepReference::StepCost(int32_t Bits, int32_t Power) {
    // A product of n limbs costs about n^2 / 3 + 8 double steps of 3.2 ns
    // (bench_big_real: 23 ns at 2 limbs, 3.1 us at 54), a sum about n + 8;
    // rounded up here, with a sum per product.
    const uint64_t limbs = static_cast<uint64_t>((Bits + 63) / 64);
    return static_cast<uint64_t>(MulsPerStep(Power)) * (16 + limbs * limbs / 2 + 2 * limbs) + 16;
}

bool TDeepReference::Serves(const TDeepReferenceKey& Key) const {
    const TDeepReferenceKey& k = key_;
    return complete_ && k.Kind == Key.Kind && k.Power == Key.Power && k.MaxIter == Key.MaxIter &&
           k.Bailout == Key.Bailout && k.Bits >= Key.Bits && k.CenterRe == Key.CenterRe && k.CenterIm == Key.CenterIm &&
           (Key.Kind == fkMandelbrot || (k.JuliaRe == Key.JuliaRe && k.JuliaIm == Key.JuliaIm));
}

void TDeepReference::Clear() {
    started_ = complete_ = false;
    start_ = TOrbit();
    critical_ = TOrbit();
}

void TDeepReference::TOrbit::Push() {
    const double re = Zr.ToDouble(), im = Zi.ToDouble();
    Re.push_back(re);
    Im.push_back(im);
    if (std::fabs(re) + std::fabs(im) < std::ldexp(1.0, deep::kTinyBelow) && !(Zr.IsZero() && Zi.IsZero())) {
        // The exact value with the larger part's exponent: its doubles have
        // lost digits or are 0.
        const TFloatExp a = TFloatExp::FromBig(Zr), b = TFloatExp::FromBig(Zi);
        const int64_t e = a.IsZero() ? b.Exp : (b.IsZero() ? a.Exp : std::max(a.Exp, b.Exp));
        const auto down = [e](const TFloatExp& x) {
            return x.IsZero() || x.Exp - e < -1100 ? 0.0 : std::ldexp(x.Mantissa, static_cast<int>(x.Exp - e));
        };
        Tiny.push_back({static_cast<int32_t>(Re.size() - 1), {down(a), down(b), e}});
    }
}

uint64_t TDeepReference::Bytes() const {
    uint64_t bytes = 0;
    for (const TOrbit* o : {&start_, &critical_})
        bytes += o->Re.size() * kBytesPerIteration + o->Tiny.size() * sizeof(TDeepTinyZ);
    return bytes;
}

void TDeepReference::Start(const TDeepReferenceKey& Key) {
    Clear();
    ++generation_;
    key_ = Key;
    const int32_t bits = Key.Bits;
    auto at = [bits](const TBigReal& v) {
        TBigReal r = v;
        r.SetPrecision(bits);
        return r;
    };
    try {
        if (Key.Kind == fkMandelbrot) {
            cr_ = at(Key.CenterRe);
            ci_ = at(Key.CenterIm);
            start_.Zr = TBigReal(0, bits);
            start_.Zi = TBigReal(0, bits);
        } else {
            cr_ = at(Key.JuliaRe);
            ci_ = at(Key.JuliaIm);
            start_.Zr = at(Key.CenterRe);
            start_.Zi = at(Key.CenterIm);
            critical_.Zr = TBigReal(0, bits);
            critical_.Zi = TBigReal(0, bits);
            critical_.Push();
            critical_.Done = Key.MaxIter <= 0;
        }
        for (auto& t : temp_) t = TBigReal(0, bits);
        temp_[7] = TBigReal(3, bits);
        start_.Push();
    } catch (const std::bad_alloc&) {
        Clear();
        throw EOutOfResources();
    }
    start_.Done = Key.MaxIter <= 0;
    started_ = true;
    complete_ = start_.Done && (Key.Kind == fkMandelbrot || critical_.Done);
}

bool TDeepReference::TOrbit::Step(const TDeepReferenceKey& Key, const TBigReal& Cr, const TBigReal& Ci,
                                  TBigReal* t) {
    if (Done) return false;
    if (Key.Power == 2) {
        TBigReal::Square(Zr, t[0]);
        TBigReal::Square(Zi, t[1]);
        TBigReal::Mul(Zr, Zi, t[2]);
        TBigReal::Sub(t[0], t[1], Zr);
        TBigReal::Add(Zr, Cr, Zr);
        TBigReal::MulPow2(t[2], 1, Zi);
        TBigReal::Add(Zi, Ci, Zi);
    } else if (Key.Power == 3) {
        // (x^2 - 3y^2) x + i (3x^2 - y^2) y
        TBigReal::Square(Zr, t[0]);
        TBigReal::Square(Zi, t[1]);
        TBigReal::Mul(t[1], t[7], t[2]);
        TBigReal::Sub(t[0], t[2], t[2]);
        TBigReal::Mul(t[0], t[7], t[3]);
        TBigReal::Sub(t[3], t[1], t[3]);
        TBigReal::Mul(Zr, t[2], Zr);
        TBigReal::Add(Zr, Cr, Zr);
        TBigReal::Mul(Zi, t[3], Zi);
        TBigReal::Add(Zi, Ci, Zi);
    } else {
        // Z^Power by squaring and multiplying from the top bit down.
        t[4] = Zr;
        t[5] = Zi;
        for (int32_t bit = 30 - std::countl_zero(static_cast<uint32_t>(Key.Power)); bit >= 0; --bit) {
            TBigReal::Square(t[4], t[0]);
            TBigReal::Square(t[5], t[1]);
            TBigReal::Mul(t[4], t[5], t[2]);
            TBigReal::Sub(t[0], t[1], t[4]);
            TBigReal::MulPow2(t[2], 1, t[5]);
            if (((Key.Power >> bit) & 1) != 0) {
                TBigReal::Mul(t[4], Zr, t[0]);
                TBigReal::Mul(t[5], Zi, t[1]);
                TBigReal::Mul(t[4], Zi, t[2]);
                TBigReal::Mul(t[5], Zr, t[3]);
                TBigReal::Sub(t[0], t[1], t[4]);
                TBigReal::Add(t[2], t[3], t[5]);
            }
        }
        TBigReal::Add(t[4], Cr, Zr);
        TBigReal::Add(t[5], Ci, Zi);
    }
    Push();
    const double x = Re.back(), y = Im.back();
    const double norm = x * x + y * y;
    const auto n = static_cast<int64_t>(Re.size()) - 1;
    if (!(norm < Key.Bailout) || !(norm < kOrbitEnd) || n >= Key.MaxIter) Done = true;
    return true;
}

bool TDeepReference::Advance(int64_t Steps) {
    if (!started_) return false;
    try {
        for (int64_t s = 0; s < Steps && !complete_; ++s) {
            start_.Step(key_, cr_, ci_, temp_);
            if (key_.Kind == fkJulia) critical_.Step(key_, cr_, ci_, temp_);
            complete_ = start_.Done && (key_.Kind == fkMandelbrot || critical_.Done);
        }
        if (!start_.Tiny.empty() || !critical_.Tiny.empty()) {
            if (Bytes() > kMaxReferenceBytes) {
                Clear();
                throw Exception(kTooLongText);
            }
        }
    } catch (const std::bad_alloc&) {
        Clear();
        throw EOutOfResources();
    }
    return complete_;
}

int64_t TDeepReference::Iterations() const {
    const size_t n = std::max(start_.Re.size(), key_.Kind == fkJulia ? critical_.Re.size() : size_t{0});
    return n == 0 ? 0 : static_cast<int64_t>(n) - 1;
}

}  // namespace nimbrel
