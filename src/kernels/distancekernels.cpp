#include "kernels/distancekernels.h"

namespace kernels {

namespace {

double roughDistancePortable(const double* x, const float* w, int n) {
  // Four partial sums: independent chains the processor can overlap.
  double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    double d0 = x[i] - static_cast<double>(w[i]);
    double d1 = x[i + 1] - static_cast<double>(w[i + 1]);
    double d2 = x[i + 2] - static_cast<double>(w[i + 2]);
    double d3 = x[i + 3] - static_cast<double>(w[i + 3]);
    s0 += d0 * d0;
    s1 += d1 * d1;
    s2 += d2 * d2;
    s3 += d3 * d3;
  }
  for (; i < n; i++) {
    double d = x[i] - static_cast<double>(w[i]);
    s0 += d * d;
  }
  return (s0 + s1) + (s2 + s3);
}

void roughDistancesPortable(const double* x, const float* const* units, int count, int n, double* out) {
  for (int u = 0; u < count; u++) out[u] = roughDistancePortable(x, units[u], n);
}

void moveTowardsPortable(float* w, const float* x, double factor, int n) {
  for (int i = 0; i < n; i++) {
    double wi = static_cast<double>(w[i]);
    w[i] = static_cast<float>(wi + factor * (static_cast<double>(x[i]) - wi));
  }
}

void moveUnitsPortable(float* const* units, const double* factors, int count, const float* x, int n) {
  for (int u = 0; u < count; u++) moveTowardsPortable(units[u], x, factors[u], n);
}

// Four exact chains at a time, each exactly the reference loop.
void exactDistancesPortable(const float* const* vectors, int count, const float* w, int n, float* out) {
  const float* const weights[4] = {w, w, w, w};
  int k = 0;
  for (; k + 4 <= count; k += 4) exactDistancePairs(vectors + k, weights, 4, n, out + k);
  exactDistancePairs(vectors + k, weights, count - k, n, out + k);
}

InstructionSet widestSupported() {
  if (supports(InstructionSet::Avx512)) return InstructionSet::Avx512;
  if (supports(InstructionSet::Avx2)) return InstructionSet::Avx2;
  return InstructionSet::Portable;
}

const KernelTable& tableOf(InstructionSet set) {
  switch (set) {
#if defined(__x86_64__)
    case InstructionSet::Avx512:
      return avx512Kernels();
    case InstructionSet::Avx2:
      return avx2Kernels();
#endif
    default:
      return portableKernels();
  }
}

}  // namespace

const KernelTable* activeTable = &tableOf(widestSupported());

const KernelTable& portableKernels() {
  static const KernelTable table = {roughDistancePortable, roughDistancesPortable, moveTowardsPortable,
                                    moveUnitsPortable, exactDistancesPortable};
  return table;
}

bool supports(InstructionSet set) {
#if defined(__x86_64__)
  __builtin_cpu_init();
  switch (set) {
    case InstructionSet::Avx512:
      return __builtin_cpu_supports("avx512f") != 0 && supports(InstructionSet::Avx2);
    case InstructionSet::Avx2:
      return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("fma") != 0;
    case InstructionSet::Portable:
      return true;
  }
  return false;
#else
  return set == InstructionSet::Portable;
#endif
}

void use(InstructionSet set) {
  activeTable = &tableOf(set);
}

const char* name(InstructionSet set) {
  switch (set) {
    case InstructionSet::Avx512:
      return "avx512";
    case InstructionSet::Avx2:
      return "avx2";
    case InstructionSet::Portable:
      return "portable";
  }
  return "?";
}

}  // namespace kernels
