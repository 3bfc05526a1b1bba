// Sparse input vectors: their storage, the moves that keep a unit's squared length and skip what they cannot
// change, the sparse-aware certified search against the plain loop, and the team of threads. Every kernel on
// each instruction set (skipped where the processor lacks it).

#include <atomic>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>

#include "base/workers.h"
#include "kernel_support.h"
#include "kernels/distancekernels.h"
#include "kernels/winnersearch.h"
#include "test_access.h"
#include "test_support.h"

namespace {

using kernels::InstructionSet;
using SparseKernels = testsupport::OnEachSet;
using SparseSearch = testsupport::OnEachSet;
INSTANTIATE_TEST_SUITE_P(, SparseKernels, testsupport::everySet(), testsupport::setName);
INSTANTIATE_TEST_SUITE_P(, SparseSearch, testsupport::everySet(), testsupport::setName);

bool sameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }
bool sameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// A sparse vector held by its index and value arrays.
struct Sparse {
  std::vector<int> index;
  std::vector<float> value;
  SparseEntries entries() const { return {static_cast<int>(index.size()), index.data(), value.data()}; }
  std::vector<float> dense(int n) const {
    std::vector<float> d(n, 0.0f);
    for (size_t k = 0; k < index.size(); k++) d[index[k]] = value[k];
    return d;
  }
};

// About share of n components listed, each drawn by `draw`.
template <class Draw>
Sparse sparseVector(std::mt19937& rng, int n, double share, Draw draw) {
  Sparse s;
  std::uniform_real_distribution<double> u(0, 1);
  for (int i = 0; i < n; i++) {
    if (u(rng) < share) {
      s.index.push_back(i);
      s.value.push_back(draw());
    }
  }
  return s;
}

// Weights of every kind the moves meet: ordinary, decayed to a few steps above 0, subnormal, signed zeros, and
// now and then an infinity or a NaN.
float anyWeight(std::mt19937& rng) {
  std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
  switch (rng() % 10) {
    case 0:
      return 0.0f;
    case 1:
      return -0.0f;
    case 2:
      return std::ldexp(static_cast<float>(rng() % 9), -149) * (rng() % 2 ? 1.0f : -1.0f);
    case 3:
      return unit(rng) * FLT_MIN;
    case 4:
      return rng() % 50 == 0 ? (rng() % 2 ? INFINITY : NAN) : unit(rng) * 1e30f;
    default:
      return unit(rng);
  }
}

double anyFactor(std::mt19937& rng) {
  const double factors[] = {0.3, 0.06, -0.0394, 0.02 * 0.1056, 0.0, -0.0, 1.0, 7.5, 1e-30, 0.5, 0.25, 0.1666};
  const double f = factors[rng() % (sizeof factors / sizeof factors[0])];
  return rng() % 4 == 0 ? f * std::uniform_real_distribution<double>(0.5, 1.5)(rng) : f;
}

