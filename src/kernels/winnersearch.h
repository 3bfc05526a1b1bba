#ifndef VELMAR_WINNERSEARCH_H
#define VELMAR_WINNERSEARCH_H

#include <limits>
#include <utility>

// Finds the unit nearest to an input vector, exactly as the plain search over
// the exact distances would (first unit in scan order on ties), mostly
// without computing an exact distance.
//
// The rough distance of every unit (a double sum in wide registers) lies
// within a known bound of its exact distance. A unit whose lower bound lies
// above the smallest upper bound can never win; when one unit is left it is
// the winner, otherwise the exact distances of the units left decide, in
// scan order with the plain search's strict "<". When a bound is not finite
// or could reach the search's starting distance, the plain search runs.
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
  int find(const float* const* units, int count, const float* x, float start, int current);

  // The plain search: every exact distance, in scan order.
  int findExactly(const float* const* units, int count, const float* x, float start, int current) const;

  // The bound used: |exact - rough| <= first * rough + second.
  std::pair<double, double> errorBound() const { return {relativeError, absoluteError}; }
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
  };
  static thread_local Counts counts;

 private:
  int components;
  double* wideInput;  // the input vector widened once per search
  double* rough;      // the rough distance of every unit
  int capacity;
  double relativeError;  // |exact - rough| <= relativeError * rough + absoluteError
  double absoluteError;
  bool boundUsable;
};

#endif
