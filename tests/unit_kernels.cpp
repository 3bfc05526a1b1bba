// Distance kernels and the certified winner search against the plain loops, on each instruction set (skipped where
// the processor lacks it): random data, and the cases where a last bit decides (ties, one float step, overflow,
// subnormals).

#include <cfloat>
#include <cmath>
#include <random>

#include "kernel_support.h"
#include "kernels/distancekernels.h"
#include "kernels/winnersearch.h"
#include "test_support.h"

namespace {

using kernels::InstructionSet;
using Kernels = testsupport::OnEachSet;
using WinnerSearchTest = testsupport::OnEachSet;
INSTANTIATE_TEST_SUITE_P(, Kernels, testsupport::everySet(), testsupport::setName);
INSTANTIATE_TEST_SUITE_P(, WinnerSearchTest, testsupport::everySet(), testsupport::setName);

const int kLengths[] = {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 300, 1001};

// Values of one kind: ordinary, spread over many magnitudes, subnormal, or near the top of the float range.
std::vector<float> values(std::mt19937& rng, int n, int kind) {
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  std::vector<float> v(n);
  for (float& f : v) {
    switch (kind) {
      case 0:
        f = unit(rng);
        break;
      case 1:
        f = std::ldexp(unit(rng), static_cast<int>(rng() % 80) - 40);
        break;
      case 2:
        f = unit(rng) * FLT_MIN * 0.5f;
        break;
      default:
        f = unit(rng) * FLT_MAX;
        break;
    }
  }
  return v;
}

float moved(float w, float x, double factor) {  // the weight update as written for one component
  return static_cast<float>(static_cast<double>(w) + factor * (static_cast<double>(x) - static_cast<double>(w)));
}

TEST_P(Kernels, ExactDistancesAndMovesMatchThePlainLoopsBitForBit) {
  std::mt19937 rng(7);
  const InstructionSet set = GetParam();
  for (int n : kLengths) {
    for (int kind = 0; kind < 4; kind++) {
      std::vector<std::vector<float>> data;
      std::vector<const float*> ptrs;
      for (int k = 0; k < 37; k++) data.push_back(values(rng, n, kind));  // 37: full blocks and a rest
      for (auto& d : data) ptrs.push_back(d.data());
      std::vector<float> w = values(rng, n, kind ^ (rng() & 1)), out(ptrs.size());
      for (int count : {37, 14}) {  // chains by eight, then a four and a one, or a four and a two
        kernels::active().exactDistances(ptrs.data(), count, w.data(), n, out.data());
        for (int k = 0; k < count; k++) {
          const float want = kernels::exactDistance(ptrs[k], w.data(), n);
          ASSERT_TRUE(out[k] == want || (std::isnan(out[k]) && std::isnan(want)))
              << kernels::name(set) << " n=" << n << " kind=" << kind << " vector " << k << " of " << count;
        }
      }
      for (double factor : {0.3 * 0.6000000238418579, -0.0394, 1.0, 0.0, 7.5}) {
        std::vector<float> got = w;
        kernels::active().moveTowards(got.data(), data[0].data(), factor, n);
        for (int i = 0; i < n; i++) {
          const float want = moved(w[i], data[0][i], factor);
          ASSERT_EQ(std::memcmp(&got[i], &want, sizeof want), 0)
              << kernels::name(set) << " n=" << n << " kind=" << kind << " component " << i;
        }
      }
    }
  }
}

// A map's units moved in one call (in pairs that share the input's loads, then one alone) each get the
// single-unit update with their own factor, whatever their number and length.
TEST_P(Kernels, UnitsMovedTogetherGetTheirOwnUpdates) {
  std::mt19937 rng(13);
  const double factors[] = {0.3, -0.0394, 0.18000000715255737, 1.0, 0.0};
  const InstructionSet set = GetParam();
  for (int n : kLengths) {
    const std::vector<float> x = values(rng, n, 1);
    for (int count = 1; count <= 5; count++) {
      std::vector<std::vector<float>> before, after;
      std::vector<float*> units;
      for (int u = 0; u < count; u++) before.push_back(values(rng, n, u % 3));
      after = before;
      for (auto& a : after) units.push_back(a.data());
      kernels::active().moveUnits(units.data(), factors, count, x.data(), n);
      for (int u = 0; u < count; u++) {
        for (int i = 0; i < n; i++) {
          const float want = moved(before[u][i], x[i], factors[u]);
          ASSERT_EQ(std::memcmp(&after[u][i], &want, sizeof want), 0)
              << kernels::name(set) << " n=" << n << " unit " << u << " of " << count << " component " << i;
        }
      }
    }
  }
}

// Four chains side by side are each the reference loop, whatever the count and length.
TEST(ReferenceKernels, ExactDistancePairsAreTheReferenceDistances) {
  std::mt19937 rng(11);
  for (int n : kLengths) {
    for (int kind = 0; kind < 4; kind++) {
      std::vector<std::vector<float>> a, b;
      for (int k = 0; k < 11; k++) {
        a.push_back(values(rng, n, kind));
        b.push_back(values(rng, n, kind ^ 1));
      }
      std::vector<const float*> pa, pb;
      for (int k = 0; k < 11; k++) {
        pa.push_back(a[k].data());
        pb.push_back(b[k].data());
      }
      for (int count : {0, 3, 4, 11}) {
        std::vector<float> out(11, -1.0f);
        kernels::exactDistancePairs(pa.data(), pb.data(), count, n, out.data());
        for (int k = 0; k < count; k++) {
          const float want = kernels::exactDistance(pa[k], pb[k], n);
          ASSERT_TRUE(out[k] == want || (std::isnan(out[k]) && std::isnan(want))) << n << " " << kind << " " << k;
        }
      }
    }
  }
}

// A weight, an input and a factor for which the update's product, rounded to double before the sum, leaves the
// sum exactly halfway between two floats (rounded to the even one, 1), while a fused multiply-add would carry the
// product's lost bits into the sum and round up: every version must keep the product and the sum apart.
TEST_P(Kernels, WeightUpdateIsNeverFused) {
  const double factor = std::ldexp(140736951748607.0, -94);
  ASSERT_EQ(moved(1.0f, 8388641.0f, factor), 1.0f);
  ASSERT_NE(static_cast<float>(std::fma(factor, 8388640.0, 1.0)), 1.0f);
  const InstructionSet set = GetParam();
  for (int n : {1, 8, 19}) {  // the crafted component last: behind full blocks and in a partial one
    std::vector<float> w(n, 1.0f), x(n, 8388641.0f);
    float* units[1] = {w.data()};
    kernels::active().moveUnits(units, &factor, 1, x.data(), n);
    EXPECT_EQ(w[n - 1], 1.0f) << kernels::name(set) << " n=" << n;
  }
}

// Summing in float in any order stays within the search's bound of the float chain, also where the chain
// absorbs many small terms after a large one and where partial sums are subnormal.
TEST_P(Kernels, RoughDistanceStaysWithinTheBound) {
  std::mt19937 rng(11);
  for (int n : kLengths) {
    WinnerSearch search(n);
    const auto [rel, abs] = search.errorBound();
    for (int trial = 0; trial < 200; trial++) {
      std::vector<float> x = values(rng, n, trial % 3), w = values(rng, n, trial % 3);
      if (trial % 5 == 4) x[0] = 4096.0f;  // 2^24 first: a float sum no longer counts the ones that follow
      const double rough = kernels::active().roughDistance(x.data(), w.data(), n);
      const double exact = kernels::exactDistance(x.data(), w.data(), n);
      EXPECT_LE(exact, rough * (1 + rel) + abs) << n;
      EXPECT_GE(exact, rough * (1 - rel) - abs) << n;
      // Several units at once (four of them summed up together): each within the bound, whatever its place.
      std::vector<std::vector<float>> units;
      std::vector<const float*> ptrs;
      for (int u = 0; u < 6; u++) units.push_back(u == 2 ? w : values(rng, n, (trial + u) % 3));
      for (const auto& unit : units) ptrs.push_back(unit.data());
      double roughs[6];
      kernels::active().roughDistances(x.data(), ptrs.data(), 6, n, roughs);
      for (int u = 0; u < 6; u++) {
        const double e = kernels::exactDistance(x.data(), ptrs[u], n);
        EXPECT_LE(e, roughs[u] * (1 + rel) + abs) << n << " unit " << u;
        EXPECT_GE(e, roughs[u] * (1 - rel) - abs) << n << " unit " << u;
      }
    }
  }
}

// Units in scan order; the search must pick exactly what the plain search picks.
struct Map {
  std::vector<std::vector<float>> units;
  std::vector<const float*> ptrs() const {
    std::vector<const float*> p;
    for (const auto& u : units) p.push_back(u.data());
    return p;
  }
};

void expectSameWinner(WinnerSearch& search, const Map& map, const std::vector<float>& x, float start, int current,
                      const std::string& what) {
  const auto p = map.ptrs();
  const int count = static_cast<int>(p.size());
  search.reserve(count);
  EXPECT_EQ(search.find(p.data(), count, x.data(), start, current),
            search.findExactly(p.data(), count, x.data(), start, current))
      << what;
}

TEST_P(WinnerSearchTest, PicksThePlainWinnerOnRandomMaps) {
  std::mt19937 rng(3);
  const InstructionSet set = GetParam();
  for (int n : kLengths) {
    WinnerSearch search(n);
    for (int trial = 0; trial < 30; trial++) {
      Map map;
      const int count = 1 + static_cast<int>(rng() % 40);
      for (int u = 0; u < count; u++) map.units.push_back(values(rng, n, trial % 3));
      expectSameWinner(search, map, values(rng, n, trial % 3), 1e9f, 0, kernels::name(set));
    }
  }
}

// Exact ties go to the first unit; distances one float step apart go to the nearer one, wherever it stands.
TEST_P(WinnerSearchTest, TiesAndOneFloatStepDecideAsThePlainSearch) {
  std::mt19937 rng(5);
  const InstructionSet set = GetParam();
  for (int n : {1, 3, 9, 33, 300}) {
    WinnerSearch search(n);
    for (int trial = 0; trial < 40; trial++) {
      const std::vector<float> x = values(rng, n, 0), base = values(rng, n, 0);
      Map map;
      for (int u = 0; u < 6; u++) map.units.push_back(values(rng, n, 0));
      // Copies of one unit, some nudged by one float step in one component, in shuffled places.
      for (int c = 0; c < 4; c++) {
        std::vector<float> copy = base;
        if (c % 2 == 1) {
          float& f = copy[rng() % n];
          f = std::nextafter(f, c == 1 ? 2.0f : -2.0f);
        }
        map.units.insert(map.units.begin() + rng() % (map.units.size() + 1), copy);
      }
      map.units.push_back(x);  // sometimes the vector itself: distance 0
      if (trial % 2) map.units.pop_back();
      expectSameWinner(search, map, x, 1e9f, 0, kernels::name(set));
      // All units the same: the first wins.
      Map same;
      same.units.assign(5, base);
      expectSameWinner(search, same, x, 1e9f, 3, kernels::name(set));
    }
  }
}

// Two units whose exact distances are adjacent floats, and two whose exact distances are equal although their
// rough sums differ (the float sum absorbs what the double sum keeps): both orders, on every instruction set.
TEST_P(WinnerSearchTest, OneFloatStepApartAndTiesTheRoughSumSeparates) {
  const float c = 3.4526698e-4f;  // c^2 is about 2^-23: 1 + c^2 rounds to the float after 1
  const float tiny = 2.0e-4f;     // 2 tiny^2 is below half a step at 1: 1 + tiny^2 + tiny^2 rounds to 1
  const std::vector<float> x(3, 0.0f);
  const std::vector<float> one = {1, 0, 0}, next = {1, c, 0}, same = {1, tiny, tiny};
  ASSERT_EQ(kernels::exactDistance(x.data(), next.data(), 3), std::nextafter(1.0f, 2.0f));
  ASSERT_EQ(kernels::exactDistance(x.data(), same.data(), 3), 1.0f);
  const InstructionSet set = GetParam();
  WinnerSearch search(3);
  for (const auto& other : {next, same}) {
    for (bool otherFirst : {false, true}) {
      Map map;
      map.units =
          otherFirst ? std::vector<std::vector<float>>{other, one} : std::vector<std::vector<float>>{one, other};
      expectSameWinner(search, map, x, HUGE_VALF, 0, kernels::name(set));
    }
  }
}

// Far-away vectors: exact distances at or over the starting distance, or overflowing the float range, keep the
// winner passed in exactly where the plain search keeps it.
TEST_P(WinnerSearchTest, FarAwayAndOverflowingDistancesKeepThePlainRule) {
  std::mt19937 rng(9);
  for (int n : {1, 4, 17}) {
    WinnerSearch search(n);
    for (int trial = 0; trial < 30; trial++) {
      Map map;
      for (int u = 0; u < 5; u++) map.units.push_back(values(rng, n, 3));  // squares overflow float
      expectSameWinner(search, map, values(rng, n, 3), 1e9f, 2, "overflow");
      Map near;
      for (int u = 0; u < 5; u++) near.units.push_back(values(rng, n, 0));
      std::vector<float> far(n, 3.0e4f);
      expectSameWinner(search, near, far, 1e9f, 4, "beyond the start");
      expectSameWinner(search, near, far, HUGE_VALF, 4, "start at infinity");
      expectSameWinner(search, near, values(rng, n, 2), 1e9f, 1, "subnormal");
    }
  }
}

}  // namespace
