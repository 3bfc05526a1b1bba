#include "training/trainingengine.h"

#include <algorithm>
#include <cmath>

#include "base/interrupt.h"
#include "base/workers.h"
#include "kernels/distancekernels.h"

namespace {

// A winner search starts above every finite distance: a vector whose
// distances all overflow the float range keeps the winner passed in.
const float kSearchStart = WinnerSearch::kAboveEveryDistance;

// A training step's moves are shared out over the team when they take at
// least this many unit-components per thread.
const long long kMovePartWork = 8000;
// Assigning all vectors is shared out when it takes at least this many
// unit-components (products or squared differences) per thread.
const long long kAssignPartWork = 200000;
// Vectors are assigned in chunks of this many (their units found side by side, then handed over in order).
const int kAssignChunk = 8192;
// The work of a sparse search per unit in an assignment, in unit-components.
const long long kSparseSearchWork = 64;

// The sparse search saves the rough distances' work on the components a
// vector leaves out, but the moves then keep each unit's length, which
// costs them more: it pays only when the vectors list a small share of
// their components (bench/README.md, "The sparse search's share").
const double kSparseSearchShare = 0.05;

// Whether a move towards a sparse vector listing `listed` of n components
// goes block by block (moveSparse: blocks the vector leaves out moved
// towards +0 with fewer conversions, or skipped) rather than towards its
// values spread into a row (moveMeasured): when most blocks list nothing;
// otherwise the blocks' changing kinds cost more than they save.
bool movesBlockwise(int listed, int n) { return static_cast<long long>(listed) * kernels::kSkipBlock * 4 <= n; }

// Where a unit's weights are cut in two for its length (kept as the sum of
// the two halves' lengths, so that two threads can move one unit), or 0 for
// units too short to cut (each half's own sum would cost more than sharing
// their move gives). A multiple of the kernels' skip block.
int lengthSplit(int components) {
  return components >= 128 * kernels::kSkipBlock ? components / (2 * kernels::kSkipBlock) * kernels::kSkipBlock : 0;
}

}  // namespace

TrainingEngine::TrainingEngine(int components, bool sparseSearch, Workers& team, Influence influence)
    : components(components), keepsLengths(sparseSearch), team(team), influence(influence), search(components) {}

TrainingEngine::~TrainingEngine() = default;

bool TrainingEngine::sparseSearchPays(int count, int components, const std::function<int(int k)>& listedOf) {
  if (count <= 0) return false;
  const double most = kSparseSearchShare * components * static_cast<double>(count);
  double listed = 0.0;
  bool anySparse = false;
  // Ends as soon as the share is reached: on dense vectors after a few percent of them.
  for (int k = 0; k < count && listed < most; k++) {
    const int listedHere = listedOf(k);
    anySparse = anySparse || listedHere >= 0;
    listed += listedHere >= 0 ? listedHere : components;
  }
  return anySparse && listed < most;
}

// ---- The grid and the team ----

void TrainingEngine::prepare(int inColumns, int inRows, const std::function<float*(int column, int row)>& weightsAt) {
  if (inColumns != columns || inRows != rows) influenceRadius = -1;
  columns = inColumns;
  rows = inRows;
  dotsFor = nullptr;  // the grid or the weights may have changed
  const size_t count = static_cast<size_t>(units());
  search.reserve(units());
  if (count > scanWeights.size()) {
    scanWeights.resize(count);
    moving.weights.resize(count);
    moving.factors.resize(count);
    moving.slots.resize(count);
  }
  for (int j = 0; j < rows; j++) {
    for (int i = 0; i < columns; i++) scanWeights[static_cast<size_t>(j) * columns + i] = weightsAt(i, j);
  }
  if (!keepsLengths) return;
  scanLengths.resize(count);
  const kernels::KernelTable& k = kernels::active();
  const int half = lengthSplit(components);
  for (size_t s = 0; s < count; s++) {
    const float* w = scanWeights[s];
    scanLengths[s] = half > 0 ? k.measure(w, half) + k.measure(w + half, components - half) : k.measure(w, components);
  }
}

int TrainingEngine::partsFor(long long work, long long perPart) const {
  if (work < 2 * perPart) return 1;  // the common case of a training step, without a division
  const long long parts = work / perPart;
  const long long members = team.size();
  return static_cast<int>(parts < members ? parts : members);
}

