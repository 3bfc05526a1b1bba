// The kernels in 256-bit registers: four doubles per operation. Only these
// functions carry the target attribute, so the rest of the program runs on
// any x86-64 processor; they are called only after a processor check.

#if defined(__x86_64__)

#include <immintrin.h>

#include <cstdint>

#include "kernels/distancekernels.h"

#define VELMAR_AVX2 __attribute__((target("avx2,fma")))

namespace kernels {

namespace {

VELMAR_AVX2 inline __m256d squaredDifferenceSum(__m256d acc, const double* x, const float* w) {
  __m256d d = _mm256_sub_pd(_mm256_loadu_pd(x), _mm256_cvtps_pd(_mm_loadu_ps(w)));
  return _mm256_fmadd_pd(d, d, acc);
}

VELMAR_AVX2 double roughDistanceAvx2(const double* x, const float* w, int n) {
  __m256d a0 = _mm256_setzero_pd(), a1 = _mm256_setzero_pd(), a2 = _mm256_setzero_pd(), a3 = _mm256_setzero_pd();
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    a0 = squaredDifferenceSum(a0, x + i, w + i);
    a1 = squaredDifferenceSum(a1, x + i + 4, w + i + 4);
    a2 = squaredDifferenceSum(a2, x + i + 8, w + i + 8);
    a3 = squaredDifferenceSum(a3, x + i + 12, w + i + 12);
  }
  for (; i + 4 <= n; i += 4) a0 = squaredDifferenceSum(a0, x + i, w + i);
  __m256d s = _mm256_add_pd(_mm256_add_pd(a0, a1), _mm256_add_pd(a2, a3));
  __m128d h = _mm_add_pd(_mm256_castpd256_pd128(s), _mm256_extractf128_pd(s, 1));
  double sum = _mm_cvtsd_f64(_mm_add_sd(h, _mm_unpackhi_pd(h, h)));
  for (; i < n; i++) {
    double d = x[i] - static_cast<double>(w[i]);
    sum += d * d;
  }
  return sum;
}

VELMAR_AVX2 void roughDistancesAvx2(const double* x, const float* const* units, int count, int n, double* out) {
  for (int u = 0; u < count; u++) out[u] = roughDistanceAvx2(x, units[u], n);
}

// Per lane: the difference, its product with the factor, the sum with the
// old weight, the rounding to float: the portable expression, unfused.
VELMAR_AVX2 void moveTowardsAvx2(float* w, const float* x, double factor, int n) {
  const __m256d f = _mm256_set1_pd(factor);
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    __m256d wv = _mm256_cvtps_pd(_mm_loadu_ps(w + i));
    __m256d step = _mm256_mul_pd(f, _mm256_sub_pd(_mm256_cvtps_pd(_mm_loadu_ps(x + i)), wv));
    _mm_storeu_ps(w + i, _mm256_cvtpd_ps(_mm256_add_pd(wv, step)));
  }
  for (; i < n; i++) {
    double wi = static_cast<double>(w[i]);
    w[i] = static_cast<float>(wi + factor * (static_cast<double>(x[i]) - wi));
  }
}

VELMAR_AVX2 void moveUnitsAvx2(float* const* units, const double* factors, int count, const float* x, int n) {
  for (int u = 0; u < count; u++) moveTowardsAvx2(units[u], x, factors[u], n);
}

// Byte offsets of four vectors from `base`, for a gather.
VELMAR_AVX2 inline __m256i offsetsFrom(const float* base, const float* const* v) {
  const auto at = [base](const float* p) {
    return static_cast<long long>(reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(base));
  };
  return _mm256_set_epi64x(at(v[3]), at(v[2]), at(v[1]), at(v[0]));
}

// One step of four exact chains: r = float(r + (a - w)^2) in every lane, the
// float held widened in a double lane (widening a float is exact).
VELMAR_AVX2 inline __m256d exactStep(__m256d r, __m128 a, __m256d wi) {
  __m256d d = _mm256_sub_pd(_mm256_cvtps_pd(a), wi);
  return _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_add_pd(r, _mm256_mul_pd(d, d))));
}

// Eight vectors at a time in two groups of four lanes, gathered component by component.
VELMAR_AVX2 void exactDistancesAvx2(const float* const* vectors, int count, const float* w, int n, float* out) {
  int k = 0;
  for (; k + 8 <= count; k += 8) {
    const float* base = vectors[k];
    __m256i o0 = offsetsFrom(base, vectors + k), o1 = offsetsFrom(base, vectors + k + 4);
    const __m256i step = _mm256_set1_epi64x(sizeof(float));
    __m256d r0 = _mm256_setzero_pd(), r1 = _mm256_setzero_pd();
    for (int i = 0; i < n; i++) {
      const __m256d wi = _mm256_set1_pd(static_cast<double>(w[i]));
      r0 = exactStep(r0, _mm256_i64gather_ps(base, o0, 1), wi);
      r1 = exactStep(r1, _mm256_i64gather_ps(base, o1, 1), wi);
      o0 = _mm256_add_epi64(o0, step);
      o1 = _mm256_add_epi64(o1, step);
    }
    _mm_storeu_ps(out + k, _mm256_cvtpd_ps(r0));
    _mm_storeu_ps(out + k + 4, _mm256_cvtpd_ps(r1));
  }
  portableKernels().exactDistances(vectors + k, count - k, w, n, out + k);
}

}  // namespace

const KernelTable& avx2Kernels() {
  static const KernelTable table = {roughDistanceAvx2, roughDistancesAvx2, moveTowardsAvx2,
                                    moveUnitsAvx2, exactDistancesAvx2};
  return table;
}

}  // namespace kernels

#endif
