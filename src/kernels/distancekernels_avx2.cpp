// The kernels in 256-bit registers: four doubles per operation. Only these
// functions carry the target attribute, so the rest of the program runs on
// any x86-64 processor; they are called only after a processor check.

#if defined(__x86_64__)

#include <immintrin.h>

#include <cmath>
#include <cstring>

#include "kernels/distancekernels.h"
#include "kernels/foursums.h"

#define VELMAR_AVX2 __attribute__((target("avx2,fma")))

namespace kernels {

namespace {

VELMAR_AVX2 inline __m256 squaredDifferenceSum(__m256 acc, __m256 x, __m256 w) {
  const __m256 d = _mm256_sub_ps(x, w);
  return _mm256_fmadd_ps(d, d, acc);
}

// The squared differences summed per lane: two accumulators of eight lanes,
// added; the last components under a mask.
VELMAR_AVX2 inline __m256 laneSums(const float* x, const float* w, int n) {
  __m256 a0 = _mm256_setzero_ps(), a1 = _mm256_setzero_ps();
  int i = 0;
  for (; i + 16 <= n; i += 16) {
    a0 = squaredDifferenceSum(a0, _mm256_loadu_ps(x + i), _mm256_loadu_ps(w + i));
    a1 = squaredDifferenceSum(a1, _mm256_loadu_ps(x + i + 8), _mm256_loadu_ps(w + i + 8));
  }
  if (i + 8 <= n) {
    a0 = squaredDifferenceSum(a0, _mm256_loadu_ps(x + i), _mm256_loadu_ps(w + i));
    i += 8;
  }
  if (i < n) {
    const __m256i mask = _mm256_cmpgt_epi32(_mm256_set1_epi32(n - i), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    a1 = squaredDifferenceSum(a1, _mm256_maskload_ps(x + i, mask), _mm256_maskload_ps(w + i, mask));
  }
  return _mm256_add_ps(a0, a1);
}

VELMAR_AVX2 float roughDistanceAvx2(const float* x, const float* w, int n) {
  const __m256 s = laneSums(x, w, n);
  __m128 h = _mm_add_ps(_mm256_castps256_ps128(s), _mm256_extractf128_ps(s, 1));
  h = _mm_add_ps(h, _mm_movehl_ps(h, h));
  return _mm_cvtss_f32(_mm_add_ss(h, _mm_movehdup_ps(h)));
}

// Four units at a time, their lanes added up together (any order is a
// rough distance's order): the sums of a short vector cost less than the
// reduction of each unit on its own.
VELMAR_AVX2 void roughDistancesAvx2(const float* x, const float* const* units, int count, int n, double* out) {
  int u = 0;
  for (; u + 4 <= count; u += 4) {
    const __m256 s0 = laneSums(x, units[u], n), s1 = laneSums(x, units[u + 1], n);
    const __m256 s2 = laneSums(x, units[u + 2], n), s3 = laneSums(x, units[u + 3], n);
    storeFourSums(s0, s1, s2, s3, out + u);
  }
  for (; u < count; u++) out[u] = static_cast<double>(roughDistanceAvx2(x, units[u], n));
}

// Per lane: the difference, its product with the factor, the sum with the
// old weight, the rounding to float: the portable expression, unfused.
VELMAR_AVX2 inline __m128 moved4(__m128 w, __m128 x, __m256d f) {
  const __m256d wv = _mm256_cvtps_pd(w);
  const __m256d step = _mm256_mul_pd(f, _mm256_sub_pd(_mm256_cvtps_pd(x), wv));
  return _mm256_cvtpd_ps(_mm256_add_pd(wv, step));
}

// Eight weights at a time, then four. A weight's new value depends on its
// own old value alone, so the last four (which may overlap weights moved
// before) are worked out from their old values first and stored last: an
// overlapped weight gets the same bits twice.
VELMAR_AVX2 void moveTowardsAvx2(float* w, const float* x, double factor, int n) {
  if (n < 4) {
    portableKernels().moveTowards(w, x, factor, n);
    return;
  }
  const __m256d f = _mm256_set1_pd(factor);
  const __m128 last = moved4(_mm_loadu_ps(w + n - 4), _mm_loadu_ps(x + n - 4), f);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m128 a = moved4(_mm_loadu_ps(w + i), _mm_loadu_ps(x + i), f);
    const __m128 b = moved4(_mm_loadu_ps(w + i + 4), _mm_loadu_ps(x + i + 4), f);
    _mm_storeu_ps(w + i, a);
    _mm_storeu_ps(w + i + 4, b);
  }
  if (i + 4 <= n) _mm_storeu_ps(w + i, moved4(_mm_loadu_ps(w + i), _mm_loadu_ps(x + i), f));
  _mm_storeu_ps(w + n - 4, last);
}

// Two units in one pass, each of x's quarters loaded once for both; the last
// four weights of each as in moveTowardsAvx2 (n >= 4).
VELMAR_AVX2 void moveTwoAvx2(float* w0, float* w1, const float* x, double factor0, double factor1, int n) {
  const __m256d f0 = _mm256_set1_pd(factor0), f1 = _mm256_set1_pd(factor1);
  const __m128 xLast = _mm_loadu_ps(x + n - 4);
  const __m128 last0 = moved4(_mm_loadu_ps(w0 + n - 4), xLast, f0);
  const __m128 last1 = moved4(_mm_loadu_ps(w1 + n - 4), xLast, f1);
  for (int i = 0; i + 4 <= n; i += 4) {
    const __m128 xi = _mm_loadu_ps(x + i);
    const __m128 a = moved4(_mm_loadu_ps(w0 + i), xi, f0);
    const __m128 b = moved4(_mm_loadu_ps(w1 + i), xi, f1);
    _mm_storeu_ps(w0 + i, a);
    _mm_storeu_ps(w1 + i, b);
  }
  _mm_storeu_ps(w0 + n - 4, last0);
  _mm_storeu_ps(w1 + n - 4, last1);
}

// Units in pairs: two independent streams of work per pass, which the
// processor overlaps (bench/README.md, "units moved in pairs").
VELMAR_AVX2 void moveUnitsAvx2(float* const* units, const double* factors, int count, const float* x, int n) {
  int u = 0;
  if (n >= 4) {
    for (; u + 2 <= count; u += 2) moveTwoAvx2(units[u], units[u + 1], x, factors[u], factors[u + 1], n);
  }
  for (; u < count; u++) moveTowardsAvx2(units[u], x, factors[u], n);
}

// ---- Moves that return the squared length, in blocks of 16 (four quarters) ----
// The squares are summed in float in sixteen chains: four accumulators of
// four lanes, one per quarter of a block (component i in accumulator
// (i mod 16) / 4, lane i mod 4), each square fused with its addition; the
// components after the last full block go into the same chains as a block
// filled up with +0 (which adds nothing). Then the accumulators lane by
// lane, (0 + 1) + (2 + 3), and the lanes, (0 + 2) + (1 + 3). measure and the
// moves share this order. (The new weights are floats already: squaring
// them in float needs no conversion.)

struct Lengths {
  __m128 a0, a1, a2, a3;
};

VELMAR_AVX2 inline Lengths noLengths() {
  return {_mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps(), _mm_setzero_ps()};
}

VELMAR_AVX2 inline void addSquares(Lengths& l, __m128 q0, __m128 q1, __m128 q2, __m128 q3) {
  l.a0 = _mm_fmadd_ps(q0, q0, l.a0);
  l.a1 = _mm_fmadd_ps(q1, q1, l.a1);
  l.a2 = _mm_fmadd_ps(q2, q2, l.a2);
  l.a3 = _mm_fmadd_ps(q3, q3, l.a3);
}

VELMAR_AVX2 inline void addSquaresOf(Lengths& l, const float* w) {
  addSquares(l, _mm_loadu_ps(w), _mm_loadu_ps(w + 4), _mm_loadu_ps(w + 8), _mm_loadu_ps(w + 12));
}

// Quarter q of a block of which only the first `left` values lie in w, the others +0.
VELMAR_AVX2 inline __m128 partOfQuarter(const float* w, int left, int q) {
  const __m128i inside = _mm_cmpgt_epi32(_mm_set1_epi32(left - 4 * q), _mm_setr_epi32(0, 1, 2, 3));
  return _mm_maskload_ps(w + 4 * q, inside);
}

// The squares of the components from `done` (the end of the last full
// block) to n, then the accumulated lanes.
VELMAR_AVX2 inline float total(Lengths& l, const float* w, int done, int n) {
  if (done < n) {
    const float* rest = w + done;
    const int left = n - done;
    addSquares(l, partOfQuarter(rest, left, 0), partOfQuarter(rest, left, 1), partOfQuarter(rest, left, 2),
               partOfQuarter(rest, left, 3));
  }
  const __m128 s = _mm_add_ps(_mm_add_ps(l.a0, l.a1), _mm_add_ps(l.a2, l.a3));
  const __m128 h = _mm_add_ps(s, _mm_movehl_ps(s, s));
  return _mm_cvtss_f32(_mm_add_ss(h, _mm_movehdup_ps(h)));
}

// Moves a full block towards x (16 values, in two halves) and adds the new squares.
VELMAR_AVX2 inline void moveBlockTowards(float* w, __m256 xlo, __m256 xhi, __m256d f, Lengths& l) {
  const __m128 q0 = moved4(_mm_loadu_ps(w), _mm256_castps256_ps128(xlo), f);
  const __m128 q1 = moved4(_mm_loadu_ps(w + 4), _mm256_extractf128_ps(xlo, 1), f);
  const __m128 q2 = moved4(_mm_loadu_ps(w + 8), _mm256_castps256_ps128(xhi), f);
  const __m128 q3 = moved4(_mm_loadu_ps(w + 12), _mm256_extractf128_ps(xhi, 1), f);
  _mm_storeu_ps(w, q0);
  _mm_storeu_ps(w + 4, q1);
  _mm_storeu_ps(w + 8, q2);
  _mm_storeu_ps(w + 12, q3);
  addSquares(l, q0, q1, q2, q3);
}

// Four weights moved towards +0 as float(w - factor * w) (see MoveSparseFn).
VELMAR_AVX2 inline __m128 movedToZero4(__m128 w, __m256d f) {
  const __m256d wv = _mm256_cvtps_pd(w);
  return _mm256_cvtpd_ps(_mm256_sub_pd(wv, _mm256_mul_pd(f, wv)));
}

// The same towards a block of +0, for a finite factor.
VELMAR_AVX2 inline void moveBlockToZero(float* w, __m256d f, Lengths& l) {
  const __m128 q0 = movedToZero4(_mm_loadu_ps(w), f), q1 = movedToZero4(_mm_loadu_ps(w + 4), f);
  const __m128 q2 = movedToZero4(_mm_loadu_ps(w + 8), f), q3 = movedToZero4(_mm_loadu_ps(w + 12), f);
  _mm_storeu_ps(w, q0);
  _mm_storeu_ps(w + 4, q1);
  _mm_storeu_ps(w + 8, q2);
  _mm_storeu_ps(w + 12, q3);
  addSquares(l, q0, q1, q2, q3);
}

// True when all 16 weights lie within the limit (as bits of |w|) and none is -0.
VELMAR_AVX2 inline bool blockUnchanged(const float* w, __m256i limit) {
  const __m256i sign = _mm256_set1_epi32(static_cast<int>(0x80000000u));
  const __m256i magnitude = _mm256_set1_epi32(0x7fffffff);
  const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w));
  const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 8));
  const __m256i out0 =
      _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_and_si256(b0, magnitude), limit), _mm256_cmpeq_epi32(b0, sign));
  const __m256i out1 =
      _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_and_si256(b1, magnitude), limit), _mm256_cmpeq_epi32(b1, sign));
  const __m256i out = _mm256_or_si256(out0, out1);
  return _mm256_testz_si256(out, out) != 0;
}