template <class Body>
void TrainingEngine::inRanges(int count, int parts, long long work, const Body& body) {
  if (parts <= 1) {
    body(0, 0, count);
    return;
  }
  team.run(parts, work, [&](int p) {
    body(p, static_cast<int>(static_cast<long long>(count) * p / parts),
         static_cast<int>(static_cast<long long>(count) * (p + 1) / parts));
  });
}

void TrainingEngine::forEachUnit(long long work, const std::function<void(int unit)>& body) {
  inRanges(units(), partsFor(work, kAssignPartWork), work, [&](int, int first, int end) {
    for (int s = first; s < end; s++) body(s);
  });
}

// ---- Winners ----

int TrainingEngine::nearest(const TrainingInput& x, int current) { return nearestWith(search, x, current, true); }

int TrainingEngine::nearestWith(WinnerSearch& searcher, const TrainingInput& x, int current, bool shared) {
  const int count = units();
  const bool listed = x.isSparse && keepsLengths;
  if (listed && shared && dotsFor != nullptr && dotsFor == x.entries.index) {
    return searcher.findFromDots(scanWeights.data(), scanLengths.data(), nextDots.data(), count, x.entries,
                                 x.squaredLength, kSearchStart, current);
  }
  Workers* sharing =
      shared && WinnerSearch::worthSharing(count, listed ? x.entries.count : components) ? &team : nullptr;
  if (listed) {
    return searcher.find(scanWeights.data(), scanLengths.data(), count, x.entries, x.squaredLength, kSearchStart,
                         current, sharing);
  }
  if (x.isSparse) {
    return searcher.findDensified(scanWeights.data(), count, x.entries, kSearchStart, current, sharing);
  }
  return searcher.find(scanWeights.data(), count, x.dense, kSearchStart, current, sharing);
}

// Every vector's nearest unit is found on its own (the team's members each
// take a range of a chunk of vectors), then the chunk's vectors are handed
// over in order, each keeping the winner of the one before when no unit lies
// at a finite distance.
void TrainingEngine::assignAll(int count, const std::function<TrainingInput(int k)>& inputAt,
                               const std::function<void(int k, int unit)>& place) {
  const long long perVector = static_cast<long long>(units()) * (keepsLengths ? kSparseSearchWork : components);
  const int chunk = count < kAssignChunk ? count : kAssignChunk;
  const int parts = partsFor(perVector * chunk, kAssignPartWork);
  readyTeamSearches(parts);
  nearestOfChunk.resize(static_cast<size_t>(chunk));
  int winner = 0;
  for (int base = 0; base < count; base += chunk) {
    failIfStopRequested();
    const int size = count - base < chunk ? count - base : chunk;
    inRanges(size, parts, perVector * size, [&](int p, int first, int end) {
      WinnerSearch& searcher = parts == 1 ? search : *teamSearches[static_cast<size_t>(p)];
      for (int k = first; k < end; k++) {
        nearestOfChunk[static_cast<size_t>(k)] = nearestWith(searcher, inputAt(base + k), -1, false);
      }
    });
    for (int k = 0; k < size; k++) {
      if (nearestOfChunk[static_cast<size_t>(k)] >= 0) winner = nearestOfChunk[static_cast<size_t>(k)];
      place(base + k, winner);
    }
  }
}

// Each member its own search (the engine's own when one part does it all),
// made ready here: a part must not allocate.
void TrainingEngine::readyTeamSearches(int parts) {
  if (parts <= 1) return;
  while (static_cast<int>(teamSearches.size()) < parts) {
    teamSearches.push_back(std::make_unique<WinnerSearch>(components));
  }
  for (int p = 0; p < parts; p++) teamSearches[static_cast<size_t>(p)]->reserve(units());
}

// ---- Moves ----

void TrainingEngine::moveWindow(int column, int row, int radius, float rate, const TrainingInput& x,
                                const TrainingInput* next) {
  listWindow(column, row, radius, rate);
  dotsFor = nullptr;  // the weights change
  // Dense vectors on a map that keeps no lengths (the common step) move
  // towards their own values; the others go through moveUnits.
  if (!keepsLengths && !x.isSparse) return movePlain(x.dense, sharesMoves());
  moveUnits(x, next);
}

