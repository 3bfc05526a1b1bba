#ifndef VELMAR_TESTS_KERNEL_SETS_H
#define VELMAR_TESTS_KERNEL_SETS_H

// The instruction sets a kernel test runs on: every one this processor runs.

#include <vector>

#include "kernels/distancekernels.h"

namespace kernelsets {

inline std::vector<kernels::InstructionSet> supportedSets() {
  std::vector<kernels::InstructionSet> sets;
  for (kernels::InstructionSet s :
       {kernels::InstructionSet::Portable, kernels::InstructionSet::Avx2, kernels::InstructionSet::Avx512}) {
    if (kernels::supports(s)) sets.push_back(s);
  }
  return sets;
}

// Switches to a set for one test; the widest kernels are restored when it ends.
struct KernelsIn {
  explicit KernelsIn(kernels::InstructionSet s) { kernels::use(s); }
  ~KernelsIn() { kernels::use(supportedSets().back()); }
};

}  // namespace kernelsets

#endif
