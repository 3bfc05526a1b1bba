#include "training/errorfloor.h"

#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Distance from |v| to the next larger float.
double step(float v) {
  const float a = std::fabs(v);
  return static_cast<double>(std::nextafter(a, HUGE_VALF)) - static_cast<double>(a);
}

}  // namespace

double roundingFloor(int count, const VectorAt& vectorAt, int components) {
  double floor = 0.0;
  for (int k = 0; k < count; k++) {
    const DenseValues x = vectorAt(k);
    for (int i = 0; i < components; i++) {
      const double off = 32.0 * step(x[i]);
      floor += off * off;
    }
  }
  return floor;
}

// The unit's error is a float sum over the vectors of float sums over the
// components, each term rounded to nearest: with T the exact sum at the
// unit's weights, it is at least T (1 - (n + c + 1) 2^-24) - n (c + 1) 2^-150
// for n vectors of c components, and T is at least the exact sum S at the
// exact mean. S is computed here in double around a double mean; the
// mean's error e adds n |e|^2 to the sum, and the double sums err by a
// relative (n + c + 2) 2^-53 at most. The float allowance is doubled as a
// margin.
double leastErrorOfOneUnit(int count, const VectorAt& vectorAt, int components) {
  const int n = count;
  if (n == 0) {
    return 0.0;
  }
  std::vector<double> mean(components, 0.0), largest(components, 0.0);
  for (int k = 0; k < n; k++) {
    const DenseValues x = vectorAt(k);
    for (int i = 0; i < components; i++) {
      mean[i] += static_cast<double>(x[i]);
      largest[i] = std::fmax(largest[i], std::fabs(static_cast<double>(x[i])));
    }
  }
  double meanError = 0.0;  // n |e|^2
  for (int i = 0; i < components; i++) {
    mean[i] /= n;
    const double e = (n + 1.0) * std::ldexp(1.0, -53) * largest[i];
    meanError += n * e * e;
  }
  double sum = 0.0;
  for (int k = 0; k < n; k++) {
    const DenseValues x = vectorAt(k);
    double distance = 0.0;
    for (int i = 0; i < components; i++) {
      const double d = static_cast<double>(x[i]) - mean[i];
      distance += d * d;
    }
    sum += distance;
  }
  const double atMean = sum / (1.0 + (n + components + 2.0) * std::ldexp(1.0, -53)) - meanError;
  const double kept = 1.0 - 2.0 * (n + components + 1.0) * std::ldexp(1.0, -24);
  const double least = atMean * kept - 2.0 * n * (components + 1.0) * std::ldexp(1.0, -150);
  return kept > 0.0 && least > 0.0 ? least : 0.0;
}

bool allVectorsEqual(int count, const VectorAt& vectorAt, int components) {
  if (count == 0) {
    return true;
  }
  const DenseValues first = vectorAt(0);
  for (int k = 1; k < count; k++) {
    if (memcmp(vectorAt(k).data(), first.data(), sizeof(float) * components) != 0) {
      return false;
    }
  }
  return true;
}