void TrainingEngine::listWindow(int column, int row, int radius, float rate) {
  const long long r = radius;
  const int firstColumn = static_cast<int>(column - r > 0 ? column - r : 0);
  const int lastColumn = static_cast<int>(column + r < columns - 1 ? column + r : columns - 1);
  const int firstRow = static_cast<int>(row - r > 0 ? row - r : 0);
  const int lastRow = static_cast<int>(row + r < rows - 1 ? row + r : rows - 1);
  refreshInfluences(radius);
  const double stepRate = static_cast<double>(rate);  // the step factor: rate times the influence
  int count = 0;
  for (int j = firstRow; j <= lastRow; j++) {
    const float* influenceAt = influenceRow(row > j ? row - j : j - row);
    for (int i = firstColumn; i <= lastColumn; i++) {
      const int slot = j * columns + i;
      moving.weights[static_cast<size_t>(count)] = scanWeights[static_cast<size_t>(slot)];
      moving.factors[static_cast<size_t>(count)] =
          stepRate * static_cast<double>(influenceAt[column > i ? column - i : i - column]);
      moving.slots[static_cast<size_t>(count)] = slot;
      count++;
    }
  }
  moving.count = count;
}

// The influence depends only on the offset and the radius: worked out once
// per radius (and grid) instead of once per unit and step.
void TrainingEngine::refreshInfluences(int radius) {
  if (influenceRadius == radius) return;
  influences.resize(static_cast<size_t>(columns) * static_cast<size_t>(rows));
  for (long long dy = 0; dy < rows; dy++) {
    for (long long dx = 0; dx < columns; dx++) {
      const float dist = static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
      influences[static_cast<size_t>(dy * columns + dx)] = influence(dist, radius);
    }
  }
  influenceRadius = radius;
}

// Shared out by where the weights lie: a unit (for the lengths, each half
// of a unit) is always moved by the same member of the team, so its
// weights stay in the caches of that member's core from step to step.
bool TrainingEngine::sharesMoves() const {
  return partsFor(static_cast<long long>(moving.count) * components, kMovePartWork) > 1 || teamMovesEveryStep();
}

void TrainingEngine::moveUnits(const TrainingInput& x, const TrainingInput* next) {
  const int n = components;
  const bool shared = sharesMoves();
  const int members = shared ? team.size() : 1;
  // A sparse vector is moved towards block by block (see movesBlockwise),
  // or its values are spread into a row kept +0 between steps.
  const bool blockwise = keepsLengths && x.isSparse && movesBlockwise(x.entries.count, n);
  // The row exists whenever a sparse vector is spread, even one that lists
  // nothing (all +0): the kernels read all n of its values.
  const bool spread = x.isSparse && !blockwise;
  const SparseEntries listed = spread ? x.entries : SparseEntries{0, nullptr, nullptr};
  if (spread && denseRow.size() != static_cast<size_t>(n)) denseRow.assign(static_cast<size_t>(n), 0.0f);
  for (int j = 0; j < listed.count; j++) denseRow[static_cast<size_t>(listed.index[j])] = listed.value[j];
  const float* values = spread ? denseRow.data() : (blockwise ? nullptr : x.dense);
  if (!keepsLengths) {
    movePlain(values, shared);
  } else {
    moveMeasuring(x, blockwise, values, members, next);
  }
  for (int j = 0; j < listed.count; j++) denseRow[static_cast<size_t>(listed.index[j])] = 0.0f;
}

void TrainingEngine::movePlain(const float* values, bool shared) {
  const kernels::KernelTable& k = kernels::active();
  const int n = components;
  const int count = moving.count;
  // Alone, the units go to the kernel together (moved in pairs that share the loads of the vector).
  auto alone = [&] { k.moveUnits(moving.weights.data(), moving.factors.data(), count, values, n); };
  if (!shared) return alone();
  const int members = team.size();
  auto move = [&](int member) {
    for (int u = 0; u < count; u++) {
      if (moving.slots[static_cast<size_t>(u)] % members == member) {
        k.moveTowards(moving.weights[static_cast<size_t>(u)], values, moving.factors[static_cast<size_t>(u)], n);
      }
    }
  };
  team.runOnEach(static_cast<long long>(count) * n, move, alone);
}

bool TrainingEngine::teamMovesEveryStep() const {
  return keepsLengths && lengthSplit(components) > 0 && team.size() > 1;
}