VELMAR_AVX2 float measureAvx2(const float* w, int n) {
  Lengths l = noLengths();
  const int full = n / kSkipBlock * kSkipBlock;
  for (int i = 0; i < full; i += kSkipBlock) addSquaresOf(l, w + i);
  return total(l, w, full, n);
}

VELMAR_AVX2 float moveMeasuredAvx2(float* w, const float* x, double factor, int n) {
  const __m256d f = _mm256_set1_pd(factor);
  Lengths l = noLengths();
  const int full = n / kSkipBlock * kSkipBlock;
  for (int i = 0; i < full; i += kSkipBlock) {
    const __m128 q0 = moved4(_mm_loadu_ps(w + i), _mm_loadu_ps(x + i), f);
    const __m128 q1 = moved4(_mm_loadu_ps(w + i + 4), _mm_loadu_ps(x + i + 4), f);
    const __m128 q2 = moved4(_mm_loadu_ps(w + i + 8), _mm_loadu_ps(x + i + 8), f);
    const __m128 q3 = moved4(_mm_loadu_ps(w + i + 12), _mm_loadu_ps(x + i + 12), f);
    _mm_storeu_ps(w + i, q0);
    _mm_storeu_ps(w + i + 4, q1);
    _mm_storeu_ps(w + i + 8, q2);
    _mm_storeu_ps(w + i + 12, q3);
    addSquares(l, q0, q1, q2, q3);
  }
  moveTowardsAvx2(w + full, x + full, factor, n - full);
  return total(l, w, full, n);
}

