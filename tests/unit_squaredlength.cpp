// The check of a vector before LENGTH scales it: it agrees with the sum normVec forms, at every scale and on
// each side of both float limits, on the fast path and the exact one.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>
#include <vector>

#include "kernels/squaredlength.h"

namespace {

// What the sum normVec forms says.
SquaredLength byTheSum(const std::vector<float>& v) {
  float sum = 0.0f;
  bool nonZero = false;
  for (float x : v) {
    sum = static_cast<float>(static_cast<double>(sum) + static_cast<double>(x) * static_cast<double>(x));
    nonZero = nonZero || x != 0.0f;
  }
  if (std::isinf(sum)) return SquaredLength::Overflows;
  return nonZero && !std::isnormal(sum) ? SquaredLength::Underflows : SquaredLength::Fine;
}

SquaredLength check(const std::vector<float>& v) { return squaredLengthOf(v.data(), static_cast<int>(v.size())); }

TEST(SquaredLength, AgreesWithTheSumNormVecForms) {
  EXPECT_EQ(check({0.0f, -0.0f, 0.0f}), SquaredLength::Fine);
  EXPECT_EQ(check({1e19f, 0.0f, -1e19f}), SquaredLength::Fine);  // 2e38
  EXPECT_EQ(check({1e19f, 1e19f, 1e19f, 1e19f}), SquaredLength::Overflows);
  EXPECT_EQ(check({0.0f, -2e19f}), SquaredLength::Overflows);
  EXPECT_EQ(check({1.1e-19f, 0.0f}), SquaredLength::Fine);  // 1.21e-38, just normal
  EXPECT_EQ(check({1e-19f, 1e-30f}), SquaredLength::Underflows);
  EXPECT_EQ(check({1e-23f, 0.0f, 1e-40f}), SquaredLength::Underflows);
  EXPECT_EQ(check({FLT_TRUE_MIN}), SquaredLength::Underflows);
  // Random vectors of random lengths whose magnitudes spread over every scale near the limits.
  std::mt19937 random(11);
  for (int round = 0; round < 20000; round++) {
    std::vector<float> v(1 + random() % 40);
    const int scale = static_cast<int>(random() % 100) - 60;
    for (float& x : v) {
      x = random() % 3 == 0 ? 0.0f
                            : std::ldexp(static_cast<float>(random() % 1000) / 500.0f - 1.0f,
                                         scale * 2 + static_cast<int>(random() % 5));
    }
    ASSERT_EQ(check(v), byTheSum(v)) << v.size() << " values at 2^" << scale * 2;
  }
}

}  // namespace
