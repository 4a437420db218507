// The work the engine does between two yields, and its bound. Whatever a
// scene asks (an iteration limit of two thousand million, the largest power,
// the widest picture), a draw lets the handlers run after at most
// kYieldBudget iterations, so that a key, a click, a close or SIGTERM is
// answered soon. The bound is a number of iterations, not a time: the yields
// of a picture are the same on every machine, level and thread count.
//
// Anything that iterates long for the engine (the rows of the draw methods,
// a reference orbit) measures its work with a TWorkMeter in power-2 steps
// (StepCost) and yields before the meter would pass the budget.
#pragma once

#include <cstdint>

namespace nimbrel {

// Power-2 steps between two yields: about 27 ms with the scalar kernel on
// one core (bench/README.md), far less with the vector kernels.
inline constexpr uint64_t kYieldBudget = uint64_t{1} << 23;

// What one step of z -> z^Power + c costs with the scalar kernel, in power-2
// steps, rounded up: power 3 has its own loop, any other power goes through
// repeated squaring, one call and two multiplications of doubles per level.
constexpr uint64_t StepCost(int32_t Power) {
    if (Power == 2) return 1;
    if (Power == 3) return 2;
    uint64_t products = 0;  // complex squarings and multiplications
    for (int32_t n = Power; n > 1; n /= 2) products += n % 2 != 0 ? 2 : 1;
    return 5 + 2 * products;
}

// The work since the last yield, and the most of it between two yields,
// against a budget: kYieldBudget, or a smaller one that a test sets so that
// small pictures show what large ones do.
class TWorkMeter {
public:
    uint64_t Budget() const { return budget_; }
    void SetBudget(uint64_t Budget) { budget_ = Budget > 0 ? Budget : 1; }
    uint64_t Room() const { return spent_ >= budget_ ? 0 : budget_ - spent_; }
    uint64_t Spent() const { return spent_; }
    void Add(uint64_t Work) {
        spent_ += Work;
        if (spent_ > most_) most_ = spent_;
    }
    void Yielded() { spent_ = 0; }
    uint64_t Most() const { return most_; }
    void Reset() { spent_ = most_ = 0; }

private:
    uint64_t budget_ = kYieldBudget;
    uint64_t spent_ = 0;
    uint64_t most_ = 0;
};

}  // namespace nimbrel
