// The training engine against the plain loops (the exact distances in scan order, the move of every unit of the
// window written out, the vectors assigned one after the other), on each instruction set (skipped where the
// processor lacks it) and on teams of 1, 2 and 3 threads and one that judges: dense and sparse vectors, maps that
// keep their units' lengths (units cut in two pieces and whole), windows of every radius, a grid that grows between
// steps, and vectors no unit is at a finite distance from.

#include <cmath>
#include <cstring>
#include <memory>
#include <random>

#include "base/workers.h"
#include "kernel_support.h"
#include "test_support.h"
#include "training/trainingengine.h"

namespace {

using Units = std::vector<std::vector<float>>;
using TrainingEngineTest = testsupport::OnEachSet;
INSTANTIATE_TEST_SUITE_P(, TrainingEngineTest, testsupport::everySet(), testsupport::setName);

// The teams each test runs on: one thread, two, three, and two that judge as they go.
std::vector<std::unique_ptr<Workers>> teams() {
  std::vector<std::unique_ptr<Workers>> all;
  for (int members : {1, 2, 3}) all.push_back(std::make_unique<Workers>(members));
  all.push_back(std::make_unique<Workers>(2, true));
  return all;
}

// An input vector with both forms of its values.
struct Vector {
  std::vector<float> dense;
  std::vector<int> index;
  std::vector<float> value;
  bool sparse = false;
  double squaredLength = 0.0;
  TrainingInput input() const {
    const SparseEntries entries{static_cast<int>(index.size()), index.data(), value.data()};
    return sparse ? TrainingInput{true, nullptr, entries, squaredLength} : TrainingInput{false, dense.data(), {}, 0.0};
  }
};

// `listed` components drawn at random (all of them for a dense vector), of about the units' scale.
Vector randomVector(std::mt19937& rng, int n, int listed, bool sparse) {
  Vector v;
  v.dense.assign(static_cast<size_t>(n), 0.0f);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  for (int k = 0; k < listed; k++) v.dense[rng() % static_cast<unsigned>(n)] = unit(rng);
  v.sparse = sparse;
  for (int i = 0; i < n; i++) {
    if (v.dense[static_cast<size_t>(i)] == 0.0f) continue;
    v.index.push_back(i);
    v.value.push_back(v.dense[static_cast<size_t>(i)]);
    v.squaredLength += static_cast<double>(v.dense[static_cast<size_t>(i)]) * v.dense[static_cast<size_t>(i)];
  }
  return v;
}

// A value so large that the vector's every distance overflows the float range.
void overflow(Vector& v) {
  const size_t i = v.sparse ? static_cast<size_t>(v.index[0]) : 0;
  v.dense[i] = 3e38f;
  if (!v.sparse) return;
  v.value[0] = 3e38f;
  v.squaredLength = 0.0;
  for (float f : v.value) v.squaredLength += static_cast<double>(f) * f;
}

// The plain loops: the first unit in scan order with the smallest exact distance below +infinity, else `current`.
int plainNearest(const Units& units, const std::vector<float>& x, int current) {
  float best = WinnerSearch::kAboveEveryDistance;
  for (size_t u = 0; u < units.size(); u++) {
    const float d = kernels::exactDistance(x.data(), units[u].data(), static_cast<int>(x.size()));
    if (d < best) {
      best = d;
      current = static_cast<int>(u);
    }
  }
  return current;
}

// Every unit within `radius` columns and rows of the winner moves by rate x influence of its grid distance.
void plainMove(Units& units, int columns, int winner, int radius, float rate, const std::vector<float>& x) {
  for (size_t s = 0; s < units.size(); s++) {
    const long long dx = std::abs(static_cast<int>(s) % columns - winner % columns);
    const long long dy = std::abs(static_cast<int>(s) / columns - winner / columns);
    if (dx > radius || dy > radius) continue;
    const float dist = static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
    const double f = static_cast<double>(rate) * static_cast<double>(Neuron::influence(dist, radius));
    for (size_t i = 0; i < x.size(); i++) {
      const double w = units[s][i];
      units[s][i] = static_cast<float>(w + f * (static_cast<double>(x[i]) - w));
    }
  }
}

bool sameBits(const Units& a, const Units& b) {
  for (size_t u = 0; u < a.size(); u++) {
    if (std::memcmp(a[u].data(), b[u].data(), sizeof(float) * a[u].size()) != 0) return false;
  }
  return true;
}

// The engine's view of the units: scan order, unit s at column s mod columns.
void prepare(TrainingEngine& engine, Units& units, int columns) {
  engine.prepare(columns, static_cast<int>(units.size()) / columns,
                 [&](int i, int j) { return units[static_cast<size_t>(j * columns + i)].data(); });
}

struct Case {
  int components;
  int listed;        // components a sparse vector lists (a dense one: all)
  bool sparse;       // the vectors are sparse
  bool keepLengths;  // the engine searches sparsely
};

// Training steps on a 4 x 3 grid that grows to 5 x 3 half way, the engine's copy and the plain one side by side.
// The next step's vector is announced (as training does), but now and then another one comes instead.
void expectPlainSteps(Workers& team, const Case& c, std::mt19937& rng, const std::string& what) {
  const int n = c.components;
  TrainingEngine engine(n, c.keepLengths, team, Neuron::influence);
  Units units;
  for (int u = 0; u < 12; u++) units.push_back(randomVector(rng, n, n, false).dense);
  Units plain = units;
  int columns = 4;
  prepare(engine, units, columns);
  std::vector<Vector> vectors;
  for (int k = 0; k < 41; k++) vectors.push_back(randomVector(rng, n, c.sparse ? c.listed : n, c.sparse));
  const int radii[] = {0, 1, 2, 5, 2147483647};
  for (int step = 0; step < 40; step++) {
    if (step == 20) {  // a column inserted, as growth inserts one: the grid and every weight array change
      Units grown;
      for (int s = 0; s < 12; s++) {
        grown.push_back(units[static_cast<size_t>(s)]);
        if (s % 4 == 1) grown.push_back(randomVector(rng, n, n, false).dense);
      }
      units = grown;
      plain = units;
      columns = 5;
      prepare(engine, units, columns);
    }
    const Vector& x = vectors[static_cast<size_t>(step % 7 == 3 ? 40 : step)];
    const int current = static_cast<int>(rng() % units.size());
    const int winner = engine.nearest(x.input(), current);
    ASSERT_EQ(winner, plainNearest(plain, x.dense, current)) << what << " step " << step;
    const int radius = radii[step / 3 % 5];  // a radius kept for three steps, across the growth too
    const float rate = 0.3f - 0.005f * static_cast<float>(step);
    const TrainingInput next = vectors[static_cast<size_t>(step + 1)].input();
    engine.moveWindow(winner % columns, winner / columns, radius, rate, x.input(), step % 4 == 1 ? nullptr : &next);
    plainMove(plain, columns, winner, radius, rate, x.dense);
    ASSERT_TRUE(sameBits(units, plain)) << what << " step " << step << " radius " << radius;
  }
}

TEST_P(TrainingEngineTest, StepsFindThePlainWinnersAndMoveAsThePlainLoop) {
  std::mt19937 rng(51);
  // Dense vectors, on a map that searches densely and on one that keeps lengths; sparse ones on both, with units
  // cut in two pieces (2,100 components) or whole (300), moved block by block (few listed) or towards a spread row.
  const Case cases[] = {{40, 0, false, false},   {2100, 0, false, false}, {2100, 0, false, true},
                        {2100, 60, true, false}, {2100, 10, true, true},  {2100, 60, true, true},
                        {300, 3, true, true},    {300, 0, true, true}};
  for (auto& team : teams()) {
    for (const Case& c : cases) {
      expectPlainSteps(*team, c, rng,
                       std::string(kernels::name(GetParam())) + ", " + std::to_string(team->size()) + " threads, " +
                           std::to_string(c.components) + " components, " +
                           (c.sparse ? std::to_string(c.listed) + " listed" : "dense") +
                           (c.keepLengths ? ", lengths kept" : ""));
    }
  }
}

// Assigning 9,000 vectors (more than one chunk): each goes to its plain winner, one that no unit is at a finite
// distance from to the unit of the vector before it; every unit's measure runs once.
TEST_P(TrainingEngineTest, AssignsEveryVectorAsThePlainLoopInOrder) {
  std::mt19937 rng(52);
  for (auto& team : teams()) {
    for (bool sparse : {false, true}) {
      const int n = 64;
      TrainingEngine engine(n, sparse, *team, Neuron::influence);
      Units units;
      for (int u = 0; u < 6; u++) units.push_back(randomVector(rng, n, n, false).dense);
      prepare(engine, units, 3);
      std::vector<Vector> vectors;
      for (int k = 0; k < 9000; k++) {
        vectors.push_back(randomVector(rng, n, sparse ? 2 : n, sparse));
        if (k % 1000 == 7) overflow(vectors.back());
      }
      std::vector<int> placed;
      engine.assignAll(
          static_cast<int>(vectors.size()), [&](int k) { return vectors[static_cast<size_t>(k)].input(); },
          [&](int k, int unit) {
            ASSERT_EQ(k, static_cast<int>(placed.size()));
            placed.push_back(unit);
          });
      int winner = 0;
      for (size_t k = 0; k < vectors.size(); k++) {
        winner = plainNearest(units, vectors[k].dense, winner);
        ASSERT_EQ(placed[k], winner) << kernels::name(GetParam()) << ", " << team->size() << " threads, vector " << k;
      }
      std::vector<int> measured(units.size(), 0);
      engine.forEachUnit(100000000, [&](int s) { measured[static_cast<size_t>(s)]++; });
      EXPECT_EQ(measured, std::vector<int>(units.size(), 1));
    }
  }
}

TEST(TrainingEngine, SearchesSparselyOnlyWhenSomeVectorsAreSparseAndFewComponentsAreListed) {
  auto pays = [](std::vector<int> listed) {
    return TrainingEngine::sparseSearchPays(static_cast<int>(listed.size()), 1000,
                                            [&](int k) { return listed[static_cast<size_t>(k)]; });
  };
  EXPECT_FALSE(pays({}));
  EXPECT_FALSE(pays({-1, -1}));  // dense vectors
  EXPECT_TRUE(pays({10, 49, 40}));
  EXPECT_FALSE(pays({10, 49, 100}));  // 5 % of the components or more
  EXPECT_FALSE(pays({0, -1}));        // a dense vector counts as all its components
  std::vector<int> oneDense(40, 0);
  oneDense.push_back(-1);
  EXPECT_TRUE(pays(oneDense));
}

}  // namespace
