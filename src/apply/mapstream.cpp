#include "apply/mapstream.h"

#include <algorithm>
#include <atomic>
#include <optional>
#include <system_error>
#include <thread>

#include "apply/mapprogress.h"
#include "base/failure.h"
#include "base/warning.h"
#include "globals.h"
#include "io/inputfailure.h"
#include "io/outputfile.h"
#include "kernels/distancekernels.h"
#include "output/assignments.h"

namespace {

// The values and the records of a block read one record at a time.
constexpr size_t kBlockValues = 1 << 20;
constexpr size_t kBlockRecords = 1 << 16;
constexpr size_t kNotFailed = static_cast<size_t>(-1);
// The fewest vectors worth a chunk of their own.
constexpr size_t kLeastChunk = 256;

// Why a record cannot be walked: LENGTH cannot scale it to length 1.
std::string lengthFailure(const std::string& where, std::string_view id, SquaredLength trouble) {
  return where + " (" + escapedInput(id) + ") cannot be scaled to length 1 (LENGTH): the sum of its squares lies " +
         (trouble == SquaredLength::Overflows ? "beyond the float range" : "below the normal float range");
}

}  // namespace

void runOnThreads(int count, const std::function<void(int)>& work) {
  std::vector<std::thread> started;
  for (int r = 1; r < count; r++) {
    try {
      started.emplace_back(work, r);
    } catch (const std::system_error&) {
      work(r);
    }
  }
  if (count > 0) {
    work(0);
  }
  for (std::thread& t : started) {
    t.join();
  }
}

MapStream::MapStream(const MappingModel& model, int threads, OutputFile& out)
    : model_(model), threads_(threads > 0 ? threads : 1), out_(out) {
  for (int t = 0; t < threads_; t++) {
    walks_.push_back(std::make_unique<HierarchyWalk>(model));
  }
  lastUnit_.assign(static_cast<size_t>(model.mapCount()), 0);
}

MapStream::~MapStream() = default;

void MapStream::prepare(size_t count) {
  count_ = count;
  values_.resize(count * static_cast<size_t>(model_.components()));
  ids_.resize(count);
  placed_.resize(count);
  // Enough chunks for the threads to even out, each large enough to be worth taking.
  const size_t chunks = std::max<size_t>(1, std::min(count / kLeastChunk, static_cast<size_t>(threads_) * 16));
  chunks_.resize(chunks);
  for (size_t c = 0; c < chunks; c++) {
    Chunk& chunk = chunks_[c];
    chunk.begin = count * c / chunks;
    chunk.end = count * (c + 1) / chunks;
    chunk.failedAt = kNotFailed;
    chunk.why.clear();
    chunk.lenient = {};
  }
}

size_t MapStream::recordsPerBlock(int components) {
  return std::max<size_t>(1, std::min(kBlockRecords, kBlockValues / static_cast<size_t>(components)));
}

void MapStream::forEachChunk(const std::function<void(Chunk&, int)>& work) {
  std::atomic<size_t> next{0};
  runOnThreads(threads_, [&](int t) {
    for (size_t c; (c = next.fetch_add(1)) < chunks_.size();) {
      work(chunks_[c], t);
    }
  });
}

// The distances of placed vectors to their units, measured a batch at a
// time: four exact chains side by side are much faster than one.
class MapStream::Distances {
 public:
  Distances(std::vector<Placed>& placed, int components) : placed_(placed), components_(components) {}
  ~Distances() { measure(); }

  void add(size_t k, const float* x, const float* unit) {
    vectors_[count_] = x;
    units_[count_] = unit;
    records_[count_] = k;
    if (++count_ == kBatch) {
      measure();
    }
  }

 private:
  static constexpr int kBatch = 64;
  std::vector<Placed>& placed_;
  int components_;
  int count_ = 0;
  const float* vectors_[kBatch];
  const float* units_[kBatch];
  size_t records_[kBatch];
  float out_[kBatch];

  void measure() {
    kernels::exactDistancePairs(vectors_, units_, count_, components_, out_);
    for (int i = 0; i < count_; i++) {
      placed_[records_[i]].distance = out_[i];
    }
    count_ = 0;
  }
};

SquaredLength MapStream::place(size_t k, int t, Distances& distances) {
  float* x = row(k);
  const SquaredLength length = model_.normalise(x);
  if (length != SquaredLength::Fine) {
    return length;
  }
  const HierarchyWalk::End end = walks_[static_cast<size_t>(t)]->descend(x, 0);
  placed_[k] = {end.map, end.unit, 0.0f};
  if (end.unit >= 0) {
    distances.add(k, x, model_.map(end.map).units[static_cast<size_t>(end.unit)]);
  }
  return SquaredLength::Fine;
}

