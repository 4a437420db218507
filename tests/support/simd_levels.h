// Tests that run once for every SIMD level: a suite derived from
// SimdLevelTest, its tests TEST_P, instantiated as
//   INSTANTIATE_TEST_SUITE_P(Levels, Suite, ::testing::ValuesIn(kSimdLevels), SimdLevelTestName);
// A level this machine lacks is reported as skipped, with the reason, never
// as passed: the engine would quietly run a lower level in its place.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "engine/batch_kernels.h"

namespace nimbrel {

// The level's name in gtest's messages, for the parameter of a test.
inline void PrintTo(TSimdLevel Level, std::ostream* Out) { *Out << SimdLevelName(Level); }

}  // namespace nimbrel

namespace nimbrel::testing {

inline constexpr TSimdLevel kSimdLevels[] = {TSimdLevel::Scalar, TSimdLevel::SSE2, TSimdLevel::AVX2,
                                             TSimdLevel::AVX512};

class SimdLevelTest : public ::testing::TestWithParam<TSimdLevel> {
protected:
    void SetUp() override {
        if (Level() > SupportedSimdLevel())
            GTEST_SKIP() << "this processor or build lacks " << SimdLevelName(Level()) << " (the best it has is "
                         << SimdLevelName(SupportedSimdLevel()) << ")";
    }
    TSimdLevel Level() const { return GetParam(); }
};

inline std::string SimdLevelTestName(const ::testing::TestParamInfo<TSimdLevel>& Info) {
    return SimdLevelName(Info.param);
}

}  // namespace nimbrel::testing
