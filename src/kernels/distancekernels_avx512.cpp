// The kernels in 512-bit registers: eight doubles per operation, the last
// partial block under a mask. Only these functions carry the target
// attribute; they are called only after a processor check.

#if defined(__x86_64__)

// The compiler's own 512-bit conversion and gather helpers start from a
// deliberately undefined register, which its flow analysis mistakes for an
// uninitialised read. (Clang has no such flow warning, and no name for it.)
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#pragma GCC diagnostic ignored "-Wuninitialized"
#include <immintrin.h>

#include <cmath>
#include <cstdint>
#include <cstring>

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

VELMAR_AVX512 float roughDistanceAvx512(const float* x, const float* w, int n) {
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
  int u = 0;
  for (; u + 4 <= count; u += 4) {
    const __m256 s0 = halvedLaneSums(x, units[u], n), s1 = halvedLaneSums(x, units[u + 1], n);
    const __m256 s2 = halvedLaneSums(x, units[u + 2], n), s3 = halvedLaneSums(x, units[u + 3], n);
    storeFourSums(s0, s1, s2, s3, out + u);
  }
  for (; u < count; u++) out[u] = static_cast<double>(roughDistanceAvx512(x, units[u], n));
}

// Byte offsets of eight vectors from `base`, for a gather.
VELMAR_AVX512 inline __m512i offsetsFrom(const float* base, const float* const* v) {
  const auto at = [base](const float* p) {
    return static_cast<long long>(reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(base));
  };
  return _mm512_set_epi64(at(v[7]), at(v[6]), at(v[5]), at(v[4]), at(v[3]), at(v[2]), at(v[1]), at(v[0]));
}

// One step of eight exact chains: r = float(r + (a - w)^2) in every lane, the
// float held widened in a double lane (widening a float is exact).
VELMAR_AVX512 inline __m512d exactStep(__m512d r, __m256 a, __m512d wi) {
  __m512d d = _mm512_sub_pd(_mm512_cvtps_pd(a), wi);
  return _mm512_cvtps_pd(_mm512_cvtpd_ps(_mm512_add_pd(r, _mm512_mul_pd(d, d))));
}

// Sixteen vectors at a time in two groups of eight lanes, gathered component by component.
VELMAR_AVX512 void exactDistancesAvx512(const float* const* vectors, int count, const float* w, int n, float* out) {
  int k = 0;
  for (; k + 16 <= count; k += 16) {
    const float* base = vectors[k];
    __m512i o0 = offsetsFrom(base, vectors + k), o1 = offsetsFrom(base, vectors + k + 8);
    const __m512i step = _mm512_set1_epi64(sizeof(float));
    __m512d r0 = _mm512_setzero_pd(), r1 = _mm512_setzero_pd();
    for (int i = 0; i < n; i++) {
      const __m512d wi = _mm512_set1_pd(static_cast<double>(w[i]));
      r0 = exactStep(r0, _mm512_i64gather_ps(o0, base, 1), wi);
      r1 = exactStep(r1, _mm512_i64gather_ps(o1, base, 1), wi);
      o0 = _mm512_add_epi64(o0, step);
      o1 = _mm512_add_epi64(o1, step);
    }
    _mm256_storeu_ps(out + k, _mm512_cvtpd_ps(r0));
    _mm256_storeu_ps(out + k + 8, _mm512_cvtpd_ps(r1));
  }
  avx2Kernels().exactDistances(vectors + k, count - k, w, n, out + k);
}

VELMAR_AVX512 void accumulateSquaresAvx512(float* acc, const float* w, const float* x, int n) {
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m512d d = _mm512_sub_pd(_mm512_cvtps_pd(_mm256_loadu_ps(w + i)), _mm512_cvtps_pd(_mm256_loadu_ps(x + i)));
    const __m512d sum = _mm512_add_pd(_mm512_cvtps_pd(_mm256_loadu_ps(acc + i)), _mm512_mul_pd(d, d));
    _mm256_storeu_ps(acc + i, _mm512_cvtpd_ps(sum));
  }
  avx2Kernels().accumulateSquares(acc + i, w + i, x + i, n - i);
}


}  // namespace

const KernelTable& avx512Kernels() {
  // The moves (and so the lengths they keep) run faster in the narrower
  // registers (measured on a processor that splits 512-bit operations in two).
  const KernelTable& narrower = avx2Kernels();
  static const KernelTable table = {roughDistanceAvx512,  roughDistancesAvx512, narrower.moveTowards,
                                    narrower.moveUnits,   exactDistancesAvx512, narrower.measure,
                                    narrower.moveMeasured, narrower.moveSparse, portableKernels().sparseDots,
                                    accumulateSquaresAvx512};
  return table;
}

}  // namespace kernels

#endif
