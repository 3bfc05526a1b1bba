#ifndef VELMAR_APPLY_BLOCKPLACER_H
#define VELMAR_APPLY_BLOCKPLACER_H

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "apply/hierarchywalk.h"

// Places vectors, a block at a time, down a model made ready for mapping:
// each is normalised as training normalised its input, walked down the
// hierarchy and measured against its unit, on several threads; the results
// do not depend on their number. The map command and the library's mapping
// share it.
//
// A block is cut into chunks of consecutive vectors, which the threads take
// one after the other as they get free (so a thread slowed down by other
// work takes fewer).
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

  // `threads` 0 or less: one.
  BlockPlacer(const MappingModel& model, int threads);
  ~BlockPlacer();

  BlockPlacer(const BlockPlacer&) = delete;
  BlockPlacer& operator=(const BlockPlacer&) = delete;

  int threads() const { return threads_; }

  // Fills, normalises and places `count` vectors whose rows (count x
  // components floats) lie in `values`, which keep the normalised values;
  // placed[k] is set for every vector before the first that fails.
  Outcome place(float* values, size_t count, const Fill& fill, std::vector<Placed>& placed);

  // Runs work(begin, end, thread) over the chunks of `count` vectors, on the threads.
  void forEachChunk(size_t count, const std::function<void(size_t, size_t, int)>& work);

 private:
  class Distances;
  const MappingModel& model_;
  int threads_;
  std::vector<std::unique_ptr<HierarchyWalk>> walks_;  // one per thread
  std::vector<int> lastUnit_;                          // per map: the unit of the last vector it assigned

  void settle(const float* values, std::vector<Placed>& placed, size_t upTo);
};

// Runs work(t) for t = 0 .. count-1, each on a thread of its own but the
// first, which runs on the calling thread (and so does any the system
// cannot start a thread for).
void runOnThreads(int count, const std::function<void(int)>& work);

#endif
