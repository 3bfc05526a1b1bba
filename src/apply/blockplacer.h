#ifndef VELMAR_APPLY_BLOCKPLACER_H
#define VELMAR_APPLY_BLOCKPLACER_H

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "apply/hierarchywalk.h"

// Places vectors, a block at a time, down a model made ready for mapping:
// each is normalised as training normalised its input, walked down the
// hierarchy and measured against its unit, on several threads; the bytes of
// the results do not depend on their number.
//
// One thing depends on the vectors before: a vector whose distances to every
// unit of a map overflow the float range goes to the unit of the previous
// vector that map assigned (unit 0,0 when there was none), as training's
// assignment did. The placer keeps that unit for every map across blocks and
// settles such vectors in input order, so vectors placed block after block
// get the very units one pass over all of them would give.
class BlockPlacer {
 public:
  // Where one vector went: its deepest map and unit there, and its squared
  // distance to that unit.
  struct Placed {
    int map;
    int unit;
    float distance;
  };

  // `threads` 0 or less: one.
  BlockPlacer(const MappingModel& model, int threads);
  ~BlockPlacer();

  BlockPlacer(const BlockPlacer&) = delete;
  BlockPlacer& operator=(const BlockPlacer&) = delete;

  // Fills, normalises and places `count` vectors: fill(k, row) writes vector
  // k's values (the model's component count) into `row`, on whichever thread
  // takes it, and returns false when vector k cannot be read, which ends the
  // block just before it. `values` holds the rows (count x components
  // floats) and keeps the normalised values; placed[k] is set for every
  // vector before the first that could not be read, whose index is returned
  // (count when all could).
  size_t place(float* values, size_t count, const std::function<bool(size_t, float*)>& fill,
               std::vector<Placed>& placed);

 private:
  class Distances;
  const MappingModel& model_;
  int threads_;
  std::vector<std::unique_ptr<HierarchyWalk>> walks_;  // one per thread
  std::vector<int> lastUnit_;                          // per map: the unit of the last vector it assigned

  void settle(const float* values, std::vector<Placed>& placed, size_t upTo);
};

#endif
