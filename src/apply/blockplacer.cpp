#include "apply/blockplacer.h"

#include <algorithm>
#include <atomic>
#include <mutex>

#include "base/workers.h"
#include "globals.h"
#include "kernels/distancekernels.h"

namespace {

// The fewest vectors worth a chunk of their own.
constexpr size_t kLeastChunk = 256;

}  // namespace

// The distances of placed vectors to their units, measured a batch at a
// time: four exact chains side by side are much faster than one.
class BlockPlacer::Distances {
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

BlockPlacer::BlockPlacer(const MappingModel& model, Workers& team) : model_(model), team_(team) {
  for (int t = 0; t < team.size(); t++) {
    walks_.push_back(std::make_unique<HierarchyWalk>(model));
  }
  lastUnit_.assign(static_cast<size_t>(model.mapCount()), 0);
}

BlockPlacer::~BlockPlacer() = default;

int BlockPlacer::threads() const { return team_.size(); }

// One job on the team: the first part runs `alongside`, each other part takes
// chunks while there are any left (its index names its walk and the like:
// no two parts run at once under one index).
size_t BlockPlacer::chunkCount(size_t count) const {
  // Enough chunks for the threads to even out, each large enough to be worth taking.
  return std::max<size_t>(1, std::min(count / kLeastChunk, static_cast<size_t>(team_.size()) * 16));
}

void BlockPlacer::forEachChunk(size_t count, const std::function<void(size_t, size_t, int, size_t)>& work,
                               const std::function<void()>& alongside) {
  const size_t chunks = chunkCount(count);
  const int takers = std::min<int>(team_.size(), static_cast<int>(chunks));
  const int first = alongside ? 1 : 0;
  std::atomic<size_t> next{0};
  team_.run(first + takers, static_cast<long long>(count), [&](int p) {
    if (p < first) {
      alongside();
      return;
    }
    for (size_t c; (c = next.fetch_add(1)) < chunks;) {
      work(count * c / chunks, count * (c + 1) / chunks, p - first, c);
    }
  });
}

BlockPlacer::Outcome BlockPlacer::place(float* values, size_t count, const Fill& fill, std::vector<Placed>& placed,
                                        const std::function<void()>& alongside) {
  placed.resize(count);
  const size_t components = static_cast<size_t>(model_.components());
  Outcome outcome{count, "", SquaredLength::Fine};
  std::mutex failed;  // guards `outcome` when a vector fails
  const auto failAt = [&](size_t k, std::string why, SquaredLength length) {
    std::lock_guard<std::mutex> lock(failed);
    if (k < outcome.placed) outcome = {k, std::move(why), length};
  };
  forEachChunk(
      count,
      [&](size_t begin, size_t end, int t, size_t) {
        Distances distances(placed, model_.components());
        std::string why;
        for (size_t k = begin; k < end; k++) {
          float* x = values + k * components;
          if (!fill(k, x, t, why)) {
            return failAt(k, why, SquaredLength::Fine);
          }
          const SquaredLength length = model_.normalise(x);
          if (length != SquaredLength::Fine) {
            return failAt(k, "", length);
          }
          const HierarchyWalk::End end = walks_[static_cast<size_t>(t)]->descend(x, 0);
          placed[k] = {end.map, end.unit, 0.0f};
          if (end.unit >= 0) {
            distances.add(k, x, model_.map(end.map).units[static_cast<size_t>(end.unit)]);
          }
        }
      },
      alongside);
  settle(values, placed, outcome.placed);
  return outcome;
}

// In input order: every vector's units are the last of the maps it passed;
// a stuck vector takes the last unit of its stuck map and walks on from
// there, as the trainer's assignment did.
void BlockPlacer::settle(const float* values, std::vector<Placed>& placed, size_t upTo) {
  const size_t components = static_cast<size_t>(model_.components());
  for (size_t k = 0; k < upTo; k++) {
    Placed& p = placed[k];
    for (int map = p.map; model_.map(map).parent >= 0; map = model_.map(map).parent) {
      lastUnit_[static_cast<size_t>(model_.map(map).parent)] = model_.map(map).parentUnit;
    }
    if (p.unit >= 0) {
      lastUnit_[static_cast<size_t>(p.map)] = p.unit;
      continue;
    }
    const float* x = values + k * components;
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
