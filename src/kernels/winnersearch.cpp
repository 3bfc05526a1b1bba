#include "kernels/winnersearch.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/failure.h"
#include "base/workers.h"
#include "kernels/distancekernels.h"

thread_local WinnerSearch::Counts WinnerSearch::counts;

namespace {

// A map's rough distances are shared out over a team when they take at
// least this many unit-components (products or squared differences) per
// thread; below that, handing out the work costs more than it saves.
const long long kPartWork = 24000;

inline void tally(long long& counter) { counter++; }

// Scratch room for `count` values of T on cache lines of its own, zeroed, so
// that searches on several threads never write to a line another one writes to.
template <class T>
T* newScratch(size_t count) {
  const size_t line = 64;
  const size_t bytes = ((count > 0 ? count : 1) * sizeof(T) + line - 1) / line * line;
  void* room = aligned_alloc(line, bytes);
  if (room == nullptr) failOutOfMemory();
  return static_cast<T*>(memset(room, 0, bytes));
}

// Calls rough(first, end) for ranges of units that together cover 0 .. count-1,
// on the team when the work (units x perUnit) is large enough.
long long workOf(int count, long long perUnit) { return static_cast<long long>(count) * (perUnit > 0 ? perUnit : 1); }

template <class Rough>
void shareOut(Workers* team, int count, long long perUnit, const Rough& rough) {
  const long long work = workOf(count, perUnit);
  long long parts = team == nullptr || work < 2 * kPartWork ? 1 : work / kPartWork;
  if (parts > 1 && parts > team->size()) parts = team->size();
  if (parts <= 1) {
    rough(0, count);
    return;
  }
  const int n = static_cast<int>(parts);
  team->run(n, work, [&](int p) {
    rough(static_cast<int>(static_cast<long long>(count) * p / n),
          static_cast<int>(static_cast<long long>(count) * (p + 1) / n));
  });
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
// The rough sum S adds the squares in float, in any order: each difference
// x_i - w_i rounded to float, its square rounded (or fused with an
// addition), each addition rounded. A rounding multiplies a normal result
// by a factor within 1 +- 2^-24 (adding +0 is exact); only a square can err
// absolutely, by at most 2^-150, where it falls below the smallest normal
// float (a difference or sum of floats that is that small is exact, all
// being multiples of 2^-149). A term's value is multiplied by at most n + 2
// such factors (its difference's, twice, as the difference is squared; its
// square's; at most n - 1 additions'), so with
// h = (n + 2) 2^-24 / (1 - (n + 2) 2^-24) >= (1 + 2^-24)^(n + 2) - 1,
//     |S - T| <= h T + a,   a = n 2^-149  (the n squares' 2^-150, doubled
// for their later roundings). S is finite only when no step overflowed.
// Then T <= (S + a) / (1 - h) and T >= (S - a) / (1 + h), and with
// g = (1 + u)^n - 1 and both g and h small,
//     S (1 - g - h) - 2a - n 2^-149  <=  r_n  <=  S (1 + 1.07 (g + h)) + 2a + n 2^-149.
// The search takes 1.25 (g + h), a margin for the rounding of the bounds
// themselves, and 3 n 2^-149. The upper bound also proves r_n finite (no
// partial sum can overflow) whenever it is below FLT_MAX.
//
// For a sparse x the rough distance is R = (W + X) - 2P, each operation
// rounded to double, where X and P are double sums, in any order, of x_i^2
// and of x_i w_i over the m <= n listed components, and W is the unit's
// squared length as the kernels keep it: a float sum of the squares w_i^2
// over all n components in which every square passes at most
// k = ceil(n / 16) + 5 roundings (distancekernels.h), or the double sum of
// two such sums over the two halves of the unit (one rounding of 2^-53
// more). The products x_i w_i and x_i^2 of two floats are exact in double.
// With W*, X*, P* the exact sums, A = sum |x_i w_i|, e = 2^-53,
// gamma_j = j e / (1 - j e) and h_w = (k + 2) 2^-24 / (1 - (k + 2) 2^-24),
//     |W - W*| <= h_w W* + a_w,  |X - X*| <= gamma_m X*,  |P - P*| <= gamma_m A,
// a_w = n 2^-149 covering the squares and sums that fall below the smallest
// normal float (each off by at most 2^-150 there, as in the dense sum), and
// by Cauchy-Schwarz 2A <= 2 sqrt(W* X*) <= W* + X*. The true squared
// distance T = W* + X* - 2P* can be far smaller than W* + X* (x close to w:
// the cancellation), so its error is bounded against the lengths, not T:
//     |(W + X)(1 + e1) - 2P - T| <= (h_w + 2 gamma_m + e (1 + h_w)) (W* + X*) + a_w
//     |R - T| <= that + e |(W + X)(1 + e1) - 2P| <= (h_w + (2m + 4) e) (W* + X*) (1 + O(h_w)) + 1.01 a_w,
// and W* + X* <= (W + X + a_w)(1 + O(h_w)). So with
// E = 1.25 (h_w + (2n + 4) e) (W + X) + 2 a_w (the quarter a margin for the
// O(h_w) terms and the rounding of the bounds), T lies in [R - E, R + E],
// and r_n, which lies within the float chain's bound of T as above (T being
// the same true sum of squares),
//     (R - E)(1 - g') - n 2^-149  <=  r_n  <=  (R + E)(1 + g') + n 2^-149,
// g' = 1.25 g (the quarter again a margin). The search takes the relative
// part of E per unit and all absolute terms together, 4 n 2^-149. E is small
// against distances comparable to the lengths; where x nearly equals w it
// may exceed R, the lower bound is then below 0 and the unit stays a
// candidate, so the exact chains decide. The kept W must be such a sum of
// every component's square: the moves return it for the weights they leave,
// skipped blocks included (distancekernels.h); a square beyond the float
// range makes it infinite and the search plain. The bounds themselves are
// computed with a few more roundings of 2^-53, which the quarters cover.
WinnerSearch::WinnerSearch(int inComponents)
    : components(inComponents),
      denseInput(nullptr),
      rough(nullptr),
      lower(nullptr),
      candidates(nullptr),
      candidateWeights(nullptr),
      candidateDistances(nullptr),
      capacity(0) {
  const double n = static_cast<double>(components);
  const double u = std::ldexp(1.0, -24) + std::ldexp(1.0, -51);
  const double g = std::expm1(n * std::log1p(u));
  const double roundings = (n + 2.0) * std::ldexp(1.0, -24);
  const double h = roundings < 0.5 ? roundings / (1.0 - roundings) : HUGE_VAL;
  relativeError = 1.25 * (g + h);
  absoluteError = 3.0 * n * std::ldexp(1.0, -149);
  chainRelative = 1.25 * g;
  chainAbsolute = n * std::ldexp(1.0, -149);
  const double lengthRoundings = (std::ceil(n / 16.0) + 7.0) * std::ldexp(1.0, -24);
  const double hw = lengthRoundings < 0.5 ? lengthRoundings / (1.0 - lengthRoundings) : HUGE_VAL;
  sparseError = 1.25 * (hw + (2.0 * n + 4.0) * std::ldexp(1.0, -53));
  sparseAbsolute = 4.0 * n * std::ldexp(1.0, -149);
  boundUsable = relativeError < 0.0625;
  denseInput = newScratch<float>(static_cast<size_t>(components > 0 ? components : 1));
}

WinnerSearch::~WinnerSearch() {
  free(denseInput);
  free(rough);
  free(lower);
  free(candidates);
  free(candidateWeights);
  free(candidateDistances);
}

namespace {

// Scratch: nothing in it is kept.
template <class T>
void grow(T*& array, int count) {
  free(array);
  array = nullptr;  // so that a failure to allocate below never frees it twice
  array = newScratch<T>(static_cast<size_t>(count));
}

}  // namespace

bool WinnerSearch::worthSharing(int count, long long perUnit) { return workOf(count, perUnit) >= 2 * kPartWork; }

void WinnerSearch::reserve(int units) {
  if (units <= capacity) return;
  grow(rough, units);
  grow(lower, units);
  grow(candidates, units);
  grow(candidateWeights, units);
  grow(candidateDistances, units);
  capacity = units;
}

namespace {

// The plain search's rule: the first unit whose exact distance is below the
// best so far, starting from `start` and `current`.
template <class Distance>
int plainWinner(int count, float start, int current, Distance distance) {
  float winnerDist = start;
  int winner = current;
  for (int k = 0; k < count; k++) {
    const float dist = distance(k);
    if (dist < winnerDist) {
      winnerDist = dist;
      winner = k;
    }
  }
  return winner;
}

}  // namespace

int WinnerSearch::findExactly(const float* const* units, int count, const float* x, float start, int current) const {
  return plainWinner(count, start, current, [&](int k) { return kernels::exactDistance(x, units[k], components); });
}

int WinnerSearch::findExactly(const float* const* units, int count, const SparseEntries& x, float start,
                              int current) const {
  return plainWinner(count, start, current, [&](int k) { return kernels::exactDistance(x, units[k], components); });
}

// The kernel's chains take the differences the other way round, w - x;
// rounding to nearest is symmetric, so their squares are the same.
template <class Candidate>
int WinnerSearch::decideNearTies(const float* const* units, int count, const float* x, float start, int current,
                                 Candidate candidate) {
  tally(counts.nearTies);
  int left = 0;
  for (int u = 0; u < count; u++) {
    if (candidate(u)) {
      candidates[left] = u;
      candidateWeights[left++] = units[u];
    }
  }
  kernels::active().exactDistances(candidateWeights, left, x, components, candidateDistances);
  const int c = plainWinner(left, start, -1, [&](int k) { return candidateDistances[k]; });
  return c < 0 ? current : candidates[c];
}

int WinnerSearch::find(const float* const* units, int count, const float* x, float start, int current, Workers* team) {
  tally(counts.searches);
  if (!boundUsable || count > capacity) {
    tally(counts.plain);
    return findExactly(units, count, x, start, current);
  }
  const kernels::KernelTable& k = kernels::active();
  shareOut(team, count, components,
           [&](int first, int end) { k.roughDistances(x, units + first, end - first, components, rough + first); });
  double smallest = HUGE_VAL;
  int nearest = 0;
  bool finite = true;
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
    tally(counts.plain);
    return findExactly(units, count, x, start, current);
  }
  const double cutoff = (upper + absoluteError) / (1.0 - relativeError);
  int candidates = 0;
  for (int u = 0; u < count; u++) candidates += rough[u] <= cutoff;
  if (candidates == 1) return nearest;
  return decideNearTies(units, count, x, start, current, [&](int u) { return rough[u] <= cutoff; });
}

int WinnerSearch::find(const float* const* units, const double* norms, int count, const SparseEntries& x, double xNorm,
                       float start, int current, Workers* team) {
  tally(counts.searches);
  if (!boundUsable || count > capacity) {
    tally(counts.plain);
    return findExactly(units, count, x, start, current);
  }
  const kernels::KernelTable& k = kernels::active();
  shareOut(team, count, x.count,
           [&](int first, int end) { k.sparseDots(x, units + first, end - first, rough + first); });
  return findAmong(units, norms, rough, count, x, xNorm, start, current);
}

int WinnerSearch::findFromDots(const float* const* units, const double* norms, const double* dots, int count,
                               const SparseEntries& x, double xNorm, float start, int current) {
  tally(counts.searches);
  if (!boundUsable || count > capacity) {
    tally(counts.plain);
    return findExactly(units, count, x, start, current);
  }
  return findAmong(units, norms, dots, count, x, xNorm, start, current);
}

int WinnerSearch::findAmong(const float* const* units, const double* norms, const double* dots, int count,
                            const SparseEntries& x, double xNorm, float start, int current) {
  // From the dot products, the rough distances; lower[] the lower bounds,
  // and `upper` the smallest upper bound.
  double upper = HUGE_VAL;
  int nearest = 0;
  bool finite = std::isfinite(xNorm);
  for (int u = 0; u < count; u++) {
    const double lengths = norms[u] + xNorm;
    const double r = lengths - 2.0 * dots[u];
    const double e = sparseError * lengths;
    const double up = (r + e) * (1.0 + chainRelative) + sparseAbsolute;
    finite = finite && std::isfinite(up);
    lower[u] = (r - e) * (1.0 - chainRelative) - sparseAbsolute;
    if (up < upper) {
      upper = up;
      nearest = u;
    }
  }
  const double limit = start < FLT_MAX ? static_cast<double>(start) : static_cast<double>(FLT_MAX);
  if (!finite || !(upper < limit)) {
    tally(counts.plain);
    return findExactly(units, count, x, start, current);
  }
  int candidates = 0;
  for (int u = 0; u < count; u++) candidates += lower[u] <= upper;
  if (candidates == 1) return nearest;
  for (int j = 0; j < x.count; j++) denseInput[x.index[j]] = x.value[j];
  const int winner = decideNearTies(units, count, denseInput, start, current, [&](int u) { return lower[u] <= upper; });
  for (int j = 0; j < x.count; j++) denseInput[x.index[j]] = 0.0f;
  return winner;
}

int WinnerSearch::findDensified(const float* const* units, int count, const SparseEntries& x, float start, int current,
                                Workers* team) {
  for (int j = 0; j < x.count; j++) denseInput[x.index[j]] = x.value[j];
  const int winner = find(units, count, denseInput, start, current, team);
  for (int j = 0; j < x.count; j++) denseInput[x.index[j]] = 0.0f;
  return winner;
}
