#include "output/figures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "dataitem.h"
#include "globals.h"
#include "kernels/distancekernels.h"
#include "kernels/twonearest.h"
#include "neuron.h"
#include "neuronlayer.h"
#include "output/knownclasses.h"

namespace {

const double kUndefined = std::nan("");

double ratio(double part, double whole) { return whole > 0.0 ? part / whole : kUndefined; }

// The mean of the vectors of a list, in double.
std::vector<double> meanOf(Data_Vector* items, int n) {
  std::vector<double> mean(static_cast<size_t>(n), 0.0);
  for (int k = 0; k < items->size(); k++) {
    const DenseValues v = items->elementAt(k)->values();
    for (int i = 0; i < n; i++) mean[static_cast<size_t>(i)] += static_cast<double>(v[i]);
  }
  for (double& m : mean) m /= static_cast<double>(items->size());
  return mean;
}

// The sum over a list of the squared distances to `mean`, in double.
double spreadAround(Data_Vector* items, const std::vector<double>& mean) {
  double sum = 0.0;
  for (int k = 0; k < items->size(); k++) {
    const DenseValues v = items->elementAt(k)->values();
    for (size_t i = 0; i < mean.size(); i++) {
      const double d = static_cast<double>(v[i]) - mean[i];
      sum += d * d;
    }
  }
  return sum;
}

bool shareAnEdge(int a, int b, int columns) {
  const int dx = std::abs(a % columns - b % columns), dy = std::abs(a / columns - b / columns);
  return dx + dy == 1;
}

// Pairs of vectors that a set of units holds together: in one unit and of
// one class (sum of C(n_ij,2)), in one unit (sum of C(a_i,2)); and the units
// holding vectors.
struct UnitPairs {
  long long together = 0;
  long long sameUnit = 0;
  long long clusters = 0;

  void add(const UnitPairs& other) {
    together += other.together;
    sameUnit += other.sameUnit;
    clusters += other.clusters;
  }
};

long long pairsOf(long long n) { return n * (n - 1) / 2; }

UnitPairs pairsIn(const UnitClasses& c) {
  UnitPairs p;
  long long size = 0;
  for (int count : c.counts) {
    p.together += pairsOf(count);
    size += count;
  }
  p.sameUnit = pairsOf(size);
  p.clusters = size > 0;
  return p;
}

// The index of a partition's pair counts against `sameClass` pairs in one class (LevelFigures).
double adjustedRandIndex(const UnitPairs& p, long long sameClass, long long vectors) {
  const long long pairs = pairsOf(vectors);
  if (pairs == 0) return 1.0;  // one vector: any two partitions are the same
  const double expected = static_cast<double>(p.sameUnit) * static_cast<double>(sameClass) / static_cast<double>(pairs);
  const double spread = 0.5 * (static_cast<double>(p.sameUnit) + static_cast<double>(sameClass)) - expected;
  return spread != 0.0 ? (static_cast<double>(p.together) - expected) / spread : 1.0;
}

// What the pass over the vectors of the deepest units adds up.
struct DeepSums {
  double distance = 0.0;
  double squared = 0.0;
  long long majorities = 0;
  // With classes, by level: the pairs of all units of the level, of its leaf units.
  std::vector<UnitPairs> levelPairs, leafPairs;

