// TDeepReference: the reference orbit of a deep view, Z_0, Z_1, ... of
// z -> z^Power + C in high precision (TBigReal), kept as doubles per
// iteration for the pixels' perturbation loop (engine/deep_pixel.h).
//
// The Mandelbrot set: the orbit of the centre C from Z_0 = 0. A Julia set:
// the orbit of the centre from Z_0 = centre under z^Power + K, and beside it
// the critical orbit of 0 under the same map, on which a pixel goes on once
// it has come near 0 (rebasing needs an orbit through 0: see
// docs/algorithms.md). An orbit ends at MaxIter or after the first Z whose
// |Z|^2 reaches the bailout.
//
// The orbit is computed in steps (Advance) so that the engine can yield
// between them; a cancelled computation is discarded (Clear). A complete
// orbit is kept and serves every picture with the same key (kind, power,
// limit, bailout, exact centre and constant) whose precision it covers.
//
// Memory: 16 bytes per iteration and orbit (two doubles), so at most
// kMaxReferenceBytes; see Check. An iteration whose |Z| is below 2^-960
// (|re| + |im| of its doubles), where the doubles lose digits or become 0,
// keeps its exact value beside them (TDeepTinyZ, 32 bytes more): an orbit
// near a nucleus passes that close to 0 once a period. An orbit whose values
// near 0 would take it past kMaxReferenceBytes is refused while computed
// (Advance throws the same message as Check).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/deep_pixel.h"
#include "values/big_real.h"
#include "values/fractal_types.h"

namespace nimbrel {

struct TDeepReferenceKey {
    TFractalKind Kind = fkMandelbrot;
    int32_t Power = 2;
    int32_t MaxIter = 0;
    double Bailout = 4;
    TBigReal CenterRe, CenterIm;
    // Julia only.
    TBigReal JuliaRe, JuliaIm;
    // The precision the picture needs.
    int32_t Bits = TBigReal::kMinBits;
};

class TDeepReference {
public:
    // The memory of the orbits at most, and the highest precision.
    static constexpr uint64_t kMaxReferenceBytes = uint64_t{1} << 30;  // 1 GiB
    static constexpr int32_t kMaxBits = 1 << 16;  // widths to about 1e-19700
    static constexpr int32_t kMaxPower = 64;
    // Bytes per iteration of one orbit.
    static constexpr uint64_t kBytesPerIteration = 2 * sizeof(double);

    // The message (empty when it fits) for a picture whose reference would
    // exceed the limits above.
    static std::string Check(const TDeepReferenceKey& Key);

    // Whether the kept orbit serves Key (complete, same key, enough bits).
    bool Serves(const TDeepReferenceKey& Key) const;
    // Starts a fresh orbit for Key (throws EOutOfResources when its memory is
    // refused).
    void Start(const TDeepReferenceKey& Key);
    // Computes at most Steps more iterations (of both orbits of a Julia set);
    // true when the orbit is complete.
    bool Advance(int64_t Steps);
    bool Complete() const { return complete_; }
    void Clear();
    // The work of one iteration in power-2 steps of the double kernel (for
    // the yield budget), at Bits and Power.
    static uint64_t StepCost(int32_t Bits, int32_t Power);

    // The orbit the pixels start on (Z_0 = 0 or the Julia centre), and the
    // one they go on with after a rebase (Z_0 = 0; the same for the
    // Mandelbrot set). Valid while complete.
    const std::vector<double>& StartRe() const { return start_.Re; }
    const std::vector<double>& StartIm() const { return start_.Im; }
    const std::vector<double>& CriticalRe() const { return Critical().Re; }
    const std::vector<double>& CriticalIm() const { return Critical().Im; }
    // The exact values of the iterations near 0 (ascending M).
    const std::vector<TDeepTinyZ>& StartTiny() const { return start_.Tiny; }
    const std::vector<TDeepTinyZ>& CriticalTiny() const { return Critical().Tiny; }
    // Iterations computed (of the longer orbit).
    int64_t Iterations() const;
    const TDeepReferenceKey& Key() const { return key_; }
    // Changes with every Start: what is built from an orbit (the BLA tables)
    // knows by it whether the orbit is still the one it was built from.
    uint64_t Generation() const { return generation_; }

private:
    struct TOrbit {
        std::vector<double> Re, Im;
        std::vector<TDeepTinyZ> Tiny;
        TBigReal Zr, Zi;
        bool Done = false;
        // One more iteration of z -> z^Power + C; false when the orbit ended.
        bool Step(const TDeepReferenceKey& Key, const TBigReal& Cr, const TBigReal& Ci, TBigReal* Temp);
        void Push();
    };
    const TOrbit& Critical() const { return key_.Kind == fkJulia ? critical_ : start_; }
    uint64_t Bytes() const;

    TDeepReferenceKey key_;
    uint64_t generation_ = 0;
    bool started_ = false;
    bool complete_ = false;
    TOrbit start_;
    TOrbit critical_;
    TBigReal cr_, ci_;
    TBigReal temp_[8];
};

}  // namespace nimbrel
