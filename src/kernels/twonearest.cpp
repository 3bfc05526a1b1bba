#include "kernels/twonearest.h"

#include <cfloat>
#include <cmath>

#include "kernels/distancekernels.h"

TwoNearestSearch::TwoNearestSearch(int inComponents) : components(inComponents) {
  const WinnerSearch bounds(components);  // the one place the bound is derived
  relativeError = bounds.errorBound().first;
  absoluteError = bounds.errorBound().second;
  boundUsable = bounds.boundIsUsable();
}

namespace {

// One step of the plain loop: a distance below the nearest's makes the unit
// the nearest (and the old nearest the second), one below the second's
// makes it the second. Strict "<": the first of equals stays.
inline void consider(float dist, int unit, float& nearestDist, float& secondDist, TwoNearestSearch::Pair& p) {
  if (dist < nearestDist) {
    secondDist = nearestDist;
    p.second = p.nearest;
    nearestDist = dist;
    p.nearest = unit;
  } else if (dist < secondDist) {
    secondDist = dist;
    p.second = unit;
  }
}

}  // namespace

TwoNearestSearch::Pair TwoNearestSearch::findExactly(const float* const* units, int count, const float* x,
                                                     float start) const {
  Pair p{-1, -1};
  float nearestDist = start, secondDist = start;
  for (int u = 0; u < count; u++) {
    consider(kernels::exactDistance(x, units[u], components), u, nearestDist, secondDist, p);
  }
  return p;
}

TwoNearestSearch::Pair TwoNearestSearch::findAmong(const float* const* units, int count, const float* x, float start,
                                                   double cutoff) const {
  Pair p{-1, -1};
  float nearestDist = start, secondDist = start;
  for (int u = 0; u < count; u++) {
    if (rough[static_cast<size_t>(u)] <= cutoff) {
      consider(kernels::exactDistance(x, units[u], components), u, nearestDist, secondDist, p);
    }
  }
  return p;
}

TwoNearestSearch::Pair TwoNearestSearch::find(const float* const* units, int count, const float* x, float start) {
  counts.searches++;
  if (!boundUsable || count < 2) {
    counts.plain++;
    return findExactly(units, count, x, start);
  }
  if (rough.size() < static_cast<size_t>(count)) rough.resize(static_cast<size_t>(count));
  kernels::active().roughDistances(x, units, count, components, rough.data());
  // The two smallest rough distances, by value.
  double smallest = HUGE_VAL, nextSmallest = HUGE_VAL;
  int nearest = 0, next = 0;
  bool finite = true;
  for (int u = 0; u < count; u++) {
    const double r = rough[static_cast<size_t>(u)];
    finite = finite && std::isfinite(r);
    if (r < smallest) {
      nextSmallest = smallest;
      next = nearest;
      smallest = r;
      nearest = u;
    } else if (r < nextSmallest) {
      nextSmallest = r;
      next = u;
    }
  }
  // At least two exact distances lie at or below `upper`, so neither of the
  // two nearest lies above it; no unit whose rough distance is above
  // `cutoff` can come that close.
  const double upper = nextSmallest * (1.0 + relativeError) + absoluteError;
  const double limit = start < FLT_MAX ? static_cast<double>(start) : static_cast<double>(FLT_MAX);
  if (!finite || !(upper < limit)) {
    counts.plain++;
    return findExactly(units, count, x, start);
  }
  const double cutoff = (upper + absoluteError) / (1.0 - relativeError);
  // The unit of the smallest rough distance is surely the nearest when no
  // other comes within its own bound (as in the one-nearest search).
  const double nearestUpper = smallest * (1.0 + relativeError) + absoluteError;
  const double nearestCutoff = (nearestUpper + absoluteError) / (1.0 - relativeError);
  int candidates = 0, nearestCandidates = 0;
  for (int u = 0; u < count; u++) {
    candidates += rough[static_cast<size_t>(u)] <= cutoff;
    nearestCandidates += rough[static_cast<size_t>(u)] <= nearestCutoff;
  }
  if (candidates == 2 && nearestCandidates == 1) {
    return {nearest, next};
  }
  counts.nearTies++;
  return findAmong(units, count, x, start, cutoff);
}
