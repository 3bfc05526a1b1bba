#ifndef VELMAR_OUTPUT_FIGURES_H
#define VELMAR_OUTPUT_FIGURES_H

#include <vector>

class KnownClasses;

// Figures that say how good the trained hierarchy is, each map's and the
// whole hierarchy's, measured on the vectors as training saw them (after
// normalisation). A vector's winner is the unit whose list holds it; its
// "distance" is the squared distance of the program (calcQE), its
// quantization error the square root of that. Means and sums are taken in
// double, in the order of the units' lists. A figure that is undefined (a
// variance of 0, no classes) is NaN.

// With known classes: a unit's count of vectors per class and its majority
// class (the first of equals in the classes' order; -1 for an empty unit).
struct UnitClasses {
  std::vector<int> counts;
  int majority = -1;
  int majorityCount = 0;
};

struct MapFigures {
  int map = 0;  // the map's number
  int level = 0;
  int parentMap = -1;  // the number of the map above; -1 for the first layer
  int parentColumn = 0;
  int parentRow = 0;
  int columns = 0;
  int rows = 0;
  long long vectors = 0;
  long long units = 0;
  long long emptyUnits = 0;
  double meanQuantizationError = 0.0;  // mean distance (not squared) to the winner
  double meanSquaredError = 0.0;       // mean squared distance to the winner
  // Share of vectors whose nearest and second-nearest units do not share an
  // edge on the grid; 0 for a map of one unit.
  double topographicError = 0.0;
  // 1 - (sum of squared distances to the winners) / (sum of squared
  // distances to the mean of the map's vectors).
  double explainedVariance = 0.0;
  float errorBound = 0.0f;               // the error the map had to reach: TAU_1 x the error above it
  float errorReached = 0.0f;             // the map's error when training ended
  double purity = 0.0;                   // share of vectors in their unit's majority class
  std::vector<UnitClasses> unitClasses;  // scan order (row by row); only with classes
};

// With known classes: how well the partition of all vectors at one level
// agrees with the classes. At level L each vector is in its unit of level L,
// or, when its path ends above L, in its deepest unit (a leaf unit); the
// deepest level's partition is the leaf units'.
struct LevelFigures {
  int level = 0;
  long long clusters = 0;  // units of the partition that hold vectors
  // Adjusted Rand index against the classes ("(none)" counts as a class):
  // 1 for the same partition, near 0 for one by chance, below 0 for worse.
  // Pair counts are summed exactly in 64-bit integers, the index is formed
  // from them in double: (sum of C(n_ij,2) - E) / ((sum of C(a_i,2) + sum of
  // C(b_j,2)) / 2 - E), E = sum of C(a_i,2) x sum of C(b_j,2) / C(n,2), with
  // n_ij the vectors of cluster i in class j, a_i and b_j the sizes of the
  // clusters and classes. When that denominator is 0 (or there is one
  // vector) the two partitions are the same trivial one (a single part, or a
  // part per vector): 1.
  double adjustedRandIndex = 0.0;
};

struct HierarchyFigures {
  int levels = 0;
  long long maps = 0;
  long long units = 0;
  long long leafUnits = 0;  // units without a child map
  long long vectors = 0;
  // Over all vectors, each at its deepest unit (always a leaf unit).
  double meanQuantizationError = 0.0;
  double explainedVariance = 0.0;
  double purity = 0.0;                // leaf purity
  double adjustedRandIndex = 0.0;     // of the leaf units against the classes (NaN without)
  std::vector<LevelFigures> byLevel;  // levels 1, 2, ...; only with classes
  float trainingSeconds = 0.0f;
};

struct RunFigures {
  HierarchyFigures hierarchy;
  std::vector<MapFigures> maps;  // in the order of the map numbers

  // The figures of map `gid`, or nullptr.
  const MapFigures* ofMap(int gid) const;
};

// Measures the trained hierarchy: one pass per map with a two-nearest search.
// `classes` may be nullptr; `trainingSeconds` is recorded as given.
RunFigures measureHierarchy(const KnownClasses* classes, float trainingSeconds);

#endif
