#ifndef VELMAR_WINNERSEARCH_H
#define VELMAR_WINNERSEARCH_H

#include <limits>
#include <utility>

#include "kernels/vectorvalues.h"

class Workers;

// Finds the unit nearest to an input vector, exactly as the plain search over
// the exact distances would (first unit in scan order on ties), mostly
// without computing an exact distance.
//
// The rough distance of every unit lies within a known bound of its exact
// distance: for a dense vector a float sum of the squared differences, for
// a sparse one |w|^2 - 2 x.w + |x|^2 in double with the dot product over the
// vector's listed components only and |w|^2 the float sum the kernels keep. A unit whose lower bound lies above the
// smallest upper bound can never win; when one unit is left it is the winner, otherwise the exact distances of the
// units left decide, in scan order with the plain search's strict "<". When a bound is not finite or could reach the
// search's starting distance, the plain search runs.
//
// Given a team (base/workers.h), the rough distances of a large map are
// shared out over its threads; each unit's arithmetic stays the same, so the
// winner does not depend on the team.
class WinnerSearch {
 public:
  explicit WinnerSearch(int components);
  ~WinnerSearch();

  WinnerSearch(const WinnerSearch&) = delete;
  WinnerSearch& operator=(const WinnerSearch&) = delete;

  // Makes room for maps of up to `units` units (allocates only when growing).
  void reserve(int units);

  // The start of every search that assigns vectors to units: above every
  // finite distance, so that every vector gets its nearest unit however far
  // away it lies; only a vector whose distances all overflow the float range
  // keeps the unit passed in as `current`.
  static constexpr float kAboveEveryDistance = std::numeric_limits<float>::infinity();

  // Index into `units` (scan order) of the unit with the smallest exact
  // distance to x, the first of equals, provided that distance is below
  // `start`; otherwise `current`.
  int find(const float* const* units, int count, const float* x, float start, int current, Workers* team = nullptr);
  // The same for a sparse x whose listed values squared and summed in
  // double give xNorm; norms[u] is the squared length of units[u] as the
  // kernels keep it (kernels::KernelTable::measure and the moves).
  int find(const float* const* units, const double* norms, int count, const SparseEntries& x, double xNorm, float start,
           int current, Workers* team = nullptr);

  // The same from the dot products x.w of every unit, computed elsewhere as
  // double sums of x_i w_i over x's listed components in any order (for
  // instance as the sum of two halves' sums: the bound holds for every order).
  int findFromDots(const float* const* units, const double* norms, const double* dots, int count,
                   const SparseEntries& x, double xNorm, float start, int current);

  // The dense search for a sparse x, its values spread into a buffer of the search's own.
  int findDensified(const float* const* units, int count, const SparseEntries& x, float start, int current,
                    Workers* team = nullptr);

  // Whether a search over `count` units of `perUnit` products or squared
  // differences each is large enough for a team to take part.
  static bool worthSharing(int count, long long perUnit);

  // The plain search: every exact distance, in scan order.
  int findExactly(const float* const* units, int count, const float* x, float start, int current) const;
  int findExactly(const float* const* units, int count, const SparseEntries& x, float start, int current) const;

  // The bound of the dense search: |exact - rough| <= first * rough + second.
  std::pair<double, double> errorBound() const { return {relativeError, absoluteError}; }
  // The bound of the exact distance against the true sum of squares T:
  // within [T (1 - first) - second, T (1 + first) + second].
  std::pair<double, double> chainBound() const { return {chainRelative, chainAbsolute}; }
  // The bound of the sparse search: with E = first * (|w|^2 + |x|^2), the
  // exact distance lies within [(rough - E)(1 - r) - a, (rough + E)(1 + r) + a]
  // for r the chain's relative bound and a = second.
  std::pair<double, double> sparseBound() const { return {sparseError, sparseAbsolute}; }
  // False when the bound is too wide to rule anything out (very long
  // vectors): every search is then the plain one.
  bool boundIsUsable() const { return boundUsable; }

  // How many searches ran, and how many of them needed exact distances
  // (near-ties) or the plain search (bounds out of range). For benchmarks;
  // counted per thread.
  struct Counts {
    long long searches = 0;
    long long nearTies = 0;
    long long plain = 0;
    void reset() { *this = Counts(); }
  };
  static thread_local Counts counts;

 private:
  int components;
  float* denseInput;  // a sparse input vector's values for the exact distances; +0 between searches
  double* rough;      // the rough distance of every unit
  double* lower;      // a sparse search's lower bound of every unit
  int* candidates;    // the units a near-tie leaves, in scan order
  const float** candidateWeights;
  float* candidateDistances;
  int capacity;
  double relativeError;  // |exact - rough| <= relativeError * rough + absoluteError
  double absoluteError;
  double chainRelative;  // see chainBound
  double chainAbsolute;
  double sparseError;  // see sparseBound
  double sparseAbsolute;
  bool boundUsable;

  // The sparse search once the dot products are known.
  int findAmong(const float* const* units, const double* norms, const double* dots, int count, const SparseEntries& x,
                double xNorm, float start, int current);
  // The exact distances to x of the candidate units, computed side by side,
  // then compared in scan order against `start`.
  template <class Candidate>
  int decideNearTies(const float* const* units, int count, const float* x, float start, int current,
                     Candidate candidate);
};

#endif
