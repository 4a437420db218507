// TBigReal against MPFR: every operation truncates toward zero, so each
// result must equal MPFR's RNDZ result at the same precision bit for bit.
#include "values/big_real.h"

#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "platform/exceptions.h"
#include "values/float_exp.h"
#include "values/view.h"

namespace nimbrel {
namespace {

// Exponents as large as MPFR allows: decimal exponents of 10^9 are within ours.
[[maybe_unused]] const bool kWideRange = [] {
    mpfr_set_emin(mpfr_get_emin_min());
    mpfr_set_emax(mpfr_get_emax_max());
    return true;
}();

// An MPFR number holding a TBigReal exactly.
struct TMpfr {
    mpfr_t v;
    explicit TMpfr(mpfr_prec_t Bits) { mpfr_init2(v, Bits); }
    explicit TMpfr(const TBigReal& x) {
        mpfr_init2(v, static_cast<mpfr_prec_t>(x.Limbs().size() * 64));
        mpfr_set_ui(v, 0, MPFR_RNDN);
        if (x.IsZero()) return;
        for (size_t i = x.Limbs().size(); i-- > 0;) {
            mpfr_mul_2ui(v, v, 64, MPFR_RNDN);
            mpfr_add_ui(v, v, static_cast<unsigned long>(x.Limbs()[i]), MPFR_RNDN);  // exact
        }
        mpfr_mul_2si(v, v, static_cast<long>(x.RawExponent()) - static_cast<long>(x.Limbs().size() * 64), MPFR_RNDN);
        if (x.IsNegative()) mpfr_neg(v, v, MPFR_RNDN);
    }
    TMpfr(const TMpfr&) = delete;
    ~TMpfr() { mpfr_clear(v); }
};

bool SameValue(const TBigReal& Got, const TMpfr& Want) {
    TMpfr got(Got);
    return mpfr_cmp(got.v, Want.v) == 0;
}

std::string Show(const TBigReal& x) { return x.ToString(40) + " (" + std::to_string(x.Precision()) + " bits)"; }

// Random operands: 64 to 400 bits, exponents within +-300, now and then a
// neighbour of the other operand so that subtraction cancels.
class TOperands {
public:
    TBigReal Next(const TBigReal* Near) {
        const int32_t bits = 64 + static_cast<int32_t>(rng_() % 337);
        if (Near != nullptr && rng_() % 3 == 0) {
            // Near +- a few units at some depth below it.
            TBigReal d = Random(bits);
            TBigReal::MulPow2(d, Near->Exponent() - static_cast<int64_t>(rng_() % 450) - d.Exponent(), d);
            TBigReal r = *Near + d;
            r.SetPrecision(bits);
            return r;
        }
        return Random(bits);
    }

private:
    TBigReal Random(int32_t bits) {
        TBigReal x(int64_t{0}, bits);
        const int limbs = (bits + 63) / 64;
        for (int k = 0; k < limbs; ++k) {
            uint64_t m = rng_();
            if (rng_() % 8 == 0) m = rng_() % 2 == 0 ? 0 : ~uint64_t{0};  // runs of zeros and ones
            TBigReal part = TBigReal::FromParts(false, m | (k == 0 ? uint64_t{1} << 63 : 0),
                                                -64 * static_cast<int64_t>(k + 1), bits);
            x = x + part;
        }
        TBigReal::MulPow2(x, static_cast<int64_t>(rng_() % 601) - 300, x);
        if (rng_() % 2 == 0) x.Negate();
        return x;
    }
    std::mt19937_64 rng_{20261210};
};

TEST(BigRealTest, ArithmeticEqualsMpfrTruncated) {
    TOperands ops;
    for (int i = 0; i < 20000; ++i) {
        const TBigReal a = ops.Next(nullptr);
        const TBigReal b = ops.Next(&a);
        const mpfr_prec_t bits = std::max(a.Precision(), b.Precision());
        TMpfr ma(a), mb(b), want(bits);
        mpfr_add(want.v, ma.v, mb.v, MPFR_RNDZ);
        ASSERT_TRUE(SameValue(a + b, want)) << Show(a) << " + " << Show(b);
        mpfr_sub(want.v, ma.v, mb.v, MPFR_RNDZ);
        ASSERT_TRUE(SameValue(a - b, want)) << Show(a) << " - " << Show(b);
        mpfr_mul(want.v, ma.v, mb.v, MPFR_RNDZ);
        ASSERT_TRUE(SameValue(a * b, want)) << Show(a) << " * " << Show(b);
        // In place, the result over an operand.
        TBigReal s = a;
        TBigReal::Square(s, s);
        TMpfr sq(static_cast<mpfr_prec_t>(a.Precision()));
        mpfr_sqr(sq.v, ma.v, MPFR_RNDZ);
        ASSERT_TRUE(SameValue(s, sq)) << Show(a) << " squared";
        TBigReal t = b;
        TBigReal::Sub(a, t, t);
        mpfr_sub(want.v, ma.v, mb.v, MPFR_RNDZ);
        ASSERT_TRUE(SameValue(t, want)) << Show(a) << " - " << Show(b) << " in place";
        const int cmp = mpfr_cmp(ma.v, mb.v);
        ASSERT_EQ(TBigReal::Compare(a, b), (cmp > 0) - (cmp < 0)) << Show(a) << " <=> " << Show(b);
    }
}

TEST(BigRealTest, EdgeCases) {
    const TBigReal one(1, 64);
    const TBigReal tiny = TBigReal::FromParts(false, 1, -200, 64);  // 2^-200
    // Truncation toward zero: 1 + 2^-200 stays 1, 1 - 2^-200 is the double
    // below 1 at 64 bits, -(1 - 2^-200) likewise in size.
    EXPECT_EQ(one + tiny, one);
    EXPECT_EQ(one - tiny, TBigReal::FromParts(false, ~uint64_t{0}, -64, 64));
    EXPECT_EQ(tiny - one, TBigReal::FromParts(true, ~uint64_t{0}, -64, 64));
    EXPECT_TRUE((one - one).IsZero());
    EXPECT_EQ((one - one).Exponent(), TBigReal::kZeroExponent);
    EXPECT_TRUE((one * TBigReal(0.0)).IsZero());
    EXPECT_EQ(TBigReal(-0.0), TBigReal(0.0));
    EXPECT_EQ(TBigReal(int64_t{INT64_MIN}).ToDouble(), -9223372036854775808.0);
    EXPECT_EQ(TBigReal(0.75).Exponent(), -1);
    EXPECT_EQ(TBigReal(1.0).Exponent(), 0);
    EXPECT_EQ(TBigReal(3, 64) * 0.5, TBigReal(1.5));
    EXPECT_EQ(TBigReal(3, 64) * -7, TBigReal(-21, 64));
    // Results take the larger precision; SetPrecision truncates.
    EXPECT_EQ((TBigReal(1, 64) + TBigReal(1, 300)).Precision(), 300);
    TBigReal third = TBigReal(1, 200) - tiny;
    third.SetPrecision(70);
    EXPECT_EQ(third, TBigReal(1, 70) - TBigReal::FromParts(false, 1, -70, 70));
    EXPECT_THROW(TBigReal(1.0, 10), ERangeError);
    EXPECT_THROW(TBigReal(std::nan(""), 64), ERangeError);
    EXPECT_THROW(TBigReal::MulPow2(one, int64_t{1} << 61, third), ERangeError);
}

TEST(BigRealTest, ToDoubleIsNearest) {
    const double subnormal = std::numeric_limits<double>::denorm_min();
    struct Case {
        TBigReal Value;
        double Want;
    } cases[] = {
        {TBigReal(0.1), 0.1},
        {TBigReal(-subnormal), -subnormal},
        {TBigReal::FromParts(false, 1, -1075, 64), 0},                       // a tie goes to the even 0
        {TBigReal::FromParts(false, 3, -1076, 64), subnormal},               // 0.75 of it
        {TBigReal::FromParts(false, 1, -1080, 64), 0},
        {TBigReal::FromParts(false, 1, 1024, 64), HUGE_VAL},
        {TBigReal::FromParts(true, (uint64_t{1} << 53) + 1, 0, 64), -9007199254740992.0},  // tie to even
        {TBigReal::FromParts(false, (uint64_t{1} << 53) + 3, 0, 64), 9007199254740996.0},
        {TBigReal(1, 200) + TBigReal::FromParts(false, 1, -53, 200) + TBigReal::FromParts(false, 1, -190, 200),
         1.0000000000000002},  // just above the tie
    };
    for (const Case& c : cases) EXPECT_EQ(c.Value.ToDouble(), c.Want) << Show(c.Value);
    TOperands ops;
    for (int i = 0; i < 5000; ++i) {
        TBigReal x = ops.Next(nullptr);
        TBigReal::MulPow2(x, static_cast<int64_t>(i % 9 - 4) * 250, x);  // subnormals and beyond
        TMpfr m(x);
        ASSERT_EQ(x.ToDouble(), mpfr_get_d(m.v, MPFR_RNDN)) << Show(x);
    }
}

TEST(BigRealTest, ParseWithinOneUnit) {
    const char* good[] = {
        "0", "-0", "+1", "1.", ".5", "-0.743643887037158704752191506114774", "2.5e-1086", "1E+20", "12345678901234567890123",
        "-0.0494700290631040937516922267273536301187457124882248793181049402326421947726869034279915499747594190000000",
        "0.000000000000000000000000000000001", "9.999999999999999999999999999999e999999999", "1e-1000000000",
        "3.14159265358979323846264338327950288419716939937510582097494459230781640628620899862803482534211706798214"
        "808651328230664709384460955058223172535940812848111745028410270193852110555964462294895493038196e-5"};
    for (const char* text : good) {
        for (int32_t bits : {64, 113, 256, 3400}) {
            TBigReal x;
            ASSERT_TRUE(TBigReal::Parse(text, bits, x)) << text;
            EXPECT_EQ(x.Precision(), bits);
            TMpfr want(bits + 200), got(x), diff(bits + 200);
            mpfr_strtofr(want.v, text, nullptr, 10, MPFR_RNDN);
            mpfr_sub(diff.v, got.v, want.v, MPFR_RNDN);
            if (mpfr_zero_p(want.v)) {
                EXPECT_TRUE(x.IsZero()) << text;
                continue;
            }
            // |x - exact| < 2^(e - bits + 1), e the exponent of the exact value.
            EXPECT_TRUE(mpfr_zero_p(diff.v) || mpfr_get_exp(diff.v) <= mpfr_get_exp(want.v) - bits)
                << text << " at " << bits << " bits: " << x.ToString(60);
        }
    }
    const char* bad[] = {"", "-", ".", "e5", "1e", "1e+", "1.2.3", " 1", "1 ", "0x1p3", "nan", "inf", "1e1000000001",
                         "1e-99999999999999999999", "1,5", "--1", "1e5.0"};
    for (const char* text : bad) {
        TBigReal x(7, 64);
        EXPECT_FALSE(TBigReal::Parse(text, 128, x)) << text;
        EXPECT_EQ(x, TBigReal(7, 64)) << text;
    }
}

TEST(BigRealTest, ToStringFormsAndRoundTrips) {
    auto parsed = [](const char* text, int32_t bits) {
        TBigReal x;
        EXPECT_TRUE(TBigReal::Parse(text, bits, x)) << text;
        return x;
    };
    struct Case {
        const char* Text;
        int32_t Digits;
        const char* Want;
    } cases[] = {
        {"-0.743643887037158704752191506114774", 33, "-0.743643887037158704752191506114774"},
        {"2.5e-1086", 10, "2.5e-1086"},
        {"12.5", 17, "12.5"},
        {"1e20", 17, "1e+20"},
        {"123456", 3, "1.23e+5"},
        {"0.00001234", 8, "0.00001234"},
        {"0.000001234", 8, "1.234e-6"},
        {"9.9999", 3, "10"},
        {"-0.5", 1, "-0.5"},
        {"0", 5, "0"},
    };
    for (const Case& c : cases) EXPECT_EQ(parsed(c.Text, 256).ToString(c.Digits), c.Want) << c.Text;
    // Enough digits give the value back.
    TOperands ops;
    for (int i = 0; i < 300; ++i) {
        const TBigReal x = ops.Next(nullptr);
        const int32_t digits = static_cast<int32_t>(x.Precision() * 0.30103) + 3;
        TBigReal back;
        ASSERT_TRUE(TBigReal::Parse(x.ToString(digits), x.Precision() + 64, back));
        TBigReal diff = back - x;
        EXPECT_TRUE(diff.IsZero() || diff.Exponent() < x.Exponent() - x.Precision() + 1) << Show(x);
    }
}

TEST(FloatExpTest, RangeBeyondDoubles) {
    const TFloatExp a(1.5, -2000);   // 1.5 * 2^-2000
    const TFloatExp b(-3.0, -1500);  // -1.5 * 2^-1499
    EXPECT_EQ((a * b).Exp, -3498);
    EXPECT_EQ((a * b).Mantissa, -1.125);
    EXPECT_EQ((a + b), b + a);
    EXPECT_EQ((b + b).Exp, -1498);
    EXPECT_TRUE((b - b).IsZero());
    EXPECT_EQ(TFloatExp(1.0, 0) + TFloatExp(1.0, -60), TFloatExp(1.0 + std::ldexp(1.0, -60)));
    EXPECT_EQ(TFloatExp(1.0, 0) + TFloatExp(1.0, -70), TFloatExp(1.0));
    EXPECT_LT(b, a);
    EXPECT_LT(a, TFloatExp(1e-300));
    EXPECT_LT(TFloatExp(-1.0), TFloatExp(-1e-300));
    EXPECT_EQ(a.ToDouble(), 0.0);
    EXPECT_EQ(TFloatExp(4.9e-324).ToDouble(), 4.9e-324);
    EXPECT_EQ(TFloatExp(1.0, 2000).ToDouble(), HUGE_VAL);
    // Squared towards 0 again and again (a Julia orbit of K = 0) a value ends
    // at 0, and one squared the other way at an infinity, never at an
    // overflowing exponent.
    TFloatExp small(1.5, -1000), large(1.5, 1000);
    TBigReal tiny(1.5, 128), lower;
    tiny.MulPow2(tiny, -1000, tiny);
    for (int i = 0; i < 64; ++i) {
        small = small * small;
        large = large * large;
        TBigReal::Square(tiny, lower);
        tiny = lower;
    }
    EXPECT_TRUE(small.IsZero());
    EXPECT_TRUE(tiny.IsZero());
    EXPECT_EQ(large.ToDouble(), HUGE_VAL);
    EXPECT_TRUE(TFloatExp(1.0, -5).Times2Pow(std::numeric_limits<int64_t>::min()).IsZero());
    // To the big reals and back, and the nearest from them.
    for (double d : {0.0, -1.0, 0.1, 6.02e23, -4.9e-324}) {
        const TFloatExp x = TFloatExp(d).Times2Pow(-5000);
        EXPECT_EQ(TFloatExp::FromBig(x.ToBig(128)), x) << d;
    }
    TBigReal third;
    ASSERT_TRUE(TBigReal::Parse("3.333333333333333333333333333e-1001", 256, third));
    const TFloatExp t = TFloatExp::FromBig(third);
    EXPECT_EQ(t.Exp, third.Exponent());
    TMpfr want(256), got(t.ToBig(64));
    mpfr_strtofr(want.v, "3.333333333333333333333333333e-1001", nullptr, 10, MPFR_RNDN);
    mpfr_div(got.v, got.v, want.v, MPFR_RNDN);
    EXPECT_NEAR(mpfr_get_d(got.v, MPFR_RNDN), 1.0, 2e-16);
    const TComplexFloatExp z{TFloatExp(3.0, -1200), TFloatExp(4.0, -1200)};
    EXPECT_EQ(z.Norm(), TFloatExp(25.0, -2400));
    EXPECT_EQ(z.Squared().Re, TFloatExp(-7.0, -2400));
    EXPECT_EQ((z * z).Im, TFloatExp(24.0, -2400));
}

TEST(DeepViewTest, ExactValuesCompare) {
    TBigReal re, im, im2;
    ASSERT_TRUE(TBigReal::Parse("-0.743643887037158704752191506114774", 200, re));
    ASSERT_TRUE(TBigReal::Parse("0.131825904205311970493132056385139", 200, im));
    ASSERT_TRUE(TBigReal::Parse("0.131825904205311970493132056385138", 200, im2));
    const TBigReal zero(0.0);
    const TView deep = MakeDeepView(fkMandelbrot, re, im, TFloatExp(1.0, -4000), zero, zero, 2);
    EXPECT_EQ(deep.Center.Re, -0.743643887037158704752191506114774);
    EXPECT_EQ(deep.Center.Im, 0.131825904205311970493132056385139);
    EXPECT_EQ(deep.ViewWidth, std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(MakeDeepView(fkMandelbrot, re, im, TFloatExp(0.0), zero, zero, 2).ViewWidth, 0.0);

    TView shallow;
    shallow.Center = {-0.75, 0.125};
    shallow.ViewWidth = 2.5;
    const TView sameAsShallow =
        MakeDeepView(fkMandelbrot, TBigReal(-0.75, 300), TBigReal(0.125), TFloatExp(2.5), zero, zero, 2);
    TView otherDigits = MakeDeepView(fkMandelbrot, re, im2, TFloatExp(1.0, -4000), zero, zero, 2);
    TView otherWidth = MakeDeepView(fkMandelbrot, re, im, TFloatExp(1.0, -4001), zero, zero, 2);
    TView doublesOnly = deep;
    doublesOnly.Deep.reset();
    TView nanView = shallow;
    nanView.Center.Re = std::nan("");
    struct Case {
        const TView& A;
        const TView& B;
        bool Equal;
    } cases[] = {
        {deep, deep, true},           {sameAsShallow, shallow, true}, {shallow, sameAsShallow, true},
        {deep, otherDigits, false},   {deep, otherWidth, false},      {deep, doublesOnly, false},
        {nanView, sameAsShallow, false},
    };
    for (const Case& c : cases) EXPECT_EQ(c.A == c.B, c.Equal) << (&c - cases);
    // Julia constants count for Julia views only.
    TView ja = MakeDeepView(fkJulia, re, im, TFloatExp(1e-30), re, im, 2);
    TView jb = MakeDeepView(fkJulia, re, im, TFloatExp(1e-30), re, im2, 2);
    EXPECT_FALSE(ja == jb);
    ja.Kind = jb.Kind = fkMandelbrot;
    EXPECT_TRUE(ja == jb);
}

}  // namespace
}  // namespace nimbrel
