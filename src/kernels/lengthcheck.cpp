#include "kernels/lengthcheck.h"

#include <cmath>

bool lengthCanBeNormalised(const float* values, int length) {
  float sum = 0.0f;
  bool zero = true;
  for (int i = 0; i < length; i++) {
    sum = static_cast<float>(static_cast<double>(sum) + static_cast<double>(values[i]) * static_cast<double>(values[i]));
    zero = zero && values[i] == 0.0f;
  }
  return std::isfinite(sum) && (sum > 0.0f || zero);
}
