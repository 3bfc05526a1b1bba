#ifndef VELMAR_KERNELS_FOURSUMS_H
#define VELMAR_KERNELS_FOURSUMS_H

// Shared by the AVX2 and AVX-512 kernels (both targets include AVX).

#include <immintrin.h>

namespace kernels {

// The eight lane sums of four units folded into one sum each and stored
// widened to double in out[0..3]: pairwise additions, one order among the
// many a rough distance may take.
__attribute__((target("avx"))) inline void storeFourSums(__m256 s0, __m256 s1, __m256 s2, __m256 s3, double* out) {
  const __m256 all = _mm256_hadd_ps(_mm256_hadd_ps(s0, s1), _mm256_hadd_ps(s2, s3));
  const __m128 sums = _mm_add_ps(_mm256_castps256_ps128(all), _mm256_extractf128_ps(all, 1));
  _mm256_storeu_pd(out, _mm256_cvtps_pd(sums));
}

}  // namespace kernels

#endif
