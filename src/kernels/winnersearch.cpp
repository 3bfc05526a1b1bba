#include "kernels/winnersearch.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>

#include "base/failure.h"
#include "kernels/distancekernels.h"

thread_local WinnerSearch::Counts WinnerSearch::counts;

namespace {

// Scratch room for `count` doubles on cache lines of its own, so that
// searches on several threads never write to a line another one writes to.
double* newScratch(size_t count) {
  const size_t line = 64;
  const size_t bytes = (count * sizeof(double) + line - 1) / line * line;
  void* room = aligned_alloc(line, bytes > 0 ? bytes : line);
  if (room == nullptr) failOutOfMemory();
  return static_cast<double*>(room);
}

}  // namespace

// How far the exact distance can lie from the rough one, for n components.
//
// The exact distance is r_n, with r_0 = 0 and r_i = f(d(r_{i-1} + q_i)):
// q_i is the square of the i-th difference rounded to double, d() rounds to
// double and f() to float. While r_i is a normal float each step multiplies
// the exact value by a factor within 1 +- (2^-24 + 2^-53), and the rounded
// square differs from the true square by a factor within 1 +- 2^-53; below
// the smallest normal float f() errs by at most 2^-150 absolutely instead.
// Every term is non-negative, so with T the true sum of squares and
// u = 2^-24 + 2^-51:
//     T (1 - u)^n - n 2^-149  <=  r_n  <=  T (1 + u)^n + n 2^-149.
// The rough sum R adds the same squares in double, in any order, each
// product rounded once or fused, so |R - T| <= n 2^-52 T. With
// g = (1 + u)^n - 1 and c = n 2^-52, both small,
//     R (1 - g - 4c) - n 2^-149  <=  r_n  <=  R (1 + g + 4c) + n 2^-149.
// The search widens the relative term by a quarter, a margin for the
// rounding of the bounds themselves. The upper bound also proves r_n
// finite (no partial sum can overflow) whenever it is below FLT_MAX.
WinnerSearch::WinnerSearch(int inComponents)
    : components(inComponents), wideInput(nullptr), rough(nullptr), capacity(0) {
  const double n = static_cast<double>(components);
  const double u = std::ldexp(1.0, -24) + std::ldexp(1.0, -51);
  const double g = std::expm1(n * std::log1p(u));
  relativeError = 1.25 * (g + 4.0 * n * std::ldexp(1.0, -52));
  absoluteError = n * std::ldexp(1.0, -149);
  boundUsable = relativeError < 0.0625;
  wideInput = newScratch(components > 0 ? static_cast<size_t>(components) : 1);
}

WinnerSearch::~WinnerSearch() {
  free(wideInput);
  free(rough);
}

void WinnerSearch::reserve(int units) {
  if (units <= capacity) return;
  free(rough);  // scratch: nothing in it is kept
  rough = nullptr;  // so that a failure to allocate below never frees it twice
  rough = newScratch(static_cast<size_t>(units));
  capacity = units;
}

int WinnerSearch::findExactly(const float* const* units, int count, const float* x, float start,
                              int current) const {
  float winnerDist = start;
  int winner = current;
  for (int k = 0; k < count; k++) {
    float dist = kernels::exactDistance(x, units[k], components);
    if (dist < winnerDist) {
      winnerDist = dist;
      winner = k;
    }
  }
  return winner;
}

int WinnerSearch::find(const float* const* units, int count, const float* x, float start, int current) {
  counts.searches++;
  if (!boundUsable || count > capacity) {
    counts.plain++;
    return findExactly(units, count, x, start, current);
  }
  const kernels::KernelTable& k = kernels::active();
  kernels::widen(x, wideInput, components);
  double smallest = HUGE_VAL;
  int nearest = 0;
  bool finite = true;
  k.roughDistances(wideInput, units, count, components, rough);
  for (int u = 0; u < count; u++) {
    const double r = rough[u];
    finite = finite && std::isfinite(r);
    if (r < smallest) {
      smallest = r;
      nearest = u;
    }
  }
  // Every exact distance at or below `upper` may be the smallest; no unit
  // whose rough distance lies above `cutoff` can reach it.
  const double upper = smallest * (1.0 + relativeError) + absoluteError;
  const double limit = start < FLT_MAX ? static_cast<double>(start) : static_cast<double>(FLT_MAX);
  if (!finite || !(upper < limit)) {
    counts.plain++;
    return findExactly(units, count, x, start, current);
  }
  const double cutoff = (upper + absoluteError) / (1.0 - relativeError);
  int candidates = 0;
  for (int u = 0; u < count; u++) candidates += rough[u] <= cutoff;
  if (candidates == 1) return nearest;

  counts.nearTies++;
  float winnerDist = start;
  int winner = current;
  for (int u = 0; u < count; u++) {
    if (rough[u] > cutoff) continue;
    float dist = kernels::exactDistance(x, units[u], components);
    if (dist < winnerDist) {
      winnerDist = dist;
      winner = u;
    }
  }
  return winner;
}
