#ifndef VELMAR_KERNEL_SUPPORT_H
#define VELMAR_KERNEL_SUPPORT_H

// Shared by the tests of the kernels: every instruction set this processor (and build) runs, and the fixture of
// tests that run once per instruction set.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernels/distancekernels.h"

namespace testsupport {

inline std::vector<kernels::InstructionSet> supportedSets() {
  std::vector<kernels::InstructionSet> sets;
  for (kernels::InstructionSet s :
       {kernels::InstructionSet::Portable, kernels::InstructionSet::Avx2, kernels::InstructionSet::Avx512}) {
    if (kernels::supports(s)) sets.push_back(s);
  }
  return sets;
}

// Why a set cannot run here: "AVX-512 is not available on this processor", or left out by the build.
inline std::string whyUnavailable(kernels::InstructionSet set) {
  const std::string name = set == kernels::InstructionSet::Avx512 ? "AVX-512"
                           : set == kernels::InstructionSet::Avx2 ? "AVX2 with FMA"
                                                                  : kernels::name(set);
  if (kernels::leftOutByBuild(set)) return "this build leaves " + name + " out (VELMAR_MAX_ISA)";
  return name + " is not available on this processor";
}

// The fixture of a test that runs once per instruction set, with the kernels switched to it: a suite
// `using Suite = testsupport::OnEachSet;` whose TEST_Ps are instantiated with
// INSTANTIATE_TEST_SUITE_P(, Suite, testsupport::everySet(), testsupport::setName). A set this processor (or
// build) cannot run is reported as skipped, with the reason; the others still run.
class OnEachSet : public ::testing::TestWithParam<kernels::InstructionSet> {
 protected:
  void SetUp() override {
    if (!kernels::supports(GetParam())) GTEST_SKIP() << whyUnavailable(GetParam());
    kernels::use(GetParam());
  }
  void TearDown() override { kernels::use(supportedSets().back()); }
};

inline auto everySet() {
  return ::testing::Values(kernels::InstructionSet::Portable, kernels::InstructionSet::Avx2,
                           kernels::InstructionSet::Avx512);
}

inline std::string setName(const ::testing::TestParamInfo<kernels::InstructionSet>& info) {
  return kernels::name(info.param);
}

}  // namespace testsupport

#endif