  void addPairs(int level, const UnitClasses& c, bool leaf) {
    if (static_cast<int>(levelPairs.size()) <= level) {
      levelPairs.resize(static_cast<size_t>(level) + 1);
      leafPairs.resize(static_cast<size_t>(level) + 1);
    }
    const UnitPairs unit = pairsIn(c);
    levelPairs[static_cast<size_t>(level)].add(unit);
    if (leaf) leafPairs[static_cast<size_t>(level)].add(unit);
  }
};

// Each level's partition: its own units and the leaf units of the levels above.
std::vector<LevelFigures> levelAgreement(const DeepSums& deep, const KnownClasses& classes, long long vectors) {
  long long sameClass = 0;
  for (long long size : classes.vectorsPerClass()) sameClass += pairsOf(size);
  std::vector<LevelFigures> levels;
  UnitPairs above;  // the leaf units of the levels above
  for (size_t level = 1; level < deep.levelPairs.size(); level++) {
    UnitPairs partition = above;
    partition.add(deep.levelPairs[level]);
    levels.push_back({static_cast<int>(level), partition.clusters, adjustedRandIndex(partition, sameClass, vectors)});
    above.add(deep.leafPairs[level]);
  }
  return levels;
}

UnitClasses classesOf(const Neuron& unit, const KnownClasses& classes) {
  UnitClasses c;
  c.counts.assign(classes.names().size(), 0);
  const Data_Vector* items = unit.getRepresentingDataItems();
  for (int k = 0; k < items->size(); k++) c.counts[static_cast<size_t>(classes.classOf(items->elementAt(k)))]++;
  for (size_t i = 0; i < c.counts.size(); i++) {
    if (c.counts[i] > c.majorityCount) {
      c.majorityCount = c.counts[i];
      c.majority = static_cast<int>(i);
    }
  }
  return c;
}

MapFigures measureMap(const NeuronLayer& map, const KnownClasses* classes, DeepSums& deep) {
  const int n = map.getDataLength();
  MapFigures f;
  f.map = map.gid;
  f.level = map.getLevel();
  if (map.getSuperNeuron() != nullptr && f.level > 1) f.parentMap = map.getSuperNeuron()->mapgid;
  f.parentColumn = map.getSuperPos()[0];
  f.parentRow = map.getSuperPos()[1];
  f.columns = map.getX();
  f.rows = map.getY();
  f.units = static_cast<long long>(f.columns) * f.rows;
  f.vectors = map.getDataItems()->size();
  f.errorBound = map.getStupidity() * map.superMQE;
  f.errorReached = map.getMQE();

  std::vector<const float*> scan;
  for (int row = 0; row < f.rows; row++) {
    for (int column = 0; column < f.columns; column++) scan.push_back(map.getNeuron(column, row)->weights);
  }
  TwoNearestSearch search(n);
  double distances = 0.0, squared = 0.0;
  long long apart = 0, majorities = 0;
  for (int s = 0; s < static_cast<int>(f.units); s++) {
    const Neuron& unit = *map.getNeuron(s % f.columns, s / f.columns);
    const Data_Vector* items = unit.getRepresentingDataItems();
    f.emptyUnits += items->size() == 0;
    const bool leaf = unit.getMap() == nullptr;
    for (int k = 0; k < items->size(); k++) {
      const DenseValues values = items->elementAt(k)->values();
      const float* x = values.data();
      const double d = static_cast<double>(kernels::exactDistance(x, unit.weights, n));
      distances += std::sqrt(d);
      squared += d;
      if (leaf) {
        deep.distance += std::sqrt(d);
        deep.squared += d;
      }
      if (f.units > 1) {
        const TwoNearestSearch::Pair p = search.find(scan.data(), static_cast<int>(f.units), x, HUGE_VALF);
        apart += p.nearest >= 0 && p.second >= 0 && !shareAnEdge(p.nearest, p.second, f.columns);
      }
    }
    if (classes != nullptr) {
      f.unitClasses.push_back(classesOf(unit, *classes));
      majorities += f.unitClasses.back().majorityCount;
      if (leaf) deep.majorities += f.unitClasses.back().majorityCount;
      deep.addPairs(f.level, f.unitClasses.back(), leaf);
    }
  }
  const double count = static_cast<double>(f.vectors);
  f.meanQuantizationError = ratio(distances, count);
  f.meanSquaredError = ratio(squared, count);
  f.topographicError = ratio(static_cast<double>(apart), count);
  f.explainedVariance = 1.0 - ratio(squared, spreadAround(map.getDataItems(), meanOf(map.getDataItems(), n)));
  f.purity = classes != nullptr ? ratio(static_cast<double>(majorities), count) : kUndefined;
  return f;
}

}  // namespace

const MapFigures* RunFigures::ofMap(int gid) const {
  auto found = std::lower_bound(maps.begin(), maps.end(), gid, [](const MapFigures& f, int g) { return f.map < g; });
  return found != maps.end() && found->map == gid ? &*found : nullptr;
}

RunFigures measureHierarchy(const KnownClasses* classes, float trainingSeconds) {
  std::vector<const NeuronLayer*> maps;
  Globals::forEachMap([&maps](const NeuronLayer* map) { maps.push_back(map); });
  std::sort(maps.begin(), maps.end(), [](const NeuronLayer* a, const NeuronLayer* b) { return a->gid < b->gid; });

  RunFigures r;
  HierarchyFigures& h = r.hierarchy;
  DeepSums deep;
  for (const NeuronLayer* map : maps) {
    r.maps.push_back(measureMap(*map, classes, deep));
    const MapFigures& f = r.maps.back();
    h.levels = std::max(h.levels, f.level);
    h.units += f.units;
    for (int row = 0; row < f.rows; row++) {
      for (int column = 0; column < f.columns; column++)
        h.leafUnits += map->getNeuron(column, row)->getMap() == nullptr;
    }
  }
  h.maps = static_cast<long long>(maps.size());
  Data_Vector* all = Globals::dataItems;
  h.vectors = all->size();
  const double count = static_cast<double>(h.vectors);
  h.meanQuantizationError = ratio(deep.distance, count);
  h.explainedVariance = 1.0 - ratio(deep.squared, spreadAround(all, meanOf(all, Globals::vectorlength)));
  h.purity = classes != nullptr ? ratio(static_cast<double>(deep.majorities), count) : kUndefined;
  h.adjustedRandIndex = kUndefined;
  if (classes != nullptr) {
    h.byLevel = levelAgreement(deep, *classes, h.vectors);
    if (!h.byLevel.empty()) h.adjustedRandIndex = h.byLevel.back().adjustedRandIndex;
  }
  h.trainingSeconds = trainingSeconds;
  return r;
}
