#include "apply/mapstream.h"

#include <system_error>
#include <thread>

#include "base/failure.h"
#include "globals.h"
#include "io/outputfile.h"
#include "output/assignments.h"

namespace {

// The values of a block read one record at a time.
constexpr size_t kBlockValues = 1 << 20;
constexpr size_t kNotFailed = static_cast<size_t>(-1);

}  // namespace

void runRanges(int count, const std::function<void(int)>& work) {
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
  ranges_.resize(static_cast<size_t>(threads_));
  for (size_t r = 0; r < ranges_.size(); r++) {
    Range& range = ranges_[r];
    range.begin = count * r / ranges_.size();
    range.end = count * (r + 1) / ranges_.size();
    range.steps.clear();
    range.failedAt = kNotFailed;
    range.why.clear();
  }
}

void MapStream::place(size_t k, int r) {
  Range& range = ranges_[static_cast<size_t>(r)];
  float* x = row(k);
  model_.normalise(x);
  Placed& p = placed_[k];
  p.pathBegin = range.steps.size();
  const HierarchyWalk::End end = walks_[static_cast<size_t>(r)]->descend(x, 0, range.steps);
  p.pathLength = static_cast<int>(range.steps.size() - p.pathBegin);
  p.map = end.map;
  p.stuck = end.stuck;
  if (!end.stuck) {
    p.distance = Globals::calcQE(x, model_.map(end.map).units[static_cast<size_t>(range.steps.back())]);
  }
}

void MapStream::run(VectorLines& lines) {
  VectorLines::Block block;
  while (lines.nextBlock(block, kBlockBytes)) {
    prepare(block.lines.size());
    runRanges(threads_, [&](int r) {
      Range& range = ranges_[static_cast<size_t>(r)];
      std::string why;
      for (size_t k = range.begin; k < range.end; k++) {
        if (!VectorLines::parse(block.lines[k], model_.components(), row(k), ids_[k], why)) {
          range.failedAt = k;
          range.why = lines.where(block.firstLine + static_cast<long long>(k)) + " " + why;
          return;
        }
        place(k, r);
      }
    });
    finish();
  }
}

void MapStream::run(RecordSource& source) {
  const size_t components = static_cast<size_t>(model_.components());
  const size_t perBlock = kBlockValues / components > 0 ? kBlockValues / components : 1;
  std::vector<std::string> ids(perBlock);
  for (bool more = true; more;) {
    values_.resize(perBlock * components);
    size_t n = 0;
    while (n < perBlock && (more = source.next(ids[n], values_.data() + n * components))) {
      n++;
    }
    if (n == 0) {
      break;
    }
    prepare(n);
    for (size_t k = 0; k < n; k++) {
      ids_[k] = ids[k];
    }
    runRanges(threads_, [&](int r) {
      for (size_t k = ranges_[static_cast<size_t>(r)].begin; k < ranges_[static_cast<size_t>(r)].end; k++) {
        place(k, r);
      }
    });
    finish();
  }
}

void MapStream::finish() {
  size_t failedAt = count_;
  std::string why;
  for (const Range& range : ranges_) {
    if (range.failedAt != kNotFailed) {
      failedAt = range.failedAt;
      why = range.why;
      break;
    }
  }
  settle(failedAt);
  runRanges(threads_, [&](int r) { format(ranges_[static_cast<size_t>(r)], failedAt); });
  for (const Range& range : ranges_) {
    out_.write(range.text);
  }
  if (failedAt < count_) {
    fail(why);
  }
}

// In input order: every vector's units update the last unit of the maps it
// passed; a stuck vector takes the last unit of its stuck map and walks on
// from there, as the trainer's assignment did.
void MapStream::settle(size_t upTo) {
  for (Range& range : ranges_) {
    for (size_t k = range.begin; k < range.end && k < upTo; k++) {
      Placed& p = placed_[k];
      const size_t known = p.pathBegin;
      const size_t copied = range.steps.size();
      int map = 0;
      for (int s = 0;; s++) {
        int unit;
        if (s < p.pathLength) {
          unit = range.steps[known + static_cast<size_t>(s)];
        } else {
          unit = walks_[0]->nearest(row(k), map);
        }
        if (unit >= 0) {
          lastUnit_[static_cast<size_t>(map)] = unit;
        } else {
          unit = lastUnit_[static_cast<size_t>(map)];
        }
        if (p.stuck) {
          range.steps.push_back(unit);
        }
        const int child = model_.map(map).child[static_cast<size_t>(unit)];
        if (child < 0) {
          break;
        }
        map = child;
      }
      if (p.stuck) {
        p.pathBegin = copied;
        p.pathLength = static_cast<int>(range.steps.size() - copied);
        p.map = map;
        p.stuck = false;
        p.distance = Globals::calcQE(row(k), model_.map(map).units[static_cast<size_t>(range.steps.back())]);
      }
    }
  }
}

void MapStream::format(Range& range, size_t upTo) const {
  range.text.clear();
  std::string path;
  for (size_t k = range.begin; k < range.end && k < upTo; k++) {
    const Placed& p = placed_[k];
    path.clear();
    int map = 0;
    int unit = 0;
    for (int s = 0; s < p.pathLength; s++) {
      if (s > 0) {
        map = model_.map(map).child[static_cast<size_t>(unit)];
        path += '/';
      }
      unit = range.steps[p.pathBegin + static_cast<size_t>(s)];
      path += model_.map(map).position[static_cast<size_t>(unit)];
    }
    const MappingModel::Map& m = model_.map(map);
    Assignments::appendLine(range.text, ids_[k], m.gid, m.level, unit % m.columns, unit / m.columns, p.distance,
                            path);
  }
}