void MapStream::run(VectorLines& lines) {
  lines.start();
  VectorLines::Block blocks[2];
  bool more = lines.nextBlock(blocks[0], kBlockBytes);
  for (int current = 0; more; current = 1 - current) {
    VectorLines::Block& block = blocks[current];
    // With threads to spare, the next block is read while this one is mapped.
    bool next = false;
    const auto readNext = [&] { next = lines.nextBlock(blocks[1 - current], kBlockBytes); };
    std::optional<std::thread> reader;
    if (threads_ > 1) {
      try {
        reader.emplace(readNext);
      } catch (const std::system_error&) {
      }
    }
    prepare(block.lines.size());
    forEachChunk([&](Chunk& chunk, int t) {
      Distances distances(placed_, model_.components());
      std::string why;
      for (size_t k = chunk.begin; k < chunk.end; k++) {
        const long long line = block.firstLine + static_cast<long long>(k);
        if (!VectorLines::parse(block.lines[k], line, model_.components(), lines.strict(), row(k), ids_[k],
                                chunk.lenient, why)) {
          chunk.failedAt = k;
          chunk.why = lines.failureAt(line, why);
          return;
        }
        const SquaredLength length = place(k, t, distances);
        if (length != SquaredLength::Fine) {
          chunk.failedAt = k;
          chunk.why = lengthFailure(lines.where(line), ids_[k], length);
          return;
        }
      }
    });
    const std::string failure = finish();
    if (reader) {
      reader->join();
    } else {
      readNext();
    }
    for (const Chunk& chunk : chunks_) {
      lines.addLenient(chunk.lenient);
    }
    if (!failure.empty()) {
      fail(failure);
    }
    more = next;
  }
  if (lines.readFailed()) {
    fail(lines.readFailure());
  }
  warnOfSlips(lines);
}

void MapStream::run(RecordSource& source) {
  const size_t components = static_cast<size_t>(model_.components());
  const size_t perBlock = recordsPerBlock(model_.components());
  std::vector<std::string> ids(perBlock);
  lines_.resize(perBlock);
  for (bool more = true; more;) {
    values_.resize(perBlock * components);
    size_t n = 0;
    while (n < perBlock && (more = source.next(ids[n], values_.data() + n * components))) {
      lines_[n++] = source.lastLine();
    }
    if (n == 0) {
      break;
    }
    prepare(n);
    for (size_t k = 0; k < n; k++) {
      ids_[k] = ids[k];
    }
    forEachChunk([&](Chunk& chunk, int t) {
      Distances distances(placed_, model_.components());
      for (size_t k = chunk.begin; k < chunk.end; k++) {
        const SquaredLength length = place(k, t, distances);
        if (length != SquaredLength::Fine) {
          chunk.failedAt = k;
          chunk.why = lengthFailure(source.where(lines_[k]), ids_[k], length);
          return;
        }
      }
    });
    const std::string failure = finish();
    if (!failure.empty()) {
      fail(failure);
    }
  }
  if (!source.failure().empty()) {
    fail(source.failure());
  }
  warnOfSlips(source);
}

void MapStream::warnOfSlips(const RecordSource& source) {
  const std::string slips = source.slips();
  if (!slips.empty()) {
    warn(slips);
  }
}

std::string MapStream::finish() {
  size_t failedAt = count_;
  std::string why;
  for (const Chunk& chunk : chunks_) {
    if (chunk.failedAt != kNotFailed) {
      failedAt = chunk.failedAt;
      why = chunk.why;
      break;
    }
  }
  settle(failedAt);
  forEachChunk([&](Chunk& chunk, int) { format(chunk, failedAt); });
  for (const Chunk& chunk : chunks_) {
    out_.write(chunk.text);
  }
  if (progress_ != nullptr) progress_->mapped(failedAt);
  return why;
}

// In input order: every vector's units are the last of the maps it passed;
// a stuck vector takes the last unit of its stuck map and walks on from
// there, as the trainer's assignment did.
void MapStream::settle(size_t upTo) {
  for (size_t k = 0; k < upTo; k++) {
    Placed& p = placed_[k];
    for (int map = p.map; model_.map(map).parent >= 0; map = model_.map(map).parent) {
      lastUnit_[static_cast<size_t>(model_.map(map).parent)] = model_.map(map).parentUnit;
    }
    if (p.unit >= 0) {
      lastUnit_[static_cast<size_t>(p.map)] = p.unit;
      continue;
    }
    const float* x = row(k);
    int map = p.map;
    int unit = lastUnit_[static_cast<size_t>(map)];
    for (int child; (child = model_.map(map).child[static_cast<size_t>(unit)]) >= 0;) {
      map = child;
      unit = walks_[0]->nearest(x, map);
      if (unit >= 0) {
        lastUnit_[static_cast<size_t>(map)] = unit;
      } else {
        unit = lastUnit_[static_cast<size_t>(map)];
      }
    }
    p = {map, unit, Globals::calcQE(x, model_.map(map).units[static_cast<size_t>(unit)])};
  }
}

void MapStream::format(Chunk& chunk, size_t upTo) const {
  chunk.text.clear();
  std::string path;
  for (size_t k = chunk.begin; k < chunk.end && k < upTo; k++) {
    const Placed& p = placed_[k];
    path.clear();
    model_.appendPath(path, p.map, p.unit);
    Assignments::appendLine(chunk.text, ids_[k], model_.map(p.map).unitPart[static_cast<size_t>(p.unit)],
                            p.distance, path);
  }
}
