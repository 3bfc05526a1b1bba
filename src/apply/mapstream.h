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

class MapProgress;
class OutputFile;

// Maps a stream of vectors through a model and writes one assignment line
// per vector (the lines of the assignments file, without its header), in
// input order, a block at a time: its memory is the model and two blocks,
// whatever the length of the input.
//
// A block is cut into chunks of consecutive vectors, which the threads take
// one after the other as they get free (so a thread slowed down by other
// work takes fewer): each parses, normalises and walks the vectors of its
// chunk, and later formats their lines, while (with more than one thread)
// the next block is read. The bytes written do not depend on the number of
// threads.
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

  // Tells `progress` of every block written (nullptr: nobody).
  void reportTo(MapProgress* progress) { progress_ = progress; }

  // Maps every record of `lines`, the lines of a block parsed side by side.
  // Warns about values that are not numbers once the input is read.
  void run(VectorLines& lines);
  // Maps every record of `source`, read one at a time, then warns of its
  // slips, if any.
  void run(RecordSource& source);
  // Either way, a record that cannot be read or normalised ends the run with
  // its line after the lines of the records before it have been written.

  // The input read per block; the bytes of a block's lines.
  static constexpr size_t kBlockBytes = 4 << 20;
  // The records per block read one at a time, of `components` values each.
  static size_t recordsPerBlock(int components);

 private:
  // Where one vector went: its deepest map and unit there (which name its
  // whole path) and its distance to that unit; unit -1 while it is stuck in
  // `map`, where no unit lies at a finite distance.
  struct Placed {
    int map;
    int unit;
    float distance;
  };
  // A chunk of a block, on cache lines of its own (the thread that has it
  // writes to it all the time).
  struct alignas(64) Chunk {
    size_t begin;
    size_t end;
    size_t failedAt;  // the first record that could not be read, or none
    std::string why;
    std::string text;
    VectorLines::Lenient lenient;  // its values that are not numbers
  };

  const MappingModel& model_;
  int threads_;
  OutputFile& out_;
  MapProgress* progress_ = nullptr;
  std::vector<std::unique_ptr<HierarchyWalk>> walks_;  // one per thread
  std::vector<int> lastUnit_;                          // per map: the unit of the last vector it assigned
  size_t count_ = 0;                                   // records in the block
  std::vector<float> values_;
  std::vector<std::string_view> ids_;
  std::vector<long long> lines_;  // records read one at a time: the line of each
  std::vector<Placed> placed_;
  std::vector<Chunk> chunks_;

  float* row(size_t k) { return values_.data() + k * static_cast<size_t>(model_.components()); }
  // Sizes the block for `count` records and cuts it into chunks.
  void prepare(size_t count);
  // Runs work(chunk, thread) for every chunk, on the threads.
  void forEachChunk(const std::function<void(Chunk&, int)>& work);
  class Distances;
  // Normalises and walks record k on the walk of thread t; its distance
  // follows when `distances` measures its batch. A record that cannot be
  // normalised is not walked: the trouble is returned.
  SquaredLength place(size_t k, int t, Distances& distances);
  // Settles stuck vectors and writes the lines of the block up to the first
  // record that could not be read; returns why it could not be, or "".
  std::string finish();
  void settle(size_t upTo);
  static void warnOfSlips(const RecordSource& source);
  void format(Chunk& chunk, size_t upTo) const;
};

// Runs work(t) for t = 0 .. count-1, each on a thread of its own but the
// first, which runs on the calling thread (and so does any the system
// cannot start a thread for).
void runOnThreads(int count, const std::function<void(int)>& work);

#endif