VELMAR_AVX2 float moveSparseAvx2(float* w, const SparseEntries& x, double factor, int n, int skipLimit) {
  const __m256d f = _mm256_set1_pd(factor);
  const __m256i limit = _mm256_set1_epi32(skipLimit);
  Lengths l = noLengths();
  const int full = n / kSkipBlock * kSkipBlock;
  // A factor that is not finite keeps the literal expression (see MoveSparseFn).
  const bool finite = std::isfinite(factor);
  int k = 0;
  for (int start = 0; start < full; start += kSkipBlock) {
    float* block = w + start;
    const int end = start + kSkipBlock;
    if ((k < x.count && x.index[k] < end) || !finite) {
      // The block's listed values put into their lanes in registers (a
      // vector load right after scalar stores would wait for the stores).
      const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
      __m256 lo = _mm256_setzero_ps(), hi = _mm256_setzero_ps();
      for (; k < x.count && x.index[k] < end; k++) {
        const __m256i at = _mm256_set1_epi32(x.index[k] - start);
        const __m256 v = _mm256_set1_ps(x.value[k]);
        lo = _mm256_blendv_ps(lo, v, _mm256_castsi256_ps(_mm256_cmpeq_epi32(lanes, at)));
        hi = _mm256_blendv_ps(
            hi, v, _mm256_castsi256_ps(_mm256_cmpeq_epi32(_mm256_add_epi32(lanes, _mm256_set1_epi32(8)), at)));
      }
      moveBlockTowards(block, lo, hi, f, l);
      continue;
    }
    // The first weight tells cheaply whether the whole block may be left.
    int first;
    std::memcpy(&first, block, sizeof first);
    if ((first & 0x7fffffff) <= skipLimit && blockUnchanged(block, limit)) {
      addSquaresOf(l, block);
    } else {
      moveBlockToZero(block, f, l);
    }
  }
  moveSparseRest(w, x, k, full, n, factor);  // the short last block, never skipped
  return total(l, w, full, n);
}

