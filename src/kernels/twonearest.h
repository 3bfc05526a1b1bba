#ifndef VELMAR_TWONEAREST_H
#define VELMAR_TWONEAREST_H

#include <vector>

#include "kernels/winnersearch.h"

// Finds the two units nearest to an input vector, exactly as the plain loop
// over the exact distances would, mostly without computing an exact
// distance: the nearest is the unit with the smallest exact distance (the
// first of equals in scan order), the second the unit with the smallest exact
// distance among the others (again the first of equals). Only distances below
// `start` count; where no unit (or no second unit) has one, the index is -1.
//
// It rules units out as the one-nearest search does (see winnersearch.h), with
// the same bound between rough and exact distances: a unit whose rough
// distance proves it farther than the second-smallest upper bound can be
// neither of the two. When just two units are left and their bounds do not
// overlap, they are the answer; otherwise the exact distances of the units
// left decide, in scan order, as in the plain loop. When a bound is not
// usable, not finite or could reach `start`, the plain loop runs.
class TwoNearestSearch {
 public:
  struct Pair {
    int nearest;
    int second;
  };

  explicit TwoNearestSearch(int components);

  TwoNearestSearch(const TwoNearestSearch&) = delete;
  TwoNearestSearch& operator=(const TwoNearestSearch&) = delete;

  Pair find(const float* const* units, int count, const float* x, float start);
  // The plain loop: every exact distance, in scan order.
  Pair findExactly(const float* const* units, int count, const float* x, float start) const;

  // How many searches ran, and how many needed exact distances or the plain
  // loop. For tests and benchmarks.
  struct Counts {
    long long searches = 0;
    long long nearTies = 0;
    long long plain = 0;
  };
  Counts counts;

 private:
  int components;
  double relativeError;
  double absoluteError;
  bool boundUsable;
  std::vector<double> rough;

  // The plain loop over the units whose rough distance is at most `cutoff`.
  Pair findAmong(const float* const* units, int count, const float* x, float start, double cutoff) const;
};

#endif