TEST(SparseItem, KeepsTheSmallerFormAndGivesBackEveryBit) {
  const float values[] = {0.0f, -0.0f, 0.0f, 1e-45f, 0.0f, 0.0f, 3.5f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
  DataItem* sparse = DataItem::create("s", values, 12);  // three listed: 8 + 3 * 8 bytes against 48
  DataItem* dense = DataItem::create("d", values, 3);    // one listed: 16 bytes against 12
  ASSERT_TRUE(sparse->isSparse());
  ASSERT_FALSE(dense->isSparse());
  EXPECT_STREQ(sparse->getId(), "s");
  EXPECT_EQ(sparse->sparse().count, 3);
  EXPECT_EQ(sparse->squaredLength(), 3.5 * 3.5 + 1e-45f * static_cast<double>(1e-45f));
  const DenseValues view = sparse->values();
  for (int i = 0; i < 12; i++) {
    EXPECT_TRUE(sameBits(view[i], values[i])) << i;
    EXPECT_TRUE(sameBits(sparse->value(i), values[i])) << i;
  }
  EXPECT_TRUE(std::signbit(sparse->value(1)));
  sparse->changeStored([](int, float& v) { v *= 2.0f; });  // scaling keeps the form and refreshes the length
  EXPECT_EQ(sparse->value(6), 7.0f);
  EXPECT_EQ(sparse->squaredLength(), 49.0 + 2e-45f * static_cast<double>(2e-45f));
  delete sparse;
  delete dense;
}

// The moves agree with the plain move of the dense vector bit for bit, return exactly what measuring the result
// gives, and skipping changes nothing: not a weight, not the length.
TEST_P(SparseKernels, MovesMatchThePlainMoveAndSkippingChangesNothing) {
  std::mt19937 rng(17);
  const InstructionSet set = GetParam();
  const kernels::KernelTable& k = kernels::active();
  for (int n : {1, 7, 15, 16, 17, 33, 64, 300, 1001}) {
    for (int trial = 0; trial < 60; trial++) {
      std::vector<float> w(n);
      for (float& f : w) f = trial % 3 == 0 ? std::ldexp(static_cast<float>(rng() % 4), -149) : anyWeight(rng);
      const Sparse x = sparseVector(rng, n, trial % 4 == 0 ? 0.0 : 0.05, [&] { return anyWeight(rng); });
      const std::vector<float> dense = x.dense(n);
      const double f = anyFactor(rng);
      std::vector<float> plain = w, skipping = w, full = w, measured = w;
      kernels::portableKernels().moveTowards(plain.data(), dense.data(), f, n);
      const double skipLength = k.moveSparse(skipping.data(), x.entries(), f, n, kernels::noOpLimit(f));
      const double fullLength = k.moveSparse(full.data(), x.entries(), f, n, -1);
      const double denseLength = k.moveMeasured(measured.data(), dense.data(), f, n);
      for (int i = 0; i < n; i++) {
        ASSERT_TRUE(sameBits(skipping[i], plain[i]) && sameBits(full[i], plain[i]) && sameBits(measured[i], plain[i]))
            << kernels::name(set) << " n=" << n << " i=" << i << " w=" << w[i] << " f=" << f;
      }
      const double length = k.measure(plain.data(), n);
      EXPECT_TRUE(sameBits(skipLength, length) || (std::isnan(skipLength) && std::isnan(length)));
      EXPECT_TRUE(sameBits(fullLength, length) || (std::isnan(fullLength) && std::isnan(length)));
      EXPECT_TRUE(sameBits(denseLength, length) || (std::isnan(denseLength) && std::isnan(length)));
    }
  }
}

// The limit is what the proof allows: every weight up to it, of either sign, comes back unchanged from a move
// towards +0, and it is never above 2^-126; -0 and factors that are not finite allow nothing.
TEST(SparseMoves, NoOpLimitHoldsForEveryWeightBelowIt) {
  std::mt19937 rng(23);
  for (int trial = 0; trial < 400; trial++) {
    const double f =
        trial < 4 ? std::vector<double>{0.0, 1e-40, 0.3, 0.5}[trial]
                  : std::ldexp(std::uniform_real_distribution<double>(0.5, 1)(rng), -static_cast<int>(rng() % 40));
    const int limit = kernels::noOpLimit(trial % 2 ? f : -f);
    ASSERT_GE(limit, 0);
    float top;
    std::memcpy(&top, &limit, sizeof top);
    ASSERT_LE(top, FLT_MIN);
    for (int step = 0; step < 64; step++) {
      const int bits = step < 32 ? limit - step : static_cast<int>(rng() % (static_cast<unsigned>(limit) + 1));
      if (bits < 0) continue;
      float w;
      std::memcpy(&w, &bits, sizeof w);
      for (float v : {w, -w}) {
        if (sameBits(v, -0.0f)) continue;
        const float moved = static_cast<float>(static_cast<double>(v) + f * (0.0 - static_cast<double>(v)));
        ASSERT_TRUE(sameBits(moved, v)) << "f=" << f << " w=" << v;
      }
    }
  }
  EXPECT_EQ(kernels::noOpLimit(INFINITY), -1);
  EXPECT_EQ(kernels::noOpLimit(NAN), -1);
  // -0 would come back as +0: a block holding one is never skipped.
  std::vector<float> w(32, 0.0f);
  w[20] = -0.0f;
  const Sparse none;
  kernels::active().moveSparse(w.data(), none.entries(), 0.3, 32, kernels::noOpLimit(0.3));
  EXPECT_FALSE(std::signbit(w[20]));
}

TEST_P(SparseKernels, DotsAndComponentChainsMatchTheirReferences) {
  std::mt19937 rng(29);
  const kernels::KernelTable& k = kernels::active();
  for (int n : {1, 9, 40, 300}) {
    std::vector<std::vector<float>> units(5, std::vector<float>(n));
    std::vector<const float*> ptrs;
    for (auto& u : units) {
      for (float& f : u) f = std::uniform_real_distribution<float>(-1, 1)(rng);
      ptrs.push_back(u.data());
    }
    for (double share : {0.0, 0.02, 0.3, 1.0}) {
      const Sparse x = sparseVector(rng, n, share, [&] { return std::uniform_real_distribution<float>(-2, 2)(rng); });
      std::vector<double> dots(5);
      k.sparseDots(x.entries(), ptrs.data(), 5, dots.data());
      for (int u = 0; u < 5; u++) {
        double reference = 0.0, magnitude = 0.0;
        for (size_t j = 0; j < x.index.size(); j++) {
          reference += static_cast<double>(x.value[j]) * units[u][x.index[j]];
          magnitude += std::fabs(static_cast<double>(x.value[j]) * units[u][x.index[j]]);
        }
        EXPECT_LE(std::fabs(dots[u] - reference), 2.0 * n * std::ldexp(1.0, -53) * magnitude) << n;
        EXPECT_EQ(kernels::exactDistance(x.entries(), units[u].data(), n),
                  kernels::exactDistance(x.dense(n).data(), units[u].data(), n));
      }
      std::vector<float> acc(n, 0.25f), want = acc;
      const std::vector<float> dense = x.dense(n);
      k.accumulateSquares(acc.data(), units[0].data(), dense.data(), n);
      kernels::portableKernels().accumulateSquares(want.data(), units[0].data(), dense.data(), n);
      EXPECT_EQ(acc, want);
    }
  }
}

// The sparse search, like the dense one, against the plain loop over exact distances.
struct SparseMap {
  std::vector<std::vector<float>> units;
  std::vector<const float*> ptrs;
  std::vector<double> lengths;
  void finish(int n) {
    ptrs.clear();
    lengths.clear();
    for (const auto& u : units) {
      ptrs.push_back(u.data());
      lengths.push_back(kernels::active().measure(u.data(), n));
    }
  }
};

void expectPlainWinner(WinnerSearch& search, SparseMap& map, const Sparse& x, int n, float start, int current,
                       const std::string& what) {
  map.finish(n);
  const int count = static_cast<int>(map.units.size());
  search.reserve(count);
  double xLength = 0.0;
  for (float v : x.value) xLength += static_cast<double>(v) * v;
  const int plain = search.findExactly(map.ptrs.data(), count, x.entries(), start, current);
  ASSERT_EQ(plain, search.findExactly(map.ptrs.data(), count, x.dense(n).data(), start, current)) << what;
  EXPECT_EQ(search.find(map.ptrs.data(), map.lengths.data(), count, x.entries(), xLength, start, current), plain)
      << what;
}

float termWeight(std::mt19937& rng) { return std::uniform_real_distribution<float>(0.01f, 0.6f)(rng); }

TEST_P(SparseSearch, PicksThePlainWinnerOnRandomSparseData) {
  std::mt19937 rng(31);
  const InstructionSet set = GetParam();
  for (int n : {1, 5, 17, 300, 2000}) {
    WinnerSearch search(n);
    for (int trial = 0; trial < 25; trial++) {
      SparseMap map;
      const int count = 1 + static_cast<int>(rng() % 30);
      for (int u = 0; u < count; u++)
        map.units.push_back(sparseVector(rng, n, 0.1, [&] { return termWeight(rng); }).dense(n));
      expectPlainWinner(search, map, sparseVector(rng, n, 0.05, [&] { return termWeight(rng); }), n, HUGE_VALF, 0,
                        kernels::name(set));
    }
  }
}

// Exact ties (copies of one unit), units almost equal to the vector (the cancellation: |w|^2 + |x|^2 - 2 x.w
// subtracts nearly equal numbers), the vector itself, an all-zero vector and one with a single listed value.
TEST_P(SparseSearch, TiesCancellationZeroAndSingleValues) {
  std::mt19937 rng(37);
  const long long nearTies = WinnerSearch::counts.nearTies;
  for (int n : {3, 40, 1000}) {
    WinnerSearch search(n);
    for (int trial = 0; trial < 20; trial++) {
      const Sparse x = sparseVector(rng, n, 0.1, [&] { return termWeight(rng) * 1000.0f; });
      SparseMap map;
      for (int c = 0; c < 5; c++) {
        std::vector<float> near = x.dense(n);
        if (c > 0 && !x.index.empty()) {  // one float step off, in one listed or unlisted component
          float& f = near[c % 2 ? x.index[rng() % x.index.size()] : rng() % n];
          f = std::nextafter(f, c < 3 ? 1e9f : -1e9f);
        }
        map.units.insert(map.units.begin() + rng() % (map.units.size() + 1), near);
      }
      map.units.insert(map.units.begin() + rng() % map.units.size(), map.units[rng() % map.units.size()]);
      expectPlainWinner(search, map, x, n, HUGE_VALF, 0, "near and tied");
      expectPlainWinner(search, map, Sparse(), n, HUGE_VALF, 2, "all zero");
      Sparse single;
      single.index = {static_cast<int>(rng() % n)};
      single.value = {termWeight(rng)};
      expectPlainWinner(search, map, single, n, HUGE_VALF, 1, "single value");
      SparseMap zeros;
      zeros.units.assign(3, std::vector<float>(n, 0.0f));
      expectPlainWinner(search, zeros, Sparse(), n, HUGE_VALF, 1, "zero to zero units");
    }
  }
  EXPECT_GT(WinnerSearch::counts.nearTies, nearTies);  // the exact chains decided some
}

// Values near the float limits: huge ones whose squares overflow (the plain loop decides), distances at the
// starting distance, and subnormal ones whose squares lie far below the float range.
TEST_P(SparseSearch, ValuesNearTheFloatLimits) {
  std::mt19937 rng(41);
  for (int n : {4, 64}) {
    WinnerSearch search(n);
    for (int trial = 0; trial < 20; trial++) {
      for (float scale : {FLT_MAX, 1e19f, FLT_MIN, 1e-44f}) {
        SparseMap map;
        for (int u = 0; u < 6; u++)
          map.units.push_back(sparseVector(rng, n, 0.3, [&] { return termWeight(rng) * scale; }).dense(n));
        const Sparse x = sparseVector(rng, n, 0.3, [&] { return termWeight(rng) * scale; });
        expectPlainWinner(search, map, x, n, HUGE_VALF, 3, "scale");
        expectPlainWinner(search, map, x, n, 1e-3f, 4, "start");
      }
    }
  }
}

// The bound itself: the exact distance lies between the lower and upper bounds the search derives.
TEST_P(SparseSearch, ExactDistanceLiesWithinTheBound) {
  std::mt19937 rng(43);
  const kernels::KernelTable& k = kernels::active();
  for (int n : {1, 30, 1000, 5000}) {
    WinnerSearch search(n);
    const double relative = search.chainBound().first;
    const auto [cancellation, absolute] = search.sparseBound();
    for (int trial = 0; trial < 100; trial++) {
      const Sparse x = sparseVector(rng, n, 0.05, [&] { return anyWeight(rng) * (trial % 2 ? 1.0f : 1e-20f); });
      std::vector<float> w = trial % 3 == 0 ? x.dense(n) : std::vector<float>(n);
      for (float& f : w) f = trial % 3 == 0 ? std::nextafter(f, 1.0f) : termWeight(rng) * (trial % 2 ? 1.0f : 1e-20f);
      bool finite = true;
      for (float v : x.value) finite = finite && std::isfinite(v);
      if (!finite) continue;
      const float* unit = w.data();
      double dot;
      k.sparseDots(x.entries(), &unit, 1, &dot);
      double xLength = 0.0;
      for (float v : x.value) xLength += static_cast<double>(v) * v;
      const double lengths = k.measure(w.data(), n) + xLength;
      const double rough = lengths - 2.0 * dot, e = cancellation * lengths;
      const double exact = kernels::exactDistance(x.entries(), w.data(), n);
      const double upper = (rough + e) * (1 + relative) + absolute;
      if (upper < FLT_MAX) {  // beyond (a length beyond the float range included), the search runs the plain loop
        EXPECT_LE(exact, upper) << n;
        EXPECT_GE(exact, (rough - e) * (1 - relative) - absolute) << n;
      }
    }
  }
}

// Every part of every job runs exactly once, whatever the team's size and whether it judges, and run returns only
// when all have run; runOnEach runs part m once for every member m, part 0 on the caller, the others each on one
// thread (its member's, or the caller's when it took the part over), or the job alone on the caller.
TEST(WorkerTeam, RunsEveryPartOnceAndWaitsForAll) {
  for (int members : {1, 2, 3, 5, -2, -3}) {
    Workers team(members > 0 ? members : -members, members < 0);
    const int asked = members > 0 ? members : -members;
    EXPECT_LE(team.size(), asked);
    std::vector<std::atomic<int>> runs(64);
    // A team that judges runs until it has tried the caller alone (at its first trial, some milliseconds in).
    int alone = 0;
    for (int job = 0; job < 300 || (members < 0 && team.size() > 1 && alone == 0 && job < 1000000); job++) {
      const int parts = 1 + job % 64;
      for (auto& r : runs) r = 0;
      team.run(parts, 1000000, [&](int p) { runs[static_cast<size_t>(p)].fetch_add(1); });
      for (int p = 0; p < 64; p++) ASSERT_EQ(runs[static_cast<size_t>(p)].load(), p < parts ? 1 : 0) << members;
      // Jobs that every member runs once, on its own thread, between the shared ones.
      for (auto& r : runs) r = 0;
      std::vector<std::thread::id> ids(static_cast<size_t>(team.size()));
      bool ranAlone = false;
      const auto part = [&](int m) {
        runs[static_cast<size_t>(m)].fetch_add(1);
        ids[static_cast<size_t>(m)] = std::this_thread::get_id();
      };
      team.runOnEach(1000, part, [&] {
        ranAlone = true;
        for (int m = 0; m < team.size(); m++) part(m);
      });
      alone += ranAlone;
      for (int m = 0; m < 64; m++) ASSERT_EQ(runs[static_cast<size_t>(m)].load(), m < team.size() ? 1 : 0) << members;
      EXPECT_EQ(ids[0], std::this_thread::get_id());
      if (ranAlone) {
        for (int m = 0; m < team.size(); m++) ASSERT_EQ(ids[static_cast<size_t>(m)], std::this_thread::get_id());
      }
    }
    if (members < 0 && team.size() > 1) {
      EXPECT_GT(alone, 0) << "a team that judges tries the caller alone";
    }
  }
  EXPECT_EQ(Workers::membersFor(1), 1);
  EXPECT_EQ(Workers::membersFor(3), 3);
  EXPECT_GE(Workers::membersFor(0), 1);
  EXPECT_EQ(Workers::membersFor(100000), Workers::kMostMembers);
}

// A member that takes far longer than the caller over its part of a job of runOnEach (as when the system gives its
// core to another process) does not hold up the jobs after it: they run on the caller alone for a while, then the
// team shares them again.
TEST(WorkerTeam, AMemberHeldBackLeavesTheNextJobsToTheCaller) {
  Workers team(2);
  if (team.size() < 2) GTEST_SKIP() << "no second thread";
  const std::thread::id caller = std::this_thread::get_id();
  std::thread::id ranSecond;
  // The caller's part takes 20 microseconds, time enough for the member to start its own.
  const auto job = [&](bool slowElsewhere) {
    const auto part = [&](int m) {
      if (m == 0) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::microseconds(20);
        while (std::chrono::steady_clock::now() < end) {
        }
        return;
      }
      ranSecond = std::this_thread::get_id();
      if (slowElsewhere && ranSecond != caller) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    };
    team.runOnEach(1000, part, [&] {
      part(0);
      part(1);
    });
  };
  // Until the member itself ran its part, slowly, and the caller saw it (the caller may take the part over while
  // the member is waking, and a caller that the system holds back itself may see nothing wrong).
  for (int tries = 0; tries < 1000 && WorkersTestAccess::soloJobs(team) == 0; tries++) job(true);
  const int solo = WorkersTestAccess::soloJobs(team);
  ASSERT_GT(solo, 0) << "no member was ever seen held back";
  for (int k = 0; k < solo; k++) {
    job(false);
    ASSERT_EQ(ranSecond, caller) << "job " << k << " of " << solo << " after the held-back one";
  }
  EXPECT_EQ(WorkersTestAccess::soloJobs(team), 0);
  bool sharedAgain = false;
  for (int k = 0; k < 20000 && !sharedAgain; k++) {
    job(false);
    sharedAgain = ranSecond != caller;
  }
  EXPECT_TRUE(sharedAgain);
}

}  // namespace
