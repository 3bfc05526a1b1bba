#include "apply/mapstream.h"

#include <algorithm>

#include "apply/mapprogress.h"
#include "base/failure.h"
#include "base/warning.h"
#include "io/inputfailure.h"
#include "io/outputfile.h"
#include "output/assignments.h"

namespace {

// The values and the records of a block read one record at a time.
constexpr size_t kBlockValues = 1 << 20;
constexpr size_t kBlockRecords = 1 << 16;

// Why a record cannot be walked: LENGTH cannot scale it to length 1.
std::string lengthFailure(const std::string& where, std::string_view id, SquaredLength trouble) {
  return where + " (" + escapedInput(id) + ") cannot be scaled to length 1 (LENGTH): the sum of its squares lies " +
         (trouble == SquaredLength::Overflows ? "beyond the float range" : "below the normal float range");
}

}  // namespace

MapStream::MapStream(const MappingModel& model, Workers& team, OutputFile& out)
    : model_(model), placer_(model, team), out_(out) {
  lenient_.resize(static_cast<size_t>(placer_.threads()));
}

MapStream::~MapStream() = default;

void MapStream::prepare(size_t count) {
  values_.resize(count * static_cast<size_t>(model_.components()));
  ids_.resize(count);
}

size_t MapStream::recordsPerBlock(int components) {
  return std::max<size_t>(1, std::min(kBlockRecords, kBlockValues / static_cast<size_t>(components)));
}

void MapStream::run(VectorLines& lines) {
  lines.start();
  VectorLines::Block blocks[2];
  bool more = lines.nextBlock(blocks[0], kBlockBytes);
  size_t unwritten = 0;  // lines of the block before, formatted and not yet written
  for (int current = 0; more; current = 1 - current) {
    VectorLines::Block& block = blocks[current];
    // One member writes the block before and reads the next one while the
    // others place this one: reading and writing, which wait for the
    // system, overlap the placing.
    bool next = false, written = true;
    const auto readNext = [&] {
      written = tryFlush(unwritten);
      next = lines.nextBlock(blocks[1 - current], kBlockBytes);
    };
    prepare(block.lines.size());
    const auto lineOf = [&](size_t k) { return block.firstLine + static_cast<long long>(k); };
    const BlockPlacer::Outcome outcome = placer_.place(
        values_.data(), block.lines.size(),
        [&](size_t k, float* row, int t, std::string& why) {
          return VectorLines::parse(block.lines[k], lineOf(k), model_.components(), lines.strict(), row, ids_[k],
                                    lenient_[static_cast<size_t>(t)], why);
        },
        placed_, readNext);
    if (!written) out_.failWritten();
    format(outcome.placed);
    unwritten = outcome.placed;
    for (VectorLines::Lenient& lenient : lenient_) {
      lines.addLenient(lenient);
      lenient = {};
    }
    if (outcome.placed < block.lines.size()) {
      flush(unwritten);
      const long long line = lineOf(outcome.placed);
      fail(outcome.why.empty() ? lengthFailure(lines.where(line), ids_[outcome.placed], outcome.length)
                               : lines.failureAt(line, outcome.why));
    }
    more = next;
  }
  flush(unwritten);
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
    // The values are in place already.
    const BlockPlacer::Outcome outcome = placer_.place(
        values_.data(), n, [](size_t, float*, int, std::string&) { return true; }, placed_);
    format(outcome.placed);
    flush(outcome.placed);
    if (outcome.placed < n) {
      fail(lengthFailure(source.where(lines_[outcome.placed]), ids_[outcome.placed], outcome.length));
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

// Each chunk's text keeps its room from block to block: a block's worth of
// text allocated and freed each time costs the system more than the
// formatting.
void MapStream::format(size_t count) {
  const size_t chunks = placer_.chunkCount(count);
  if (texts_.size() < chunks) texts_.resize(chunks);
  formatted_ = chunks;
  placer_.forEachChunk(count, [&](size_t begin, size_t end, int, size_t chunk) {
    std::string& text = texts_[chunk];
    text.clear();
    std::string path;
    for (size_t k = begin; k < end; k++) {
      const BlockPlacer::Placed& p = placed_[k];
      path.clear();
      model_.appendPath(path, p.map, p.unit);
      Assignments::appendLine(text, ids_[k], model_.map(p.map).unitPart[static_cast<size_t>(p.unit)], p.distance, path);
    }
  });
}

bool MapStream::tryFlush(size_t count) {
  bool written = true;
  for (size_t chunk = 0; chunk < formatted_ && written; chunk++) {
    written = out_.tryWrite(texts_[chunk]);
  }
  formatted_ = 0;
  if (written && count > 0 && progress_ != nullptr) progress_->mapped(count);
  return written;
}

void MapStream::flush(size_t count) {
  if (!tryFlush(count)) out_.failWritten();
}
