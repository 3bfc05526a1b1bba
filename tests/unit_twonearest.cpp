// The certified search of the two nearest units against the plain loop, on each instruction set (skipped where the
// processor lacks it): random maps, ties and one-float-step differences in every order, far-away and overflowing
// distances.

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <random>

#include "kernel_support.h"
#include "kernels/distancekernels.h"
#include "kernels/twonearest.h"
#include "test_support.h"

namespace {

using kernels::InstructionSet;
using Units = std::vector<std::vector<float>>;

using TwoNearestTest = testsupport::OnEachSet;
INSTANTIATE_TEST_SUITE_P(, TwoNearestTest, testsupport::everySet(), testsupport::setName);

std::vector<float> randomVector(std::mt19937& rng, int n, float scale) {
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::vector<float> v(n);
  for (float& f : v) f = unit(rng) * scale;
  return v;
}

// The two nearest as the plain loop over exact distances defines them, written out independently: the smallest
// distance below `start` (first of equals), then the smallest of the others.
TwoNearestSearch::Pair reference(const Units& units, const std::vector<float>& x, float start) {
  std::vector<float> d;
  for (const auto& u : units) d.push_back(kernels::exactDistance(x.data(), u.data(), static_cast<int>(x.size())));
  TwoNearestSearch::Pair p{-1, -1};
  for (int u = 0; u < static_cast<int>(d.size()); u++) {
    if (d[u] < start && (p.nearest < 0 || d[u] < d[p.nearest])) p.nearest = u;
  }
  for (int u = 0; u < static_cast<int>(d.size()); u++) {
    if (u != p.nearest && d[u] < start && (p.second < 0 || d[u] < d[p.second])) p.second = u;
  }
  return p;
}

// Both searches agree with the reference; returns the certified search's pair.
void expectPair(TwoNearestSearch& search, const Units& units, const std::vector<float>& x, float start,
                const std::string& what) {
  std::vector<const float*> p;
  for (const auto& u : units) p.push_back(u.data());
  const int count = static_cast<int>(p.size());
  const TwoNearestSearch::Pair want = reference(units, x, start);
  const TwoNearestSearch::Pair plain = search.findExactly(p.data(), count, x.data(), start);
  const TwoNearestSearch::Pair certified = search.find(p.data(), count, x.data(), start);
  EXPECT_EQ(plain.nearest, want.nearest) << what;
  EXPECT_EQ(plain.second, want.second) << what;
  EXPECT_EQ(certified.nearest, want.nearest) << what;
  EXPECT_EQ(certified.second, want.second) << what;
}

TEST_P(TwoNearestTest, MatchesThePlainLoopOnRandomMaps) {
  std::mt19937 rng(21);
  const InstructionSet set = GetParam();
  for (int n : {1, 2, 3, 7, 8, 17, 33, 300}) {
    TwoNearestSearch search(n);
    for (int trial = 0; trial < 40; trial++) {
      const float scale = trial % 3 == 0 ? 1e-20f : (trial % 3 == 1 ? 1.0f : 1e15f);
      Units units;
      const int count = 1 + static_cast<int>(rng() % 50);
      for (int u = 0; u < count; u++) units.push_back(randomVector(rng, n, scale));
      expectPair(search, units, randomVector(rng, n, scale), HUGE_VALF, kernels::name(set));
    }
    // Most random searches need no exact distance at all.
    EXPECT_LT(search.counts.nearTies + search.counts.plain, search.counts.searches / 2) << n;
  }
}

// Copies of a unit, some one float step away in one component, in shuffled places: equal distances go to the
// first in scan order, for the nearest and for the second alike.
TEST_P(TwoNearestTest, TiesAndOneFloatStepDecideAsThePlainLoop) {
  std::mt19937 rng(22);
  const InstructionSet set = GetParam();
  for (int n : {1, 3, 9, 33, 300}) {
    TwoNearestSearch search(n);
    for (int trial = 0; trial < 40; trial++) {
      const std::vector<float> x = randomVector(rng, n, 1.0f), base = randomVector(rng, n, 1.0f);
      Units units;
      for (int u = 0; u < 5; u++) units.push_back(randomVector(rng, n, 1.0f));
      const int copies = 2 + trial % 3;
      for (int c = 0; c < copies; c++) {
        std::vector<float> copy = base;
        if (c % 2 == 1) {
          float& f = copy[rng() % n];
          f = std::nextafter(f, c == 1 ? 2.0f : -2.0f);
        }
        units.insert(units.begin() + rng() % (units.size() + 1), copy);
      }
      if (trial % 4 == 0) units.insert(units.begin() + rng() % units.size(), x);  // distance 0
      expectPair(search, units, x, HUGE_VALF, kernels::name(set));
      expectPair(search, Units(4, base), x, HUGE_VALF, "all the same");
      expectPair(search, Units(2, base), base, HUGE_VALF, "two at distance 0");
    }
  }
}

// Exact distances that are adjacent floats, or equal although the rough sums differ (the float sum absorbs what
// the double sum keeps), for the nearest pair and for the second place behind a clear nearest, in every order.
TEST_P(TwoNearestTest, CraftedNearTiesInEveryOrder) {
  const float c = 3.4526698e-4f;  // 1 + c^2 rounds to the float after 1
  const float tiny = 2.0e-4f;     // 1 + tiny^2 + tiny^2 rounds to 1
  const std::vector<float> x(3, 0.0f);
  const std::vector<float> one = {1, 0, 0}, next = {1, c, 0}, same = {1, tiny, tiny}, near = {0.5f, 0, 0},
                           far = {3, 0, 0};
  ASSERT_EQ(kernels::exactDistance(x.data(), next.data(), 3), std::nextafter(1.0f, 2.0f));
  ASSERT_EQ(kernels::exactDistance(x.data(), same.data(), 3), 1.0f);
  const InstructionSet set = GetParam();
  TwoNearestSearch search(3);
  for (const auto& other : {next, same}) {
    Units units = {one, other, near, far};
    std::sort(units.begin(), units.end());
    do {
      expectPair(search, units, x, HUGE_VALF, kernels::name(set));
      Units withoutNearest;
      for (const auto& u : units) {
        if (u != near) withoutNearest.push_back(u);
      }
      expectPair(search, withoutNearest, x, HUGE_VALF, kernels::name(set));
    } while (std::next_permutation(units.begin(), units.end()));
  }
}

// Distances at or over the start, or overflowing the float range, do not count; the plain rule decides which do.
TEST_P(TwoNearestTest, FarAwayOverflowingAndSubnormalDistances) {
  std::mt19937 rng(23);
  for (int n : {1, 4, 17}) {
    TwoNearestSearch search(n);
    for (int trial = 0; trial < 30; trial++) {
      Units huge;
      for (int u = 0; u < 5; u++) huge.push_back(randomVector(rng, n, FLT_MAX));
      expectPair(search, huge, randomVector(rng, n, FLT_MAX), HUGE_VALF, "overflow");
      Units near;
      for (int u = 0; u < 5; u++) near.push_back(randomVector(rng, n, 1.0f));
      const std::vector<float> far(n, 3.0e4f);
      expectPair(search, near, far, 1e9f, "beyond the start");
      expectPair(search, near, far, 1.0f, "start below every distance");
      expectPair(search, near, randomVector(rng, n, FLT_MIN), HUGE_VALF, "subnormal");
      // One unit in reach, the others overflowing: a nearest but no second.
      Units mixed = huge;
      mixed.insert(mixed.begin() + rng() % mixed.size(), std::vector<float>(n, 0.0f));
      expectPair(search, mixed, std::vector<float>(n, 0.5f), HUGE_VALF, "one in reach");
    }
    expectPair(search, Units(1, std::vector<float>(n, 1.0f)), std::vector<float>(n, 0.0f), HUGE_VALF, "one unit");
    expectPair(search, Units(), std::vector<float>(n, 0.0f), HUGE_VALF, "no unit");
  }
}

}  // namespace
