#ifndef VELMAR_APPLY_HIERARCHYWALK_H
#define VELMAR_APPLY_HIERARCHYWALK_H

#include <string>
#include <vector>

#include "io/modelfile.h"
#include "kernels/squaredlength.h"
#include "kernels/winnersearch.h"

// A model made ready for mapping: per map the units' weights in scan order
// (row by row, columns inner), every unit's child map and the map's parent
// unit, by index into the maps (the first-layer map is 0), and the parts of
// an assignment line that depend on the unit alone. Since every map hangs
// below exactly one unit, a vector's deepest map and unit name its whole path.
class MappingModel {
 public:
  struct Map {
    int parent;                         // index of the parent map, -1 for the first layer
    int parentUnit;                     // the parent unit's index in it
    std::vector<const float*> units;    // weights, scan order
    std::vector<int> child;             // per unit: index of its child map, -1 for none
    std::vector<std::string> unitPart;  // per unit: its map, level, column and row in a line
    std::vector<std::string> position;  // per unit: "column,row", its step in a path
  };

  // Appends the path of unit `unit` of map `map`: the positions of its
  // units from the first layer down, "column,row/column,row/...".
  void appendPath(std::string& out, int map, int unit) const;

  // Keeps a reference to `model`, which must outlive it. Sets the component
  // count of the vector arithmetic (Globals::vectorlength) to the model's.
  explicit MappingModel(const Model& model);

  const Map& map(int index) const { return maps_[static_cast<size_t>(index)]; }
  int mapCount() const { return static_cast<int>(maps_.size()); }
  int components() const { return components_; }
  int largestMap() const { return largestMap_; }

  // Normalises a vector as the trainer normalised its input: LENGTH scales
  // it to length 1, INTERVAL divides every component by the divisor
  // training found; the same operations, in the same order. A vector that
  // LENGTH cannot scale in float (kernels/squaredlength.h) is left as it is,
  // and the trouble returned.
  SquaredLength normalise(float* values) const;

 private:
  const Model& model_;
  int components_;
  int largestMap_;
  std::vector<Map> maps_;
};

// One thread's walk of vectors down the hierarchy: the winner in the
// first-layer map by the certified search of training, then the winner in
// that unit's child map, until a unit without a child.
class HierarchyWalk {
 public:
  explicit HierarchyWalk(const MappingModel& model);

  // The unit of `map` nearest to x, as training's assignment finds it; -1
  // when no unit lies at a finite distance (every distance overflows).
  int nearest(const float* x, int map);

  // Where a walk ended: the last map reached and its unit there, -1 when it
  // stopped because no unit of that map lies at a finite distance.
  struct End {
    int map;
    int unit;
  };
  // Walks down from `map` to a unit without a child map, or to a map where it
  // is stuck.
  End descend(const float* x, int map);

 private:
  const MappingModel& model_;
  WinnerSearch search_;
};

#endif
