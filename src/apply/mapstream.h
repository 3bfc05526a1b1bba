#ifndef VELMAR_APPLY_MAPSTREAM_H
#define VELMAR_APPLY_MAPSTREAM_H

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "apply/blockplacer.h"
#include "apply/hierarchywalk.h"
#include "io/recordsource.h"
#include "io/vectorlines.h"

class MapProgress;
class Workers;
class OutputFile;

// Maps a stream of vectors through a model and writes one assignment line
// per vector (the lines of the assignments file, without its header), in
// input order, a block at a time: its memory is the model and two blocks,
// whatever the length of the input.
//
// The vectors of a block are placed by a BlockPlacer (on a team of threads,
// settled in input order across blocks, so the training input mapped in one
// stream gets the very units training gave it), while one member of the team
// reads the next block; then the team formats their lines. The bytes
// written do not depend on the number of threads.
class MapStream {
 public:
  // Maps on `team`, which must outlive the stream.
  MapStream(const MappingModel& model, Workers& team, OutputFile& out);
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
  const MappingModel& model_;
  BlockPlacer placer_;
  OutputFile& out_;
  MapProgress* progress_ = nullptr;
  std::vector<float> values_;
  std::vector<std::string_view> ids_;
  std::vector<long long> lines_;  // records read one at a time: the line of each
  std::vector<BlockPlacer::Placed> placed_;
  std::vector<VectorLines::Lenient> lenient_;  // per thread: its values that are not numbers
  std::vector<std::string> texts_;             // per chunk: its output lines
  size_t formatted_ = 0;                       // chunks of texts_ formatted and not yet written

  // Sizes the block for `count` records.
  void prepare(size_t count);
  // The threads format the output lines of the first `count` vectors of
  // the block, chunk by chunk, into texts_.
  void format(size_t count);
  // Writes the formatted lines (of `count` vectors) in order and reports
  // them; tryFlush only returns false when the output cannot be written,
  // flush ends the run then.
  bool tryFlush(size_t count);
  void flush(size_t count);
  static void warnOfSlips(const RecordSource& source);
};

#endif
