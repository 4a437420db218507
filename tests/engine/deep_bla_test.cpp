#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/deep_bla_impl.h"
#include "engine/mandel_class.h"
#include "platform/yield_hook.h"
#include "values/view.h"

#include <mpfr.h>

namespace nimbrel {

namespace {

struct TPixel {
    int32_t Count = 0;
    uint64_t Skipped = 0;
};

// The plain perturbation loop with rebasing, and with merged steps where a
// table is given: the loop the table is made for.
template <class T>
TPixel Perturb(const std::vector<TComplexPoint>& Z, TBlaComplex<T> dz, const TBlaComplex<T>& dc, int32_t maxIter,
               const TBlaTable<T>* table) {
    using S = TBlaScalar<T>;
    const size_t last = Z.size() - 1;
    size_t m = 0;
    TPixel end;
    for (int64_t n = 0; n < maxIter;) {
        uint64_t length = 0;
        const TBlaStep<T>* step = table ? table->Find(m, S::Abs(dz.Re) + S::Abs(dz.Im), maxIter - n, length) : nullptr;
        if (step != nullptr) {
            dz = ApplyBla(*step, dz, dc);
            end.Skipped += length;
        } else {
            const TBlaComplex<T> twoZ{S::FromDouble(2 * Z[m].Re), S::FromDouble(2 * Z[m].Im)};
            dz = (twoZ + dz) * dz + dc;
            length = 1;
        }
        m += length;
        n += static_cast<int64_t>(length);
        const TBlaComplex<T> z{S::FromDouble(Z[m].Re) + dz.Re, S::FromDouble(Z[m].Im) + dz.Im};
        const double zr = S::ToDouble(z.Re), zi = S::ToDouble(z.Im);
        if (zr * zr + zi * zi >= 4) {
            end.Count = static_cast<int32_t>(n);
            return end;
        }
        const TBlaComplex<T> rebased{z.Re - S::FromDouble(Z[0].Re), z.Im - S::FromDouble(Z[0].Im)};
        if (rebased.Re * rebased.Re + rebased.Im * rebased.Im < dz.Re * dz.Re + dz.Im * dz.Im || m == last) {
            dz = rebased;
            m = 0;
        }
    }
    return end;
}

// An orbit as the table reads it.
struct TSplit {
    explicit TSplit(const std::vector<TComplexPoint>& orbit) {
        for (const TComplexPoint& z : orbit) {
            Re.push_back(z.Re);
            Im.push_back(z.Im);
        }
    }
    std::vector<double> Re, Im;
};

// A synthetic orbit: |Z| = 0.9 everywhere but where told.
std::vector<TComplexPoint> FlatOrbit(size_t size, std::vector<std::pair<size_t, TComplexPoint>> at = {}) {
    std::vector<TComplexPoint> z(size, TComplexPoint{0.9 * std::cos(1.0), 0.9 * std::sin(1.0)});
    z[0] = {0, 0};
    for (auto [k, v] : at) z[k] = v;
    return z;
}

TEST(DeepBla, StepsStayInsideTheOrbitTheLimitAndTheBarriers) {
    struct TCase {
        const char* what;
        std::vector<TComplexPoint> orbit;
        bool julia;
        uint64_t m, maxLength, length;  // length 0: no step
    } cases[] = {
        {"no orbit", {}, false, 0, 100, 0},
        {"one value", FlatOrbit(1), false, 0, 100, 0},
        {"the step from Z_0 = 0 is never linear", FlatOrbit(64), false, 0, 100, 0},
        {"aligned start, whole tree", FlatOrbit(66), false, 1, 1000, 64},
        {"never past Z_M", FlatOrbit(64), false, 1, 1000, 32},
        {"the limit", FlatOrbit(65), false, 1, 20, 16},
        {"one iteration of room is no step", FlatOrbit(65), false, 1, 1, 0},
        {"odd start", FlatOrbit(65), false, 2, 1000, 0},
        {"alignment", FlatOrbit(65), false, 13, 1000, 4},
        {"far enough from the bailout", FlatOrbit(65, {{5, {1.9999999, 0}}}), false, 1, 1000, 32},
        {"near the bailout", FlatOrbit(65, {{5, {2 - 1e-12, 0}}}), false, 1, 1000, 4},
        {"a zero", FlatOrbit(65, {{7, {0, 0}}}), false, 1, 1000, 4},
        {"Julia starts at 0", FlatOrbit(65, {{0, {0.3, 0.2}}}), true, 0, 1000, 64},
        {"a Julia set's critical orbit", FlatOrbit(66), true, 1, 1000, 64},
    };
    for (const TCase& c : cases) {
        TBlaTable<double> table;
        const TSplit z(c.orbit);
        table.BuildAll(z.Re.data(), z.Im.data(), c.orbit.size(), {c.julia, 4, kBlaEpsilon}, c.julia ? 0 : 1e-60);
        ASSERT_TRUE(table.Complete()) << c.what;
        EXPECT_LE(table.Entries() * sizeof(TBlaStep<double>), TBlaTable<double>::BytesFor(c.orbit.size())) << c.what;
        uint64_t length = 0;
        const TBlaStep<double>* step = table.Find(c.m, 1e-40, c.maxLength, length);
        EXPECT_EQ(step != nullptr ? length : 0, c.length) << c.what;
    }
}

// A table built in small pieces is the table built at once; cancelling drops
// it and a new start builds it again.
TEST(DeepBla, ResumableBuildYieldsWithinItsBudget) {
    const std::vector<TComplexPoint> orbit = FlatOrbit(5000, {{1234, {2 - 1e-12, 0}}});
    TBlaTable<double> whole, pieces;
    const TSplit z(orbit);
    whole.BuildAll(z.Re.data(), z.Im.data(), orbit.size(), {}, 1e-20);
    for (int attempt = 0; attempt < 2; ++attempt) {
        pieces.Start(z.Re.data(), z.Im.data(), orbit.size(), {}, 1e-20);
        TWorkMeter meter;
        meter.SetBudget(600);
        int calls = 1;
        for (; !pieces.Build(meter); ++calls) {
            EXPECT_LE(meter.Spent(), meter.Budget());
            meter.Yielded();
            if (attempt == 0 && calls == 5) break;
        }
        if (attempt == 0) {
            EXPECT_FALSE(pieces.Complete());
            pieces.Clear();
            EXPECT_EQ(pieces.Entries(), 0u);
            continue;
        }
        EXPECT_GE(calls, 50);
        EXPECT_LE(meter.Most(), meter.Budget());
        ASSERT_EQ(pieces.Entries(), whole.Entries());
        for (size_t j = 0; j < whole.Levels(); ++j)
            for (size_t i = 0; i < whole.LevelCount(j); ++i)
                ASSERT_EQ(std::memcmp(&pieces.Entry(j, i), &whole.Entry(j, i), sizeof(TBlaStep<double>)), 0);
    }
}

class TMp {
public:
    explicit TMp(mpfr_prec_t bits) { mpfr_init2(v, bits); }
    ~TMp() { mpfr_clear(v); }
    TMp(const TMp&) = delete;
    TMp& operator=(const TMp&) = delete;
    mpfr_t v;
};

// z -> z^2 + c from z = Z0 (when given) or 0, in MPFR; fn sees every z as
// doubles and stops the orbit by returning false. The count, 0 when it stays.
template <class F>
int32_t MpOrbit(const TMp& cr, const TMp& ci, int32_t maxIter, mpfr_prec_t bits, F fn) {
    TMp x(bits), y(bits), xx(bits), yy(bits), t(bits);
    mpfr_set_ui(x.v, 0, MPFR_RNDN);
    mpfr_set_ui(y.v, 0, MPFR_RNDN);
    if (!fn(0.0, 0.0)) return 0;
    for (int32_t i = 1; i <= maxIter; ++i) {
        mpfr_sqr(xx.v, x.v, MPFR_RNDN);
        mpfr_sqr(yy.v, y.v, MPFR_RNDN);
        mpfr_mul(t.v, x.v, y.v, MPFR_RNDN);
        mpfr_mul_2ui(t.v, t.v, 1, MPFR_RNDN);
        mpfr_add(y.v, t.v, ci.v, MPFR_RNDN);
        mpfr_sub(x.v, xx.v, yy.v, MPFR_RNDN);
        mpfr_add(x.v, x.v, cr.v, MPFR_RNDN);
        const double dx = mpfr_get_d(x.v, MPFR_RNDN), dy = mpfr_get_d(y.v, MPFR_RNDN);
        if (!fn(dx, dy)) return 0;
        mpfr_sqr(xx.v, x.v, MPFR_RNDN);
        mpfr_sqr(yy.v, y.v, MPFR_RNDN);
        mpfr_add(t.v, xx.v, yy.v, MPFR_RNDN);
        if (mpfr_cmp_ui(t.v, 4) >= 0) return i;
    }
    return 0;
}

// A Mandelbrot view of width 2^-WidthExp around a centre given in decimals:
// its reference orbit, and for pixel (u, v) of [-1/2, 1/2]^2 the count of the
// direct iteration in MPFR.
struct TDeepView {
    TDeepView(const char* cr, const char* ci, int widthExp, int32_t maxIter)
        : bits(widthExp + 128), exp(widthExp), limit(maxIter), Cr(bits), Ci(bits) {
        mpfr_set_str(Cr.v, cr, 10, MPFR_RNDN);
        mpfr_set_str(Ci.v, ci, 10, MPFR_RNDN);
        MpOrbit(Cr, Ci, limit, bits, [&](double x, double y) {
            orbit.push_back({x, y});
            return true;
        });
    }
    int32_t Direct(double u, double v) const {
        TMp cr(bits), ci(bits);
        mpfr_set_d(cr.v, u, MPFR_RNDN);
        mpfr_mul_2si(cr.v, cr.v, -exp, MPFR_RNDN);
        mpfr_add(cr.v, cr.v, Cr.v, MPFR_RNDN);
        mpfr_set_d(ci.v, v, MPFR_RNDN);
        mpfr_mul_2si(ci.v, ci.v, -exp, MPFR_RNDN);
        mpfr_add(ci.v, ci.v, Ci.v, MPFR_RNDN);
        return MpOrbit(cr, ci, limit, bits, [](double, double) { return true; });
    }
    mpfr_prec_t bits;
    int exp;
    int32_t limit;
    TMp Cr, Ci;
    std::vector<TComplexPoint> orbit;
};

const char* const kSeahorseRe = "-0.743643887037158704752191506114774";
const char* const kSeahorseIm = "0.131825904205311970493132056385139";

// Every pixel of a 48x48 picture with merged steps and without, and a
// sample against the direct iteration in MPFR.
template <class T>
void CompareCounts(const TDeepView& view, T scale, int32_t grid, double minEqual, double minSkipped,
                   double epsilon = kBlaEpsilon) {
    TBlaTable<T> table;
    const T dcMax = scale * TBlaScalar<T>::FromDouble(std::sqrt(0.5));
    const TSplit z(view.orbit);
    table.BuildAll(z.Re.data(), z.Im.data(), view.orbit.size(), {false, 4, epsilon}, dcMax);
    int equal = 0, oracle = 0, oracleEqual = 0, escaped = 0, differing = 0, blaRight = 0, plainRight = 0;
    uint64_t skipped = 0, iterations = 0;
    for (int32_t y = 0; y < grid; ++y)
        for (int32_t x = 0; x < grid; ++x) {
            const double u = (x + 0.5) / grid - 0.5, v = (y + 0.5) / grid - 0.5;
            const TBlaComplex<T> dc{TBlaScalar<T>::FromDouble(u) * scale, TBlaScalar<T>::FromDouble(v) * scale};
            const TPixel plain = Perturb<T>(view.orbit, {}, dc, view.limit, nullptr);
            const TPixel bla = Perturb<T>(view.orbit, {}, dc, view.limit, &table);
            equal += plain.Count == bla.Count;
            if (plain.Count != bla.Count && differing < 40) {
                // Where they differ: which of them MPFR has.
                ++differing;
                const int32_t direct = view.Direct(u, v);
                blaRight += direct == bla.Count;
                plainRight += direct == plain.Count;
            }
            escaped += plain.Count != 0;
            skipped += bla.Skipped;
            iterations += plain.Count != 0 ? plain.Count : view.limit;
            if ((x * 7 + y * 3) % 97 == 0) {
                ++oracle;
                oracleEqual += view.Direct(u, v) == bla.Count;
            }
        }
    const int pixels = grid * grid;
    std::printf("width 2^-%d, eps 2^%d: %d of %d counts equal, %d of %d equal to MPFR, %.1f%% skipped, %d escaped\n",
                view.exp, std::ilogb(epsilon), equal, pixels, oracleEqual, oracle, 100.0 * skipped / iterations,
                escaped);
    std::printf("  of %d differing counts MPFR has %d with the table, %d without\n", differing, blaRight, plainRight);
    EXPECT_GE(equal, minEqual * pixels);
    EXPECT_GE(blaRight, plainRight - differing / 4);
    EXPECT_GE(oracleEqual, oracle - 1);
    EXPECT_GE(skipped, minSkipped * iterations);
    EXPECT_GT(escaped, pixels / 10);
}

TEST(DeepBla, CountsOfMergedStepsAreThoseOfThePlainLoopAndOfMpfr) {
    const TDeepView view(kSeahorseRe, kSeahorseIm, 66, 20000);  // width 1.4e-20
    // The strict radius keeps the plain loop's counts. (A looser one does
    // not: at 2^-47 the table differs from the plain loop on 15 counts and
    // MPFR has the plain loop's on 9 of them, the table's on none; at 2^-40
    // 33 counts, 27 and none.)
    CompareCounts<double>(view, std::ldexp(1.0, -66), 48, 0.99, 0.3);
}

// Views 1.1e-320 and 1.1e-1000 wide just beside the Misiurewicz point i,
// where the set looks like the Julia set of i at every scale: counts of
// about 900 and 2,700 that vary from pixel to pixel, with the extended range.
TEST(DeepBla, CountsAtDepthWithTheExtendedRange) {
    for (const int exp : {1063, 3322}) {
        const std::string im = "1." + std::string(exp * 3 / 10 + 10, '0') + "7";
        const std::string re = "3e-" + std::to_string(exp * 3 / 10 + 10);
        const TDeepView view(re.c_str(), im.c_str(), exp, 6000);
        CompareCounts<TFloatExp>(view, TFloatExp(1.0, -exp), 32, 0.99, 0.5);
    }
}

// The engine's deep pictures with the tables and without (NIMBREL_BLA=off):
// the counts of a Mandelbrot and a Julia view, in plain doubles and in the
// extended range, and the share of the iterations skipped.
TEST(DeepBla, TheEnginesPicturesWithAndWithoutTheTables) {
    struct TNoYield : TYieldHook {
        void OnYield() override {}
    } hook;
    struct TCase {
        TFractalKind kind;
        const char *re, *im, *height;
        double minSkipped;
    } cases[] = {{fkMandelbrot, "0", "1", "1e-30", 0.4},
                 {fkMandelbrot, "0", "1", "1e-700", 0.9},
                 {fkJulia, "0", "1", "1e-40", 0.4},
                 {fkJulia, "0", "1", "1e-700", 0.8}};
    for (const TCase& c : cases) {
        auto draw = [&](bool bla, uint64_t& skipped) {
            if (bla) unsetenv("NIMBREL_BLA");
            else setenv("NIMBREL_BLA", "off", 1);
            TMandel m;
            m.SetWidth(48);
            m.SetHeight(48);
            m.SetMaxIter(4000);
            TBigReal re, im, height, jr, ji;
            TBigReal::Parse(c.re, 2600, re);
            TBigReal::Parse(c.im, 2600, im);
            TBigReal::Parse(c.height, 128, height);
            TBigReal::Parse("0", 2600, jr);
            TBigReal::Parse("1", 2600, ji);
            m.SetView(MakeDeepView(c.kind, re, im, TFloatExp::FromBig(height), jr, ji, 2));
            m.SetYieldHook(&hook);
            m.Draw();
            EXPECT_TRUE(m.Stats.Deep);
            skipped = m.Stats.SkippedIterations;
            std::vector<uint32_t> pixels;
            for (int32_t y = 0; y < 48; ++y)
                for (int32_t x = 0; x < 48; ++x) pixels.push_back(static_cast<uint32_t>(m.GetBitmap().GetPixel(x, y)));
            unsetenv("NIMBREL_BLA");
            return std::make_pair(pixels, m.Stats.Iterations);
        };
        uint64_t skipped = 0, none = 0;
        const auto with = draw(true, skipped), without = draw(false, none);
        int equal = 0;
        for (size_t k = 0; k < with.first.size(); ++k) equal += with.first[k] == without.first[k];
        EXPECT_GE(equal, 0.99 * with.first.size()) << c.height;
        EXPECT_EQ(none, 0u);
        EXPECT_GE(static_cast<double>(skipped), c.minSkipped * static_cast<double>(without.second)) << c.height;
        EXPECT_GT(std::set<uint32_t>(with.first.begin(), with.first.end()).size(), 5u) << c.height;
    }
}

// A merged step is the composition of its single steps within its radius:
// each level's steps against the exact perturbation steps in long double.
TEST(DeepBla, MergedStepIsTheCompositionOfItsSingleSteps) {
    const TDeepView view(kSeahorseRe, kSeahorseIm, 66, 20000);
    const double dcMax = std::ldexp(1.0, -66);
    TBlaTable<double> table;
    const TSplit z(view.orbit);
    table.BuildAll(z.Re.data(), z.Im.data(), view.orbit.size(), {}, dcMax);
    std::mt19937_64 random(23);
    std::uniform_real_distribution<double> angle(0, 2 * std::numbers::pi);
    int tried = 0;
    for (size_t j = 1; j < table.Levels(); ++j)
        for (int sample = 0; sample < 40; ++sample) {
            const size_t i = random() % table.LevelCount(j);
            const TBlaStep<double>& e = table.Entry(j, i);
            if (!(e.Radius > 0)) continue;
            ++tried;
            const double a = angle(random), b = angle(random), r = 0.7 * e.Radius / std::sqrt(2.0);
            const TBlaComplex<double> dz0{r * std::cos(a), r * std::sin(a)};
            const TBlaComplex<double> dc{dcMax * std::cos(b), dcMax * std::sin(b)};
            std::complex<long double> dz(dz0.Re, dz0.Im);
            const size_t start = table.First() + (i << j);
            for (size_t k = start; k < start + (size_t{1} << j); ++k) {
                const std::complex<long double> Z(view.orbit[k].Re, view.orbit[k].Im);
                dz = (2.0L * Z + dz) * dz + std::complex<long double>(dc.Re, dc.Im);
            }
            const TBlaComplex<double> merged = ApplyBla(e, dz0, dc);
            const double scale = std::hypot(e.A.Re, e.A.Im) * r + std::hypot(e.B.Re, e.B.Im) * dcMax;
            const double error = std::hypot(double(dz.real()) - merged.Re, double(dz.imag()) - merged.Im);
            ASSERT_LE(error, 0x1p-40 * scale) << "level " << j << " entry " << i;
        }
    EXPECT_GT(tried, 100);
}

}  // namespace
}  // namespace nimbrel
