#include "kernels/squaredlength.h"

#include <cmath>

SquaredLength squaredLengthOf(const float* values, int count) {
  float sum = 0.0f;
  bool nonZero = false;
  for (int i = 0; i < count; i++) {
    sum = static_cast<float>(static_cast<double>(sum) + static_cast<double>(values[i]) * static_cast<double>(values[i]));
    nonZero = nonZero || values[i] != 0.0f;
  }
  if (std::isinf(sum)) {
    return SquaredLength::Overflows;
  }
  return nonZero && !std::isnormal(sum) ? SquaredLength::Underflows : SquaredLength::Fine;
}
