#ifndef VELMAR_APPLY_MAPSTREAM_H
#define VELMAR_APPLY_MAPSTREAM_H

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "apply/hierarchywalk.h"
#include "io/recordsource.h"
#include "io/vectorlines.h"

class OutputFile;

// Maps a stream of vectors through a model and writes one assignment line
// per vector (the lines of the assignments file, without its header), in
// input order, a block at a time: its memory is the model and two blocks,
// whatever the length of the input.
//
// The vectors of a block are spread over the threads in contiguous ranges;
// each thread parses, normalises and walks its own, and formats their lines,
// while (with more than one thread) the next block is read. The bytes
// written do not depend on the number of threads.
//
// One thing in training depends on the vector before: a vector whose
// distances to every unit of a map overflow the float range goes to the
// unit of the previous vector that map assigned (to unit 0,0 when there was
// none). The stream keeps that unit for every map across blocks and settles
// such vectors in input order after the threads are done, so the training
// input mapped in one stream gets the very units training gave it.
class MapStream {
 public:
  MapStream(const MappingModel& model, int threads, OutputFile& out);
  ~MapStream();

  MapStream(const MapStream&) = delete;
  MapStream& operator=(const MapStream&) = delete;

  // Maps every record of `lines`, the lines of a block parsed side by side.
  void run(VectorLines& lines);
  // Maps every record of `source`, read one at a time.
  void run(RecordSource& source);

  // The input read per block; the bytes of a block's lines.
  static constexpr size_t kBlockBytes = 4 << 20;

 private:
  // Where one vector went: its deepest map and unit there (which name its
  // whole path) and its distance to that unit; unit -1 while it is stuck in
  // `map`, where no unit lies at a finite distance.
  struct Placed {
    int map;
    int unit;
    float distance;
  };
  // One thread's share of a block, on cache lines of its own (each thread
  // writes to its own range all the time).
  struct alignas(64) Range {
    size_t begin;
    size_t end;
    size_t failedAt;  // the first record that could not be read, or none
    std::string why;
    std::string text;
  };

  const MappingModel& model_;
  int threads_;
  OutputFile& out_;
  std::vector<std::unique_ptr<HierarchyWalk>> walks_;  // one per range
  std::vector<int> lastUnit_;                          // per map: the unit of the last vector it assigned
  size_t count_ = 0;                                   // records in the block
  std::vector<float> values_;
  std::vector<std::string_view> ids_;
  std::vector<Placed> placed_;
  std::vector<Range> ranges_;

  float* row(size_t k) { return values_.data() + k * static_cast<size_t>(model_.components()); }
  // Sizes the block for `count` records and splits it into ranges.
  void prepare(size_t count);
  class Distances;
  // Normalises and walks record k on the walk of range r; its distance
  // follows when `distances` measures its batch.
  void place(size_t k, int r, Distances& distances);
  // Settles stuck vectors and writes the lines of the block up to the first
  // record that could not be read; returns why it could not be, or "".
  std::string finish();
  void settle(size_t upTo);
  void format(Range& range, size_t upTo) const;
};

// Runs work(r) for r = 0 .. count-1, each on a thread of its own but the
// first, which runs on the calling thread (and so does any the system
// cannot start a thread for).
void runRanges(int count, const std::function<void(int)>& work);

#endif