void TrainingEngine::moveMeasuring(const TrainingInput& x, bool blockwise, const float* values, int members,
                                   const TrainingInput* next) {
  // Each unit's length is refreshed in the pass that moves it: the two halves
  // of a long unit apart (whatever the number of threads), then their sum.
  MeasuredStep step{lengthSplit(components),
                    1,
                    blockwise,
                    values,
                    {0, nullptr, nullptr},
                    {0, nullptr, nullptr},
                    members > 1 && next != nullptr && next->isSparse,
                    next};
  step.pieces = step.half > 0 ? 2 : 1;
  if (step.dots) reserveDots(step.pieces, members);
  if (blockwise) cutEntries(x.entries, step);
  pieceLengths.resize(static_cast<size_t>(moving.count) * step.pieces);
  // A step the caller runs alone moves as one thread does: the next search works out its own dots.
  bool alone = members == 1;
  if (alone) {
    movePieces(step, 0, 1);
  } else {
    team.runOnEach(
        static_cast<long long>(moving.count) * components, [&](int m) { movePieces(step, m, members); },
        [&] {
          alone = true;
          movePieces(step, 0, 1);
        });
  }
  if (step.dots && !alone) gatherDots(step.pieces, members, *next);
  for (int u = 0; u < moving.count; u++) {
    const double* piece = &pieceLengths[static_cast<size_t>(u) * step.pieces];
    scanLengths[static_cast<size_t>(moving.slots[static_cast<size_t>(u)])] =
        step.pieces == 2 ? piece[0] + piece[1] : piece[0];
  }
}

void TrainingEngine::cutEntries(const SparseEntries& x, MeasuredStep& step) {
  const int cutAt = step.half > 0 ? step.half : components;
  const int low = static_cast<int>(std::lower_bound(x.index, x.index + x.count, cutAt) - x.index);
  shiftedIndex.resize(static_cast<size_t>(x.count - low));
  for (int j = low; j < x.count; j++) shiftedIndex[static_cast<size_t>(j - low)] = x.index[j] - step.half;
  step.low = {low, x.index, x.value};
  step.high = {x.count - low, shiftedIndex.data(), x.value + low};
}

// Pieces in scan order (a unit's lower piece, then its upper one) go to the
// members in turn: the same member moves a piece and works out its dots.
void TrainingEngine::movePieces(const MeasuredStep& step, int member, int share) {
  const kernels::KernelTable& k = kernels::active();
  const int n = components;
  for (int u = 0; u < moving.count; u++) {
    for (int piece = 0; piece < step.pieces; piece++) {
      if (share > 1 && (moving.slots[static_cast<size_t>(u)] * step.pieces + piece) % share != member) continue;
      const bool upper = piece == 1;
      const int from = upper ? step.half : 0, length = step.pieces == 1 ? n : (upper ? n - step.half : step.half);
      const double f = moving.factors[static_cast<size_t>(u)];
      float* w = moving.weights[static_cast<size_t>(u)] + from;
      pieceLengths[static_cast<size_t>(u * step.pieces + piece)] =
          step.blockwise ? k.moveSparse(w, upper ? step.high : step.low, f, length, kernels::noOpLimit(f))
                         : k.moveMeasured(w, step.values + from, f, length);
    }
  }
  if (step.dots && share > 1) dotsOfPieces(*step.next, member, share, step.half);
}

void TrainingEngine::reserveDots(int pieces, int members) {
  memberDotsStride = (static_cast<size_t>(units()) * pieces + 7) / 8 * 8;
  if (memberDots.size() < memberDotsStride * members) memberDots.resize(memberDotsStride * members);
  if (nextDots.size() < static_cast<size_t>(units())) nextDots.resize(static_cast<size_t>(units()));
}

// Each member cuts the next vector's entries at `half` itself: a step the
// caller runs alone does not need them.
void TrainingEngine::dotsOfPieces(const TrainingInput& next, int member, int members, int half) {
  const kernels::KernelTable& k = kernels::active();
  const SparseEntries entries = next.entries;
  const int cut =
      half > 0 ? static_cast<int>(std::lower_bound(entries.index, entries.index + entries.count, half) - entries.index)
               : entries.count;
  const SparseEntries low = {cut, entries.index, entries.value};
  const SparseEntries high = {entries.count - cut, entries.index + cut, entries.value + cut};
  const int pieces = half > 0 ? 2 : 1;
  double* row = &memberDots[static_cast<size_t>(member) * memberDotsStride];
  for (int q = member; q < units() * pieces; q += members) {
    k.sparseDots(q % pieces == 1 ? high : low, &scanWeights[static_cast<size_t>(q / pieces)], 1, &row[q]);
  }
}

// A unit's dot product is its pieces' sums added, which is one more order of
// the same sum (see WinnerSearch::findFromDots).
void TrainingEngine::gatherDots(int pieces, int members, const TrainingInput& next) {
  for (int u = 0; u < units(); u++) {
    const int q = u * pieces;
    nextDots[static_cast<size_t>(u)] =
        pieces == 2 ? memberDot(q, members) + memberDot(q + 1, members) : memberDot(q, members);
  }
  dotsFor = next.entries.index;
}
