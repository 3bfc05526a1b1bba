#include "kernels/squaredlength.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

// The largest magnitude of the values: the largest bit pattern without the
// sign, since finite floats of one sign order as their bit patterns do (an
// integer maximum, which the compiler keeps in vector registers).
float largestMagnitude(const float* values, int count) {
  uint32_t largest = 0;
  for (int i = 0; i < count; i++) {
    uint32_t bits;
    memcpy(&bits, &values[i], sizeof bits);
    bits &= 0x7fffffffu;
    largest = bits > largest ? bits : largest;
  }
  float magnitude;
  memcpy(&magnitude, &largest, sizeof magnitude);
  return magnitude;
}

// The sum as normVec forms it, one component after the other.
float squaredLength(const float* values, int count) {
  float sum = 0.0f;
  for (int i = 0; i < count; i++) {
    sum =
        static_cast<float>(static_cast<double>(sum) + static_cast<double>(values[i]) * static_cast<double>(values[i]));
  }
  return sum;
}

}  // namespace

SquaredLength squaredLengthOf(const float* values, int count) {
  // Most vectors need no sum. With M the largest magnitude, the rounded sum
  // never falls below the float of M * M (a term it adds: every step adds a
  // square, and rounding keeps what it has), and stays below count x M * M
  // times (1 + 2^-23)^count, less than twice count x M * M for fewer than
  // 2^20 components. (The one chain of dependent additions is slower than
  // the rest of the check.)
  const float largest = largestMagnitude(values, count);
  if (largest == 0.0f) {
    return SquaredLength::Fine;
  }
  const double square = static_cast<double>(largest) * static_cast<double>(largest);
  if (square >= FLT_MIN && count < (1 << 20) && square * count < FLT_MAX / 2.0) {
    return SquaredLength::Fine;
  }
  const float sum = squaredLength(values, count);
  if (std::isinf(sum)) {
    return SquaredLength::Overflows;
  }
  return std::isnormal(sum) ? SquaredLength::Fine : SquaredLength::Underflows;
}