VELMAR_AVX2 void accumulateSquaresAvx2(float* acc, const float* w, const float* x, int n) {
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m256d d = _mm256_sub_pd(_mm256_cvtps_pd(_mm_loadu_ps(w + i)), _mm256_cvtps_pd(_mm_loadu_ps(x + i)));
    const __m256d sum = _mm256_add_pd(_mm256_cvtps_pd(_mm_loadu_ps(acc + i)), _mm256_mul_pd(d, d));
    _mm_storeu_ps(acc + i, _mm256_cvtpd_ps(sum));
  }
  portableKernels().accumulateSquares(acc + i, w + i, x + i, n - i);
}

}  // namespace

const KernelTable& avx2Kernels() {
  // The exact chains and the sparse dot products are the scalar ones: eight
  // independent chains side by side ran three times as fast as gathering
  // eight vectors' components into registers (velmar_kernel_bench).
  const KernelTable& scalar = portableKernels();
  static const KernelTable table = {roughDistanceAvx2,     roughDistancesAvx2,   moveTowardsAvx2,  moveUnitsAvx2,
                                    scalar.exactDistances, measureAvx2,          moveMeasuredAvx2, moveSparseAvx2,
                                    scalar.sparseDots,     accumulateSquaresAvx2};
  return table;
}

}  // namespace kernels

#endif
