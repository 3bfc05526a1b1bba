// The kernels in 512-bit registers: eight doubles per operation, the last
// partial block under a mask. Only these functions carry the target
// attribute; they are called only after a processor check.

#if defined(__x86_64__)

// The compiler's own 512-bit helpers start from a deliberately undefined
// register, which its flow analysis mistakes for an uninitialised read.
// (Clang has no such flow warning, and no name for it.)
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>

#include "kernels/distancekernels.h"
#include "kernels/foursums.h"

#define VELMAR_AVX512 __attribute__((target("avx512f")))

namespace kernels {

namespace {

VELMAR_AVX512 inline __m512 squaredDifferenceSum(__m512 acc, __m512 x, __m512 w) {
  const __m512 d = _mm512_sub_ps(x, w);
  return _mm512_fmadd_ps(d, d, acc);
}

// The squared differences summed per lane: two accumulators of sixteen
// lanes, added; the last components under a mask.
VELMAR_AVX512 inline __m512 laneSums(const float* x, const float* w, int n) {
  __m512 a0 = _mm512_setzero_ps(), a1 = _mm512_setzero_ps();
  int i = 0;
  for (; i + 32 <= n; i += 32) {
    a0 = squaredDifferenceSum(a0, _mm512_loadu_ps(x + i), _mm512_loadu_ps(w + i));
    a1 = squaredDifferenceSum(a1, _mm512_loadu_ps(x + i + 16), _mm512_loadu_ps(w + i + 16));
  }
  if (i + 16 <= n) {
    a0 = squaredDifferenceSum(a0, _mm512_loadu_ps(x + i), _mm512_loadu_ps(w + i));
    i += 16;
  }
  if (i < n) {
    const __mmask16 mask = static_cast<__mmask16>((1u << (n - i)) - 1u);
    a1 = squaredDifferenceSum(a1, _mm512_maskz_loadu_ps(mask, x + i), _mm512_maskz_loadu_ps(mask, w + i));
  }
  return _mm512_add_ps(a0, a1);
}

// Below this many components the masked rest of a 512-bit sum costs more
// than it saves: the 256-bit kernels take such vectors (velmar_kernel_bench:
// at 50 components 0.067 ns a component against 0.081; from 300 on the two
// lie within a few percent of each other).
constexpr int kWideFrom = 256;
// The 256-bit kernels for them, set once while the table below is made
// (before anything can call through it).
RoughDistanceFn narrowDistance = nullptr;
RoughDistancesFn narrowDistances = nullptr;

VELMAR_AVX512 float roughDistanceAvx512(const float* x, const float* w, int n) {
  if (n < kWideFrom) return narrowDistance(x, w, n);
  return _mm512_reduce_add_ps(laneSums(x, w, n));
}

// A unit's lane sums folded to eight lanes.
VELMAR_AVX512 inline __m256 halvedLaneSums(const float* x, const float* w, int n) {
  const __m512 a = laneSums(x, w, n);
  return _mm256_add_ps(_mm512_castps512_ps256(a), _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(a), 1)));
}

// Four units at a time, their lanes added up together (any order is a
// rough distance's order): the sums of a short vector cost less than the
// reduction of each unit on its own.
VELMAR_AVX512 void roughDistancesAvx512(const float* x, const float* const* units, int count, int n, double* out) {
  if (n < kWideFrom) {
    narrowDistances(x, units, count, n, out);
    return;
  }
  int u = 0;
  for (; u + 4 <= count; u += 4) {
    const __m256 s0 = halvedLaneSums(x, units[u], n), s1 = halvedLaneSums(x, units[u + 1], n);
    const __m256 s2 = halvedLaneSums(x, units[u + 2], n), s3 = halvedLaneSums(x, units[u + 3], n);
    storeFourSums(s0, s1, s2, s3, out + u);
  }
  for (; u < count; u++) out[u] = static_cast<double>(roughDistanceAvx512(x, units[u], n));
}

}  // namespace

const KernelTable& avx512Kernels() {
  // Only the rough distances of long vectors gain from 512-bit registers:
  // the moves (and so the lengths they keep) and the per-component sums of
  // squares run faster in the narrower ones, and the exact chains fastest as
  // eight scalar chains side by side (measured on a processor that splits
  // 512-bit operations in two).
  static const KernelTable table = [] {
    const KernelTable& narrower = avx2Kernels();
    narrowDistance = narrower.roughDistance;
    narrowDistances = narrower.roughDistances;
    return KernelTable{roughDistanceAvx512,     roughDistancesAvx512,      narrower.moveTowards,  narrower.moveUnits,
                       narrower.exactDistances, narrower.measure,          narrower.moveMeasured, narrower.moveSparse,
                       narrower.sparseDots,     narrower.accumulateSquares};
  }();
  return table;
}

}  // namespace kernels

#endif
