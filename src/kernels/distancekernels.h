#ifndef VELMAR_DISTANCEKERNELS_H
#define VELMAR_DISTANCEKERNELS_H

// The inner loops of training: squared distances between a vector and a
// unit's weights, and the move of weights towards a vector.
//
// Two kinds of distance exist. The exact one is what every printed error and
// every winner is defined by: a float accumulator, rounded after each
// component, in index order. The rough one is a float sum of the same
// squared differences in any order; it is only ever used to rule units out
// of a winner search (see winnersearch.h), never printed.
//
// Every kernel has a portable version and, on x86-64, versions for wider
// instructions chosen at run time. Every version gives the same bits for the
// exact kernels: the lanes of a wide register each run the very operations
// the portable loop runs, in the same order, and nothing is fused.

#include "kernels/vectorvalues.h"

namespace kernels {

enum class InstructionSet { Portable = 0, Avx2 = 1, Avx512 = 2 };

// Sum over i of (x[i] - w[i])^2 in float: each difference and square (or
// product and sum, fused) rounded to float, the sum in any order. An
// estimate whose error winnersearch.cpp bounds; every rounding it may do is
// counted there (at most n + 2 per term).
typedef float (*RoughDistanceFn)(const float* x, const float* w, int n);
// out[u] = the rough distance of x to units[u], for u < count.
typedef void (*RoughDistancesFn)(const float* x, const float* const* units, int count, int n, double* out);
// w[i] = float(w[i] + factor * (x[i] - w[i])), evaluated in double, per i.
typedef void (*MoveTowardsFn)(float* w, const float* x, double factor, int n);
// moveTowards(units[u], x, factors[u], n) for u < count.
typedef void (*MoveUnitsFn)(float* const* units, const double* factors, int count, const float* x, int n);
// out[k] = exact squared distance of vectors[k] to w, for k < count.
typedef void (*ExactDistancesFn)(const float* const* vectors, int count, const float* w, int n, float* out);

// The squared length of a weight vector: the sum, in float, of the squares
// of all its components, in sixteen chains (component i in chain i mod 16)
// that are then added up; the order of the chains' sums and whether a
// square is fused with its addition are fixed per instruction set. Every
// square thus passes at most ceil(n / 16) + 5 roundings (winnersearch.cpp
// bounds the sum with that). The moves below return it for the weights they leave,
// computed in the same pass and in the same order as measure(), so that it
// equals measure() of the result bit for bit, whatever blocks a move skipped.
typedef float (*MeasureFn)(const float* w, int n);
// moveTowards, returning the new squared length.
typedef float (*MoveMeasuredFn)(float* w, const float* x, double factor, int n);
// moveTowards for a sparse x (every component it does not list is +0),
// returning the new squared length. A block of kSkipBlock weights where x
// lists nothing and every weight lies within skipLimit (see noOpLimit) is
// not written: the move would give every one of them back unchanged.
//
// Towards a component of +0 the move is float(w + factor * (0 - w)); for a
// finite factor the kernels compute it as float(w - factor * w), which gives
// the same bits: 0 - w is -w exactly (+0 for w = +0 or -0, where -w would
// differ in sign, but factor * +0 and factor * -w are then zeros whose sum
// with w rounds alike: +0 + (+-0) = +0 - (+-0) and -0 + (+-0) = -0 - (-+0));
// rounding to nearest is symmetric, so factor * -w = -(factor * w); and
// w + (-a) is w - a. Infinite and NaN weights propagate alike (a NaN keeps
// w's payload in both). With a factor that is not finite the kernels keep
// the literal expression.
typedef float (*MoveSparseFn)(float* w, const SparseEntries& x, double factor, int n, int skipLimit);
constexpr int kSkipBlock = 16;
// out[u] = the sum over the components j that x lists of x[j] * units[u][j],
// in double (each product exact), in any order, for u < count.
typedef void (*SparseDotsFn)(const SparseEntries& x, const float* const* units, int count, double* out);
// acc[i] = float(acc[i] + (w[i] - x[i])^2) per i, the difference and the
// square taken in double: one step of n independent float chains.
typedef void (*AccumulateSquaresFn)(float* acc, const float* w, const float* x, int n);

struct KernelTable {
  RoughDistanceFn roughDistance;
  RoughDistancesFn roughDistances;
  MoveTowardsFn moveTowards;
  MoveUnitsFn moveUnits;
  ExactDistancesFn exactDistances;
  MeasureFn measure;
  MoveMeasuredFn moveMeasured;
  MoveSparseFn moveSparse;
  SparseDotsFn sparseDots;
  AccumulateSquaresFn accumulateSquares;
};

// The kernels in use: the widest set this processor runs (and the build
// allows, see VELMAR_MAX_ISA), unless a test chose another.
extern const KernelTable* activeTable;
inline const KernelTable& active() { return *activeTable; }
// True when this processor (and this build) can run the set.
bool supports(InstructionSet set);
// True when this build leaves the set out, whatever the processor: capped by
// VELMAR_MAX_ISA, or not built for this kind of processor.
bool leftOutByBuild(InstructionSet set);
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
// chains at a time (then two, then one), independent of each other, so the
// processor runs them side by side; each is exactly the reference loop.
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
  if (k + 2 <= count) {
    float r0 = 0.0f, r1 = 0.0f;
    for (int i = 0; i < n; i++) {
      const double d0 = static_cast<double>(a[k][i]) - static_cast<double>(b[k][i]);
      const double d1 = static_cast<double>(a[k + 1][i]) - static_cast<double>(b[k + 1][i]);
      r0 = static_cast<float>(static_cast<double>(r0) + d0 * d0);
      r1 = static_cast<float>(static_cast<double>(r1) + d1 * d1);
    }
    out[k] = r0;
    out[k + 1] = r1;
    k += 2;
  }
  if (k < count) out[k] = exactDistance(a[k], b[k], n);
}

// The exact squared distance of a sparse x to w: the same chain over every
// component in order, an unlisted component of x being +0.
inline float exactDistance(const SparseEntries& x, const float* w, int n) {
  float res = 0.0f;
  int k = 0;
  for (int i = 0; i < n; i++) {
    const double xi = k < x.count && x.index[k] == i ? static_cast<double>(x.value[k++]) : 0.0;
    const double diff = xi - static_cast<double>(w[i]);
    res = static_cast<float>(static_cast<double>(res) + diff * diff);
  }
  return res;
}

// The largest float bit pattern (of |w|) for which moving a weight w towards
// an input component of +0 with this factor provably gives w back, or -1
// when none is: the factor is not finite. See distancekernels.cpp.
int noOpLimit(double factor);

// The move towards a sparse x of components `from` to n-1, one by one; x's
// entries from k on are those listed there.
inline void moveSparseRest(float* w, const SparseEntries& x, int k, int from, int n, double factor) {
  for (int i = from; i < n; i++) {
    const double xi = k < x.count && x.index[k] == i ? static_cast<double>(x.value[k++]) : 0.0;
    const double wi = static_cast<double>(w[i]);
    w[i] = static_cast<float>(wi + factor * (xi - wi));
  }
}

// Version tables, defined in the files of each instruction set.
const KernelTable& portableKernels();
#if defined(__x86_64__)
const KernelTable& avx2Kernels();
const KernelTable& avx512Kernels();
#endif

}  // namespace kernels

#endif
