// Deep views with and without the bilinear approximation, on one core: the
// reference orbit in TBigReal, the table, and every pixel of a square picture
// (draw mode 0's counts) iterated as a difference from the reference with
// rebasing, merged steps where the table has them.
//
//   build/release/bench_deep_views [--size N] [--no-bla] [--only NAME]
//
// Per view: the reference iterations and their time, the table's time and
// memory, the pixels' time (CPU time of this process), the iterations of the
// pixels and the share of them skipped by merged steps, and the mean count.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "engine/deep_bla.h"
#include "values/big_real.h"
#include "values/float_exp.h"

using namespace nimbrel;

namespace {

struct TDeepViewSpec {
    const char* Name;
    const char* Re;
    const char* Im;
    const char* Width;
    int32_t MaxIter;
};

const char* const kSeahorseRe = "-0.743643887037158704752191506114774";
const char* const kSeahorseIm = "0.131825904205311970493132056385139";
const char* const kPublicRe =
    "-0.0494700290631040937516922267273536301187457124882248793181049402326421947726869034279915499747594190000000000000000000";
const char* const kPublicIm =
    "-0.6747875758446753640113920531305976563347707068224034806979997947909941983454845111514208499540310299999999999999999880";

std::string BesideI(int digits) { return "1." + std::string(digits + 10, '0') + "7"; }
std::string BesideIRe(int digits) { return "3e-" + std::to_string(digits + 10); }

double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// The orbit of the centre to the limit or its escape, as doubles.
std::vector<TComplexPoint> ReferenceOrbit(const TBigReal& cr, const TBigReal& ci, int32_t maxIter, int32_t bits) {
    std::vector<TComplexPoint> orbit{{0, 0}};
    TBigReal x(0.0, bits), y(0.0, bits), xx(0.0, bits), yy(0.0, bits), t(0.0, bits);
    for (int32_t i = 1; i <= maxIter; ++i) {
        TBigReal::Square(x, xx);
        TBigReal::Square(y, yy);
        TBigReal::Mul(x, y, t);
        TBigReal::MulPow2(t, 1, t);
        TBigReal::Add(t, ci, y);
        TBigReal::Sub(xx, yy, x);
        TBigReal::Add(x, cr, x);
        const double dx = x.ToDouble(), dy = y.ToDouble();
        orbit.push_back({dx, dy});
        if (dx * dx + dy * dy >= 4) break;
    }
    return orbit;
}

struct TPixel {
    int32_t Count = 0;
    uint64_t Iterations = 0;
    uint64_t Skipped = 0;
};

template <class T>
TPixel Perturb(const std::vector<TComplexPoint>& Z, const TBlaComplex<T>& dc, int32_t maxIter,
               const TBlaTable<T>* table) {
    using S = TBlaScalar<T>;
    const size_t last = Z.size() - 1;
    TBlaComplex<T> dz{};
    size_t m = 0;
    TPixel end;
    int64_t n = 0;
    while (n < maxIter) {
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
            break;
        }
        if (z.Re * z.Re + z.Im * z.Im < dz.Re * dz.Re + dz.Im * dz.Im || m == last) {
            dz = z;
            m = 0;
        }
    }
    end.Iterations = static_cast<uint64_t>(n);
    return end;
}

template <class T>
void Render(const TDeepViewSpec& v, const std::vector<TComplexPoint>& orbit, const T& width, int size, bool bla,
            double refSeconds) {
    TBlaTable<T> table;
    const double t0 = CpuSeconds();
    std::vector<double> re, im;
    for (const TComplexPoint& z : orbit) {
        re.push_back(z.Re);
        im.push_back(z.Im);
    }
    if (bla) table.BuildAll(re.data(), im.data(), orbit.size(), {}, width * TBlaScalar<T>::FromDouble(0.7072));
    const double t1 = CpuSeconds();
    uint64_t iterations = 0, skipped = 0, counts = 0;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const TBlaComplex<T> dc{TBlaScalar<T>::FromDouble((x + 0.5) / size - 0.5) * width,
                                    TBlaScalar<T>::FromDouble((y + 0.5) / size - 0.5) * width};
            const TPixel p = Perturb<T>(orbit, dc, v.MaxIter, bla ? &table : nullptr);
            iterations += p.Iterations;
            skipped += p.Skipped;
            counts += p.Count != 0 ? p.Count : v.MaxIter;
        }
    const double t2 = CpuSeconds();
    std::printf("| %s | %s | %d | %zu | %.3f | %s | %.3f | %.2f | %.4g | %.2f%% | %.1f |\n", v.Name, v.Width, v.MaxIter,
                orbit.size() - 1, refSeconds, bla ? (sizeof(T) > 8 ? "TFloatExp" : "double") : "off", t1 - t0, t2 - t1,
                static_cast<double>(iterations), iterations ? 100.0 * skipped / iterations : 0.0,
                static_cast<double>(counts) / (double(size) * size));
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    int size = 1024;
    bool withBla = true, withoutBla = true;
    const char* only = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--size") && i + 1 < argc) size = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--no-bla")) withBla = false;
        else if (!std::strcmp(argv[i], "--bla-only")) withoutBla = false;
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc) only = argv[++i];
    }
    const std::string i100re = BesideIRe(100), i100im = BesideI(100), i300re = BesideIRe(300), i300im = BesideI(300),
                      i1000re = BesideIRe(1000), i1000im = BesideI(1000);
    const TDeepViewSpec views[] = {
        {"seahorse", kSeahorseRe, kSeahorseIm, "1e-100", 40000},
        {"seahorse", kSeahorseRe, kSeahorseIm, "1e-300", 40000},
        {"seahorse", kSeahorseRe, kSeahorseIm, "1e-1000", 40000},
        {"seahorse-1M", kSeahorseRe, kSeahorseIm, "1e-1000", 1000000},
        {"beside-i", i100re.c_str(), i100im.c_str(), "1e-100", 40000},
        {"beside-i", i300re.c_str(), i300im.c_str(), "1e-300", 40000},
        {"beside-i", i1000re.c_str(), i1000im.c_str(), "1e-1000", 40000},
        {"public", kPublicRe, kPublicIm, "4e-50", 263010},
    };
    std::printf("| view | width | I | reference iterations | reference s | BLA | table s | pixels s | pixel iterations | skipped | mean count |\n");
    std::printf("|---|---|---:|---:|---:|---|---:|---:|---:|---:|---:|\n");
    for (const TDeepViewSpec& v : views) {
        if (only && std::strcmp(only, v.Name) != 0) continue;
        TBigReal w;
        TBigReal::Parse(v.Width, 64, w);
        const int32_t bits = static_cast<int32_t>(-w.Exponent()) + 64;
        TBigReal cr, ci;
        TBigReal::Parse(v.Re, bits, cr);
        TBigReal::Parse(v.Im, bits, ci);
        const double t0 = CpuSeconds();
        const std::vector<TComplexPoint> orbit = ReferenceOrbit(cr, ci, v.MaxIter, bits);
        const double refSeconds = CpuSeconds() - t0;
        for (const bool bla : {true, false}) {
            if ((bla && !withBla) || (!bla && !withoutBla)) continue;
            if (w.Exponent() > -960)
                Render<double>(v, orbit, w.ToDouble(), size, bla, refSeconds);
            else
                Render<TFloatExp>(v, orbit, TFloatExp::FromBig(w), size, bla, refSeconds);
        }
    }
}
