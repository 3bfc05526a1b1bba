#ifndef VELMAR_APPLY_BLOCKPLACER_H
#define VELMAR_APPLY_BLOCKPLACER_H

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "apply/hierarchywalk.h"

class Workers;

// Places vectors, a block at a time, down a model made ready for mapping:
// each is normalised as training normalised its input, walked down the
// hierarchy and measured against its unit, on several threads; the results
// do not depend on their number. The map command and the library's mapping
// share it.
//
// A block is cut into chunks of consecutive vectors, which the members of a
// team of threads (base/workers.h) take one after the other as they get
// free (so a thread slowed down by other work takes fewer).
//
// One thing depends on the vectors before: a vector whose distances to every
// unit of a map overflow the float range goes to the unit of the previous
// vector that map assigned (unit 0,0 when there was none), as training's
// assignment did. The placer keeps that unit for every map across blocks and
// settles such vectors in input order, so vectors placed block after block
// get the very units one pass over all of them would give.
class BlockPlacer {
 public:
  // Where one vector went: its deepest map and unit there (which name its
  // whole path), and its squared distance to that unit.
  struct Placed {
    int map;
    int unit;
    float distance;
  };

  // Writes vector k's values (the model's component count) into `row` on
  // thread `thread`; false, with the reason in `why`, when it cannot be read.
  using Fill = std::function<bool(size_t k, float* row, int thread, std::string& why)>;

  // How a block went: every vector before `placed` was placed; vector
  // `placed` (when below the count) could not be read (`why` says why) or
  // could not be normalised (`length` says how).
  struct Outcome {
    size_t placed;
    std::string why;
    SquaredLength length = SquaredLength::Fine;
  };

  // Places on `team`, which must outlive the placer.
  BlockPlacer(const MappingModel& model, Workers& team);
  ~BlockPlacer();

  BlockPlacer(const BlockPlacer&) = delete;
  BlockPlacer& operator=(const BlockPlacer&) = delete;

  // The team's members: `thread` of Fill and forEachChunk lies below.
  int threads() const;

  // Fills, normalises and places `count` vectors whose rows (count x
  // components floats) lie in `values`, which keep the normalised values;
  // placed[k] is set for every vector before the first that fails. With
  // `alongside`, that runs too, on one member of the team while the others
  // place (before the placing on a team of one): the reading of the next
  // block, say.
  Outcome place(float* values, size_t count, const Fill& fill, std::vector<Placed>& placed,
                const std::function<void()>& alongside = nullptr);

  // Runs work(begin, end, thread, chunk) over the chunks of `count` vectors
  // (chunk numbered from 0 in input order, below chunkCount(count)), on the
  // team, and `alongside` (if any) as place does.
  void forEachChunk(size_t count, const std::function<void(size_t, size_t, int, size_t)>& work,
                    const std::function<void()>& alongside = nullptr);
  // The number of chunks forEachChunk cuts `count` vectors into.
  size_t chunkCount(size_t count) const;

 private:
  class Distances;
  const MappingModel& model_;
  Workers& team_;
  std::vector<std::unique_ptr<HierarchyWalk>> walks_;  // one per thread
  std::vector<int> lastUnit_;                          // per map: the unit of the last vector it assigned

  void settle(const float* values, std::vector<Placed>& placed, size_t upTo);
};

#endif
