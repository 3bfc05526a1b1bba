#ifndef VELMAR_APPLY_HIERARCHYWALK_H
#define VELMAR_APPLY_HIERARCHYWALK_H

#include <string>
#include <vector>

#include "io/modelfile.h"
#include "kernels/winnersearch.h"

// A model made ready for mapping: per map the units' weights in scan order
// (row by row, columns inner) and every unit's child map, by index into the
// maps (the first-layer map is 0).
class MappingModel {
 public:
  struct Map {
    int gid;
    int level;
    int columns;
    std::vector<const float*> units;   // weights, scan order
    std::vector<int> child;            // per unit: index of its child map, -1 for none
    std::vector<std::string> position;  // per unit: "column,row", as the path shows it
  };

  // Keeps a reference to `model`, which must outlive it. Sets the component
  // count of the vector arithmetic (Globals::vectorlength) to the model's.
  explicit MappingModel(const Model& model);

  const Map& map(int index) const { return maps_[static_cast<size_t>(index)]; }
  int mapCount() const { return static_cast<int>(maps_.size()); }
  int components() const { return components_; }
  int largestMap() const { return largestMap_; }

  // Normalises a vector as the trainer normalised its input: LENGTH scales
  // it to length 1, INTERVAL divides every component by the divisor
  // training found; the same operations, in the same order.
  void normalise(float* values) const;

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

  // Where a walk ended: the last map reached, and whether it stopped there
  // because no unit of that map lies at a finite distance.
  struct End {
    int map;
    bool stuck;
  };
  // Walks down from `map`, appending the winning unit of every map passed
  // to `units`; a stuck map's unit is not appended.
  End descend(const float* x, int map, std::vector<int>& units);

 private:
  const MappingModel& model_;
  WinnerSearch search_;
};

#endif
