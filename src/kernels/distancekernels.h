#ifndef VELMAR_DISTANCEKERNELS_H
#define VELMAR_DISTANCEKERNELS_H

// The inner loops of training: squared distances between a vector and a
// unit's weights, and the move of weights towards a vector.
//
// Two kinds of distance exist. The exact one is what every printed error and
// every winner is defined by: a float accumulator, rounded after each
// component, in index order. The rough one is a double sum of the same
// squared differences in any order; it is only ever used to rule units out
// of a winner search (see winnersearch.h), never printed.
//
// Every kernel has a portable version and, on x86-64, versions for wider
// instructions chosen at run time. Every version gives the same bits for the
// exact kernels: the lanes of a wide register each run the very operations
// the portable loop runs, in the same order, and nothing is fused.

namespace kernels {

enum class InstructionSet { Portable = 0, Avx2 = 1, Avx512 = 2 };

// Sum over i of (x[i] - w[i])^2 in double, x given widened to double. Any
// order, fused multiply-add allowed: an estimate with a known error bound.
typedef double (*RoughDistanceFn)(const double* x, const float* w, int n);
// out[u] = the rough distance of x to units[u], for u < count.
typedef void (*RoughDistancesFn)(const double* x, const float* const* units, int count, int n, double* out);
// w[i] = float(w[i] + factor * (x[i] - w[i])), evaluated in double, per i.
typedef void (*MoveTowardsFn)(float* w, const float* x, double factor, int n);
// moveTowards(units[u], x, factors[u], n) for u < count.
typedef void (*MoveUnitsFn)(float* const* units, const double* factors, int count, const float* x, int n);
// out[k] = exact squared distance of vectors[k] to w, for k < count.
typedef void (*ExactDistancesFn)(const float* const* vectors, int count, const float* w, int n, float* out);

struct KernelTable {
  RoughDistanceFn roughDistance;
  RoughDistancesFn roughDistances;
  MoveTowardsFn moveTowards;
  MoveUnitsFn moveUnits;
  ExactDistancesFn exactDistances;
};

// The kernels in use: the widest set this processor runs, unless a test chose another.
extern const KernelTable* activeTable;
inline const KernelTable& active() { return *activeTable; }
// True when this processor (and this build) can run the set.
bool supports(InstructionSet set);
// Switches every caller to `set` (which must be supported); for tests and benchmarks.
void use(InstructionSet set);
const char* name(InstructionSet set);

// The exact squared distance: res = float(res + (a[i] - b[i])^2), i = 0 .. n-1,
// each difference and square taken in double. The reference for all kernels.
inline float exactDistance(const float* a, const float* b, int n) {
  float res = 0.0f;
  for (int i = 0; i < n; i++) {
    double diff = static_cast<double>(a[i]) - static_cast<double>(b[i]);
    res = static_cast<float>(static_cast<double>(res) + diff * diff);
  }
  return res;
}

// out[k] = exactDistance(a[k], b[k], n) for k < count: four of those
// chains at a time, independent of each other, so the processor runs them
// side by side; each is exactly the reference loop.
inline void exactDistancePairs(const float* const* a, const float* const* b, int count, int n, float* out) {
  int k = 0;
  for (; k + 4 <= count; k += 4) {
    float r0 = 0.0f, r1 = 0.0f, r2 = 0.0f, r3 = 0.0f;
    for (int i = 0; i < n; i++) {
      const double d0 = static_cast<double>(a[k][i]) - static_cast<double>(b[k][i]);
      const double d1 = static_cast<double>(a[k + 1][i]) - static_cast<double>(b[k + 1][i]);
      const double d2 = static_cast<double>(a[k + 2][i]) - static_cast<double>(b[k + 2][i]);
      const double d3 = static_cast<double>(a[k + 3][i]) - static_cast<double>(b[k + 3][i]);
      r0 = static_cast<float>(static_cast<double>(r0) + d0 * d0);
      r1 = static_cast<float>(static_cast<double>(r1) + d1 * d1);
      r2 = static_cast<float>(static_cast<double>(r2) + d2 * d2);
      r3 = static_cast<float>(static_cast<double>(r3) + d3 * d3);
    }
    out[k] = r0;
    out[k + 1] = r1;
    out[k + 2] = r2;
    out[k + 3] = r3;
  }
  for (; k < count; k++) out[k] = exactDistance(a[k], b[k], n);
}

// Widens n floats to doubles (exact).
inline void widen(const float* src, double* dst, int n) {
  for (int i = 0; i < n; i++) dst[i] = static_cast<double>(src[i]);
}

// Version tables, defined in the files of each instruction set.
const KernelTable& portableKernels();
#if defined(__x86_64__)
const KernelTable& avx2Kernels();
const KernelTable& avx512Kernels();
#endif

}  // namespace kernels

#endif
