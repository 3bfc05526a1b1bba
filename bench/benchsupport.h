#ifndef VELMAR_BENCH_BENCHSUPPORT_H
#define VELMAR_BENCH_BENCHSUPPORT_H

// What the timing programs share: a small deterministic generator (every
// run measures the same data), a clock, the REPEAT argument and the
// instruction sets to measure.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "kernels/distancekernels.h"

namespace benchsupport {

struct Random {
  uint64_t state;
  double next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) * 0x1.0p-53;
  }
};

inline double seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// The optional first argument, passes per measurement (default 3); 0 after
// printing the usage when it is not a positive number.
inline int repeatArgument(int argc, char** argv) {
  const int repeat = argc > 1 ? std::atoi(argv[1]) : 3;
  if (repeat < 1) std::fprintf(stderr, "usage: %s [REPEAT]\n", argv[0]);
  return repeat < 1 ? 0 : repeat;
}

// Every instruction set this processor (and build) runs, narrowest first.
inline std::vector<kernels::InstructionSet> supportedSets() {
  std::vector<kernels::InstructionSet> sets;
  for (kernels::InstructionSet set :
       {kernels::InstructionSet::Portable, kernels::InstructionSet::Avx2, kernels::InstructionSet::Avx512}) {
    if (kernels::supports(set)) sets.push_back(set);
  }
  return sets;
}

}  // namespace benchsupport

#endif
