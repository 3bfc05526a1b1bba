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

#define VELMAR_AVX512 __attribute__((target("avx512f")))

namespace kernels {

namespace {

VELMAR_AVX512 inline __m512 squaredDifferenceSum(__m512 acc, __m512 x, __m512 w) {
  const __m512 d = _mm512_sub_ps(x, w);
  return _mm512_fmadd_ps(d, d, acc);
}

// Two accumulators of sixteen lanes; the last components under a mask.
VELMAR_AVX512 float roughDistanceAvx512(const float* x, const float* w, int n) {
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
  return _mm512_reduce_add_ps(_mm512_add_ps(a0, a1));
}

VELMAR_AVX512 void roughDistancesAvx512(const float* x, const float* const* units, int count, int n, double* out) {
  for (int u = 0; u < count; u++) out[u] = static_cast<double>(roughDistanceAvx512(x, units[u], n));
}

// Per lane: the difference, its product with the factor, the sum with the
// old weight, the rounding to float: the portable expression, unfused.
VELMAR_AVX512 inline __m256 movedWeights(__m256 w, __m256 x, __m512d f) {
  __m512d wv = _mm512_cvtps_pd(w);
  __m512d step = _mm512_mul_pd(f, _mm512_sub_pd(_mm512_cvtps_pd(x), wv));
  return _mm512_cvtpd_ps(_mm512_add_pd(wv, step));
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

// ---- Moves that return the squared length, in blocks of 16 (two halves) ----
// The squares go into two accumulators of eight lanes, one per half of a
// block; components after the last full block are added one by one.
// measure and the moves share this order.

struct Lengths {
  __m512d a0, a1;
};

VELMAR_AVX512 inline void addSquares(Lengths& l, __m256 lo, __m256 hi) {
  const __m512d a = _mm512_cvtps_pd(lo), b = _mm512_cvtps_pd(hi);
  l.a0 = _mm512_fmadd_pd(a, a, l.a0);
  l.a1 = _mm512_fmadd_pd(b, b, l.a1);
}

VELMAR_AVX512 inline double total(const Lengths& l, const float* w, int done, int n) {
  double sum = _mm512_reduce_add_pd(_mm512_add_pd(l.a0, l.a1));
  for (int i = done; i < n; i++) sum += static_cast<double>(w[i]) * static_cast<double>(w[i]);
  return sum;
}

VELMAR_AVX512 inline void moveBlock(float* w, __m256 xlo, __m256 xhi, __m512d f, Lengths& l) {
  const __m256 lo = movedWeights(_mm256_loadu_ps(w), xlo, f);
  const __m256 hi = movedWeights(_mm256_loadu_ps(w + 8), xhi, f);
  _mm256_storeu_ps(w, lo);
  _mm256_storeu_ps(w + 8, hi);
  addSquares(l, lo, hi);
}

// True when all 16 weights lie within the limit (as bits of |w|) and none is -0.
VELMAR_AVX512 inline bool blockUnchanged(__m512i bits, __m512i limit) {
  const __m512i magnitude = _mm512_and_si512(bits, _mm512_set1_epi32(0x7fffffff));
  const __mmask16 kept = _mm512_mask_cmpneq_epi32_mask(_mm512_cmple_epi32_mask(magnitude, limit), bits,
                                                       _mm512_set1_epi32(static_cast<int>(0x80000000u)));
  return kept == 0xffff;
}

VELMAR_AVX512 double measureAvx512(const float* w, int n) {
  Lengths l = {_mm512_setzero_pd(), _mm512_setzero_pd()};
  const int full = n / kSkipBlock * kSkipBlock;
  for (int i = 0; i < full; i += kSkipBlock) addSquares(l, _mm256_loadu_ps(w + i), _mm256_loadu_ps(w + i + 8));
  return total(l, w, full, n);
}

VELMAR_AVX512 double moveMeasuredAvx512(float* w, const float* x, double factor, int n) {
  const __m512d f = _mm512_set1_pd(factor);
  Lengths l = {_mm512_setzero_pd(), _mm512_setzero_pd()};
  const int full = n / kSkipBlock * kSkipBlock;
  for (int i = 0; i < full; i += kSkipBlock) moveBlock(w + i, _mm256_loadu_ps(x + i), _mm256_loadu_ps(x + i + 8), f, l);
  portableKernels().moveTowards(w + full, x + full, factor, n - full);
  return total(l, w, full, n);
}

// Eight weights moved towards +0 as float(w - factor * w) (see MoveSparseFn).
VELMAR_AVX512 inline __m256 movedToZero(__m256 w, __m512d f) {
  const __m512d wv = _mm512_cvtps_pd(w);
  return _mm512_cvtpd_ps(_mm512_sub_pd(wv, _mm512_mul_pd(f, wv)));
}

VELMAR_AVX512 double moveSparseAvx512(float* w, const SparseEntries& x, double factor, int n, int skipLimit) {
  if (!std::isfinite(factor)) return portableKernels().moveSparse(w, x, factor, n, skipLimit);
  const __m512d f = _mm512_set1_pd(factor);
  const __m512i limit = _mm512_set1_epi32(skipLimit);
  Lengths l = {_mm512_setzero_pd(), _mm512_setzero_pd()};
  const int full = n / kSkipBlock * kSkipBlock;
  int k = 0;
  for (int start = 0; start < full; start += kSkipBlock) {
    float* block = w + start;
    const int end = start + kSkipBlock;
    if (k < x.count && x.index[k] < end) {
      // The block's listed values put into their lanes in registers (a
      // vector load right after scalar stores would wait for the stores).
      __m512 xb = _mm512_setzero_ps();
      for (; k < x.count && x.index[k] < end; k++) {
        xb = _mm512_mask_broadcastss_ps(xb, static_cast<__mmask16>(1u << (x.index[k] - start)), _mm_set_ss(x.value[k]));
      }
      moveBlock(block, _mm512_castps512_ps256(xb), _mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(xb), 1)),
                f, l);
      continue;
    }
    // The first weight tells cheaply whether the whole block may be left.
    int first;
    std::memcpy(&first, block, sizeof first);
    if ((first & 0x7fffffff) <= skipLimit && blockUnchanged(_mm512_loadu_si512(block), limit)) {
      addSquares(l, _mm256_loadu_ps(block), _mm256_loadu_ps(block + 8));
      continue;
    }
    const __m256 lo = movedToZero(_mm256_loadu_ps(block), f), hi = movedToZero(_mm256_loadu_ps(block + 8), f);
    _mm256_storeu_ps(block, lo);
    _mm256_storeu_ps(block + 8, hi);
    addSquares(l, lo, hi);
  }
  moveSparseRest(w, x, k, full, n, factor);  // the short last block, never skipped
  return total(l, w, full, n);
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
  // The plain moves run faster in the narrower registers (measured on a
  // processor that splits 512-bit operations in two).
  static const KernelTable table = {roughDistanceAvx512, roughDistancesAvx512, avx2Kernels().moveTowards,
                                    avx2Kernels().moveUnits, exactDistancesAvx512, measureAvx512,
                                    moveMeasuredAvx512,  moveSparseAvx512,     portableKernels().sparseDots,
                                    accumulateSquaresAvx512};
  return table;
}

}  // namespace kernels

#endif
