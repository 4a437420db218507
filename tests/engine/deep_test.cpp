// The deep path against an oracle of its own: sampled grid points of deep
// views iterated alone with MPFR at the view's precision plus 64 bits, their
// counts against the engine's (mode 5, escape radius 2, reads the counts
// from the result cache). Then every draw mode at depth, the criterion, the
// reference's yields, cancellation and reuse, and the refusals.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "engine/deep_reference.h"
#include "engine/mandel_class.h"
#include "engine/view_mapping.h"
#include "platform/exceptions.h"
#include "platform/yield_hook.h"
#include "values/view.h"

namespace nimbrel {
namespace {

class TCountingYield : public TYieldHook {
public:
    explicit TCountingYield(std::function<void(int)> F = nullptr) : f_(std::move(F)) {}
    void OnYield() override {
        ++Yields;
        if (f_) f_(Yields);
    }
    int Yields = 0;

private:
    std::function<void(int)> f_;
};

TBigReal Big(const std::string& Text, int32_t Bits = 4000) {
    TBigReal x;
    EXPECT_TRUE(TBigReal::Parse(Text, Bits, x)) << Text;
    return x;
}

struct TDeepCase {
    const char* Name;
    TFractalKind Kind;
    int32_t Power;
    std::string Re, Im;  // the centre
    const char* Height;  // of the view
    std::string Jr, Ji;
    int32_t MaxIter;
    // Whether the view must show more than two counts.
    bool Structured = true;
    // Bits the oracle needs beyond the view's (a square far below the
    // orbit's size).
    int32_t OracleBits = 0;
};

void ShowDeep(TMandel& m, const TDeepCase& c, int32_t W, int32_t H) {
    TBigReal height = Big(c.Height, 128);
    m.SetWidth(W);
    m.SetHeight(H);
    m.SetMaxIter(c.MaxIter);
    m.SetPower(c.Power);
    m.SetView(MakeDeepView(c.Kind, Big(c.Re), Big(c.Im), TFloatExp::FromBig(height), Big(c.Jr.empty() ? "0" : c.Jr),
                           Big(c.Ji.empty() ? "0" : c.Ji), c.Power));
}

// The count of z -> z^p + c with MPFR, the double kernels' convention.
int32_t MpfrCount(const TDeepCase& c, const TMandel& m, int32_t X, int32_t Y, mpfr_prec_t bits) {
    mpfr_t x, y, cr, ci, t, u, step, a, b;
    for (mpfr_ptr v : {x, y, cr, ci, t, u, step, a, b}) mpfr_init2(v, bits);
    mpfr_strtofr(step, c.Height, nullptr, 10, MPFR_RNDN);
    mpfr_div_si(step, step, m.GetHeight(), MPFR_RNDN);
    // The point: centre + ((X - W/2), (H/2 - Y)) steps.
    mpfr_strtofr(a, c.Re.c_str(), nullptr, 10, MPFR_RNDN);
    mpfr_strtofr(b, c.Im.c_str(), nullptr, 10, MPFR_RNDN);
    mpfr_mul_d(t, step, X - m.GetWidth() / 2.0, MPFR_RNDN);
    mpfr_add(a, a, t, MPFR_RNDN);
    mpfr_mul_d(t, step, m.GetHeight() / 2.0 - Y, MPFR_RNDN);
    mpfr_add(b, b, t, MPFR_RNDN);
    if (c.Kind == fkMandelbrot) {
        mpfr_set(cr, a, MPFR_RNDN);
        mpfr_set(ci, b, MPFR_RNDN);
        mpfr_set_ui(x, 0, MPFR_RNDN);
        mpfr_set_ui(y, 0, MPFR_RNDN);
    } else {
        mpfr_set(x, a, MPFR_RNDN);
        mpfr_set(y, b, MPFR_RNDN);
        mpfr_strtofr(cr, c.Jr.c_str(), nullptr, 10, MPFR_RNDN);
        mpfr_strtofr(ci, c.Ji.c_str(), nullptr, 10, MPFR_RNDN);
    }
    int32_t count = 0;
    for (int32_t i = 1; i <= c.MaxIter; ++i) {
        // (x + iy)^p by repeated multiplication.
        mpfr_set(a, x, MPFR_RNDN);
        mpfr_set(b, y, MPFR_RNDN);
        for (int32_t k = 1; k < c.Power; ++k) {
            mpfr_mul(t, a, x, MPFR_RNDN);
            mpfr_mul(u, b, y, MPFR_RNDN);
            mpfr_sub(t, t, u, MPFR_RNDN);
            mpfr_mul(u, a, y, MPFR_RNDN);
            mpfr_fma(b, b, x, u, MPFR_RNDN);
            mpfr_set(a, t, MPFR_RNDN);
        }
        mpfr_add(x, a, cr, MPFR_RNDN);
        mpfr_add(y, b, ci, MPFR_RNDN);
        const double dx = mpfr_get_d(x, MPFR_RNDN), dy = mpfr_get_d(y, MPFR_RNDN);
        if (dx * dx + dy * dy >= 4) {
            count = i;
            break;
        }
    }
    for (mpfr_ptr v : {x, y, cr, ci, t, u, step, a, b}) mpfr_clear(v);
    return count;
}

// A point near the boundary along a ray from an inner point: bisection to
// Bits bits with MPFR counts at Limit (a point that stays counts as inside).
std::string Boundary(const TDeepCase& Base, double FromRe, double FromIm, double ToRe, double ToIm, int32_t Bits) {
    mpfr_t lo, hi, mid;
    for (mpfr_ptr v : {lo, hi, mid}) mpfr_init2(v, Bits + 16);
    mpfr_set_d(lo, 0, MPFR_RNDN);
    mpfr_set_d(hi, 1, MPFR_RNDN);
    TMandel probe;
    probe.SetWidth(2);
    probe.SetHeight(2);
    for (int32_t k = 0; k < Bits; ++k) {
        mpfr_add(mid, lo, hi, MPFR_RNDN);
        mpfr_div_2ui(mid, mid, 1, MPFR_RNDN);
        std::vector<char> text(static_cast<size_t>(Bits) + 64);
        mpfr_sprintf(text.data(), "%.*Re", static_cast<int>(Bits * 0.302) + 4, mid);
        // The point From + mid (To - From), as the case's centre (X = 1, Y = 1
        // of a 2 x 2 picture is the centre itself).
        TDeepCase c = Base;
        mpfr_t p, q;
        mpfr_init2(p, Bits + 16);
        mpfr_init2(q, Bits + 16);
        mpfr_mul_d(p, mid, ToRe - FromRe, MPFR_RNDN);
        mpfr_add_d(p, p, FromRe, MPFR_RNDN);
        mpfr_mul_d(q, mid, ToIm - FromIm, MPFR_RNDN);
        mpfr_add_d(q, q, FromIm, MPFR_RNDN);
        std::vector<char> re(static_cast<size_t>(Bits) + 64), im(static_cast<size_t>(Bits) + 64);
        mpfr_sprintf(re.data(), "%.*Re", static_cast<int>(Bits * 0.302) + 4, p);
        mpfr_sprintf(im.data(), "%.*Re", static_cast<int>(Bits * 0.302) + 4, q);
        mpfr_clear(p);
        mpfr_clear(q);
        c.Re = re.data();
        c.Im = im.data();
        c.Height = "0";
        // A limit beyond the view's: the view's pixels part from the centre's
        // orbit long before it.
        c.MaxIter = 3 * Base.MaxIter;
        const bool inside = MpfrCount(c, probe, 1, 1, Bits + 16) == 0;
        mpfr_set(inside ? lo : hi, mid, MPFR_RNDN);
        if (k == Bits - 1) {
            for (mpfr_ptr v : {lo, hi, mid}) mpfr_clear(v);
            return std::string(c.Re) + "," + c.Im;
        }
    }
    return {};
}

std::pair<std::string, std::string> Split(const std::string& s) {
    const size_t comma = s.find(',');
    return {s.substr(0, comma), s.substr(comma + 1)};
}

// Views about copies of the set near c = i (period 458 and 1601), found by
// Newton's method: one centred on the nucleus, two beside theirs.
const char* const kNucleus458Re =
    "-0.0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "0000000000000000000000000000000000000000000000000000000000000000000000000244047229892468349138664770"
    "8246669693818335590864804952248118058400140895669407352949955654025642195941767502441988656463747592"
    "2954286898391122125825155814291101001084035540706329975922785664";
const char* const kNucleus458Im =
    "1.00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "0000000000000000000000000000000000000000000000000000000000000000000000008316623696299480018083866183"
    "8233374677876766989854399200158140926658337076054758148041159187731814966184658608568373154930082351"
    "131420946189436915751080816462074004034017232913379909123895259";
const char* const kRings458Re =
    "-0.0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "0000000000000000000000000000000000000000000000000000000000000000000000000244047229892468349138664770"
    "8246669693818335590864804952248118058400140895669407352949955654025642195941767502441988656463747592"
    "2954286898391122125825155814291101001084035540463929975922785664342776";
const char* const kRings458Im =
    "1.00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "0000000000000000000000000000000000000000000000000000000000000000000000008316623696299480018083866183"
    "8233374677876766989854399200158140926658337076054758148041159187731814966184658608568373154930082351"
    "131420946189436915751080816462074004034017233054779909123895258580468";
const char* const kBeside1601Re =
    "0.00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "0000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
    "0016431542238990001185081523166651005988747359657194550176393179564808917766727982451047668013456830"
    "2779478835732541292653566611542234472596293990989351010172739411678454694269601370779695165975182436"
    "1267901009230777591262949284009260607066188342007818253874021374885601550274185166933665353998152457"
    "4490831783769091382842206064619222022733284195285937556495563025987882248359732270727986172263008094"
    "0548243528368673403065503572095099797315174406771677378511886465936554701935449019861138981929089453"
    "9253238495104789202088875045307812697175389277469603866123890910904852567946942460806795568404268475"
    "882294058941472737150602767";
const char* const kBeside1601Im =
    "0.99999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999"
    "9999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999"
    "9999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999"
    "9999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999"
    "9999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999"
    "9999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999999"
    "9990196520122131466199028560343280007285564260282597303713673612319774252119369178453098473183826298"
    "5100458163730246515300443426080641250928971530078942257428223237721352824418762177572112537981242663"
    "6790370341648328566904036598864475882172008280914072977594476942673659836810356086704937545594037024"
    "1455371269598329467786712980113570863912721685058042526599167872674881807575548660068196283307907188"
    "6297364240358235932768363661456293089073212661212857428363602417251486187670560059099365897383344073"
    "0087192039922791855829078926685629914329196013309978070632666065662036405977102857348325205796900960"
    "942132429508146984312606138";

TEST(DeepOracle, SampledCountsEqualMpfr) {
    std::vector<TDeepCase> cases = {
        // i is preperiodic (0, i, -1 + i, -i, -1 + i, ...): a Misiurewicz
        // point of the set, and of its Julia set (a dendrite), where every
        // depth shows structure.
        {"i 1e-20", fkMandelbrot, 2, "0", "1", "1e-20", "", "", 400},
        {"i 1e-60", fkMandelbrot, 2, "0", "1", "1e-60", "", "", 600},
        {"i 1e-100", fkMandelbrot, 2, "0", "1", "1e-100", "", "", 800},
        {"i 1e-320", fkMandelbrot, 2, "0", "1", "1e-320", "", "", 1500},
        {"i 1e-1000", fkMandelbrot, 2, "0", "1", "2.5e-1000", "", "", 3000},
        {"julia i 1e-20", fkJulia, 2, "0", "1", "1e-20", "0", "1", 400},
        {"julia i 1e-100", fkJulia, 2, "0", "1", "1e-100", "0", "1", 800},
        {"julia i 1e-320", fkJulia, 2, "0", "1", "1e-320", "0", "1", 1500},
        // Below the doubles' normal range, where dc and the orbit's values
        // near 0 (the nucleus, once a period) need the extended range.
        {"nucleus 1e-336", fkMandelbrot, 2, kNucleus458Re, kNucleus458Im, "1e-336", "", "", 6000},
        {"rings 1e-342", fkMandelbrot, 2, kRings458Re, kRings458Im, "4.04e-343", "", "", 6000},
        // Julia pixels about 0 go on by their squares alone (1e-676 beside
        // i): the oracle needs bits for those.
        {"julia i about 0 1e-336", fkJulia, 2, "0", "0", "1e-336", "0", "1", 3000, true, 1200},
        {"beside 1601 1e-1000", fkMandelbrot, 2, kBeside1601Re, kBeside1601Im, "1e-1000", "", "", 6000},
        // The pixel differences are far below that orbit's values near 0
        // (2^-1995 at the period): only their exact values draw it.
        {"beside 1601 1e-1100", fkMandelbrot, 2, kBeside1601Re, kBeside1601Im, "1e-1100", "", "", 8000},
    };
    // Near the boundary found by bisection: the cubic and the quintic
    // Mandelbrot sets along the imaginary axis, the rabbit's Julia set
    // along the real one, the cubic Julia set of 0.4i.
    auto along = [&](TDeepCase c, double fr, double fi, double tr, double ti, int32_t bits) {
        std::tie(c.Re, c.Im) = Split(Boundary(c, fr, fi, tr, ti, bits));
        cases.push_back(c);
    };
    // The Mandelbrot sets of powers 3 and 5 meet the rays at points whose
    // neighbourhoods show one count at these depths: agreement only.
    along({"cubic 1e-20", fkMandelbrot, 3, "", "", "1e-20", "", "", 300, false}, 0, 0, 0, 1.5, 80);
    along({"cubic 1e-100", fkMandelbrot, 3, "", "", "1e-100", "", "", 500, false}, 0, 0, 0, 1.5, 350);
    along({"quintic 1e-20", fkMandelbrot, 5, "", "", "1e-20", "", "", 300, false}, 0, 0, 0.3, 1.5, 80);
    along({"cubic julia 1e-100", fkJulia, 3, "", "", "1e-100", "0", "0.4", 600}, 0, 0, 1.5, 0.2, 350);
    along({"quintic julia 1e-20", fkJulia, 5, "", "", "1e-20", "0.5", "0.1", 300}, 0, 0, 1.5, 0.3, 80);
    along({"rabbit 1e-60", fkJulia, 2, "", "", "1e-60", "-0.123", "0.745", 600}, 0, 0, 2, 0, 215);
    along({"cubic julia 1e-20", fkJulia, 3, "", "", "1e-20", "0", "0.4", 300}, 0, 0, 1.5, 0.2, 80);

    int64_t all = 0, agree = 0;
    for (const TDeepCase& c : cases) {
        TMandel m;
        ShowDeep(m, c, 24, 16);
        ASSERT_TRUE(m.NeedsDeep()) << c.Name;
        m.DrawMode = dmPotentialCache;
        m.SetEscapeRadius(2);
        TCountingYield yields;
        m.SetYieldHook(&yields);
        m.Draw();
        ASSERT_TRUE(m.Stats.Deep) << c.Name;
        std::set<int32_t> counts;
        int64_t here = 0, same = 0;
        for (int32_t Y = 0; Y <= 16; Y += 2) {
            for (int32_t X = (Y / 2) % 3; X <= 24; X += 3) {
                const int32_t want = MpfrCount(c, m, X, Y, m.DeepBits() + 64 + c.OracleBits);
                const int32_t got = m.ResultCache[X][Y].Count;
                counts.insert(got);
                ++here;
                if (got == want) ++same;
                else
                    ADD_FAILURE_AT(__FILE__, __LINE__)
                        << c.Name << " (" << X << ", " << Y << "): " << got << " against " << want;
            }
        }
        all += here;
        agree += same;
        // Not a flat picture: the oracle is told something.
        if (c.Structured) {
            EXPECT_GT(counts.size(), 2u) << c.Name;
        }
        std::printf("%-18s %3d bits: %lld of %lld sampled counts agree, %zu distinct\n", c.Name, m.DeepBits(),
                    static_cast<long long>(same), static_cast<long long>(here), counts.size());
    }
    std::printf("all: %lld of %lld\n", static_cast<long long>(agree), static_cast<long long>(all));
}

TEST(DeepDraw, EveryModeRunsAndTheCountModesAgree) {
    const TDeepCase c{"i", fkMandelbrot, 2, "0", "1", "1e-30", "", "", 3000};
    auto draw = [&](uint8_t mode) {
        TMandel m;
        ShowDeep(m, c, 64, 48);
        m.DrawMode = mode;
        // Mode 5 at radius 2 colours as mode 0; the reliefs want a larger one.
        m.SetEscapeRadius(mode <= dmPotentialCache ? 2 : 1000);
        TCountingYield yields;
        m.SetYieldHook(&yields);
        m.Draw();
        EXPECT_TRUE(m.Stats.Deep) << int(mode);
        std::vector<uint32_t> pixels;
        for (int32_t y = 0; y < 48; ++y)
            for (int32_t x = 0; x < 64; ++x) pixels.push_back(static_cast<uint32_t>(m.GetBitmap().GetPixel(x, y)));
        return pixels;
    };
    const std::vector<uint32_t> normal = draw(dmNormal);
    EXPECT_GT(std::set<uint32_t>(normal.begin(), normal.end()).size(), 10u);
    // Every pixel computed in modes 1, 3 and 5 (escape radius 2): mode 0's
    // picture.
    for (uint8_t mode : {dmSearch, dmEmerge, dmPotentialCache}) EXPECT_EQ(draw(mode), normal) << int(mode);
    // The boundary trace, the samples of mode 4 and the shaded modes: a
    // picture of their own, not flat.
    for (uint8_t mode : {dmBoundary, dmAntialias, dmPotentialGreen, dmPotentialSmooth, dmPotentialCosine}) {
        const std::vector<uint32_t> p = draw(mode);
        EXPECT_GT(std::set<uint32_t>(p.begin(), p.end()).size(), 5u) << int(mode);
    }
    // The boundary trace agrees with mode 0 on nearly every pixel.
    const std::vector<uint32_t> boundary = draw(dmBoundary);
    int differ = 0;
    for (size_t k = 0; k < normal.size(); ++k) differ += boundary[k] != normal[k];
    EXPECT_LT(differ, static_cast<int>(normal.size() / 50));
}

TEST(DeepDraw, TheShadedModesAtEveryDepthLikeTheirShallowShape) {
    // The same shape (about the point i) at 1e-20 and at 1e-700: a relief
    // at both, Green's potential taken in units that stay within the doubles.
    for (const char* height : {"1e-20", "1e-700"}) {
        const TDeepCase c{"i", fkMandelbrot, 2, "0", "1", height, "", "", 4000};
        TMandel m;
        ShowDeep(m, c, 40, 30);
        m.DrawMode = dmPotentialGreen;
        m.SetEscapeRadius(1000);
        TCountingYield yields;
        m.SetYieldHook(&yields);
        m.Draw();
        std::set<int32_t> colours;
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 40; ++x) colours.insert(m.GetBitmap().GetPixel(x, y));
        EXPECT_GT(colours.size(), 5u) << height;
    }
}

TEST(DeepCriterion, ShallowViewsKeepTheDoublePath) {
    auto view = [](double re, double im, double w) {
        TView v;
        v.Center = {re, im};
        v.ViewWidth = w;
        return v;
    };
    const TView deepTiny = MakeDeepView(fkMandelbrot, Big("-0.75"), Big("0.1"), TFloatExp(1.0, -4000), Big("0"),
                                        Big("0"), 2);
    struct Case {
        TView View;
        int32_t W, H;
        bool Deep;
    } cases[] = {
        {view(-0.8, 0, 3), 1920, 1080, false},
        {view(-0.7436, 0.1318, 2e-12), 480, 270, false},  // a clear picture in doubles
        {view(-0.7436, 0.1318, 2e-12), 3840, 2160, true},
        {view(-0.7436, 0.1318, 5e-15), 480, 270, true},   // blocks in doubles
        {view(0, 0, 1e-300), 640, 480, false},            // doubles hold tiny values near 0
        {view(1e6, 0, 1e-5), 640, 480, false},
        {view(1e6, 0, 1e-5), 16000, 16000, true},
        {view(-0.8, 0, 0), 640, 480, false},              // no extent: no picture either way
        {view(std::nan(""), 0, 1), 640, 480, false},
        {deepTiny, 1, 1, true},
        {MakeDeepView(fkMandelbrot, Big("-0.75"), Big("0"), TFloatExp(2.5), Big("0"), Big("0"), 2), 640, 480, false},
    };
    for (const Case& c : cases) EXPECT_EQ(NeedsDeepPath(c.View, c.W, c.H), c.Deep) << (&c - cases);
    // The samples' scenes and every view of doubles wider than 1e-12 at a
    // centre of size 1 stay on today's path at 1920 x 1080.
    for (double w = 3; w > 1e-12; w /= 7) EXPECT_FALSE(NeedsDeepPath(view(-0.74, 0.13, w), 1920, 1080)) << w;
}

TEST(DeepReference, YieldsCancelsAndIsReused) {
    const TDeepCase c{"long", fkMandelbrot, 2, "-2", "0", "1e-200", "", "", 200000};
    // The centre of a view inside the set: the reference runs to the limit.
    TDeepCase inside = c;
    inside.Re = "-0.1";
    inside.Im = "0.1";
    TMandel m;
    ShowDeep(m, inside, 8, 6);
    m.SetWorkBudget(5000);
    // Cancelled at the third yield: no orbit is kept.
    TCountingYield cancel([&](int n) {
        if (n == 3) m.SetBusy(false);
    });
    m.SetYieldHook(&cancel);
    EXPECT_THROW(m.Draw(), EAbort);
    ASSERT_NE(m.DeepReference(), nullptr);
    EXPECT_FALSE(m.DeepReference()->Complete());
    EXPECT_EQ(m.DeepReference()->Iterations(), 0);
    // Drawn whole, the reference yields within the budget.
    TCountingYield yields;
    m.SetYieldHook(&yields);
    m.SetMaxIter(2000);
    m.Draw();
    EXPECT_GT(m.Stats.ReferenceIterations, 1000u);
    EXPECT_LE(m.Stats.MostWorkBetweenYields, 5000u);
    EXPECT_GT(yields.Yields, 10);
    // The next picture of the same centre (another width, a mode of the same
    // bailout) reuses it.
    m.SetViewWidth(1e-190);
    m.DrawMode = dmEmerge;
    m.Draw();
    EXPECT_TRUE(m.Stats.Deep);
    EXPECT_EQ(m.Stats.ReferenceIterations, 0u);
    // Another limit does not.
    m.SetMaxIter(2001);
    m.Draw();
    EXPECT_GT(m.Stats.ReferenceIterations, 0u);
    // Pixels whose own worst case passes the budget yield within themselves,
    // in the rows of mode 0 and point by point in mode 2.
    for (uint8_t mode : {dmNormal, dmBoundary}) {
        m.DrawMode = mode;
        m.SetMaxIter(20000);
        yields.Yields = 0;
        m.Draw();
        EXPECT_LE(m.Stats.MostWorkBetweenYields, 5000u) << int(mode);
        EXPECT_GT(yields.Yields, 20000 * 2 / 5000) << int(mode);
    }
}

TEST(DeepReference, RefusesWhatExceedsTheLimits) {
    struct Case {
        TDeepCase View;
        bool Refused;
    } cases[] = {
        {{"limit", fkMandelbrot, 2, "-2", "0", "1e-100", "", "", 2000000000}, true},
        {{"julia limit", fkJulia, 2, "0", "1", "1e-100", "0", "1", 40000000}, true},
        {{"deepest", fkMandelbrot, 2, "-2", "0", "1e-1000000", "", "", 100}, true},
        {{"power", fkMandelbrot, 65, "-2", "0", "1e-100", "", "", 100}, true},
        {{"fits", fkMandelbrot, 2, "-2", "0", "1e-100", "", "", 30000000}, false},
    };
    for (const Case& c : cases) {
        TDeepReferenceKey key;
        key.Kind = c.View.Kind;
        key.Power = c.View.Power;
        key.MaxIter = c.View.MaxIter;
        TMandel m;
        ShowDeep(m, c.View, 16, 16);
        key.Bits = m.DeepBits();
        EXPECT_EQ(!TDeepReference::Check(key).empty(), c.Refused) << c.View.Name;
        if (!c.Refused) continue;
        // The engine's error path: a message of ours, the bitmap as it was.
        m.GetBitmap().SetSize(16, 16);
        m.GetBitmap().FillRect(TRect{0, 0, 16, 16}, 0x123456);
        try {
            m.Draw();
            ADD_FAILURE() << c.View.Name;
        } catch (const EAbort&) {
            ADD_FAILURE() << c.View.Name;
        } catch (const Exception& e) {
            EXPECT_NE(e.Message().find("この場面"), std::string::npos) << e.Message();
        }
        EXPECT_EQ(m.GetBitmap().GetPixel(5, 5), 0x123456);
        EXPECT_FALSE(m.GetBusy());
    }
}

}  // namespace
}  // namespace nimbrel
