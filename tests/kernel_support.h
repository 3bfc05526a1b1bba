#ifndef VELMAR_KERNEL_SUPPORT_H
#define VELMAR_KERNEL_SUPPORT_H

// Shared by the tests of the kernels: every instruction set this processor (and build) runs, and a guard that
// switches the kernels to one of them for a test.

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

// Restores the widest kernels when a test ends.
struct KernelsIn {
  explicit KernelsIn(kernels::InstructionSet s) { kernels::use(s); }
  ~KernelsIn() { kernels::use(supportedSets().back()); }
};

}  // namespace testsupport

#endif
