#ifndef VELMAR_TRAINING_TRAININGENGINE_H
#define VELMAR_TRAINING_TRAININGENGINE_H

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "kernels/vectorvalues.h"
#include "kernels/winnersearch.h"

class Workers;

// An input vector as training reads it: its values dense, or the components
// a sparse vector lists, with their values squared and summed in double.
struct TrainingInput {
  bool isSparse;
  const float* dense;     // a dense vector's values
  SparseEntries entries;  // a sparse vector's listed components
  double squaredLength;   // a sparse vector's squared length
};

// The arithmetic of a map's training, made fast: the winner of a training
// step, the moves of the units around it and the assignment of every vector
// to its nearest unit, over a grid of units handed over as weight arrays in
// scan order (row by row, columns inner; unit s at column s mod columns, row
// s / columns). It owns nothing of the map but its own working lists.
//
// Every result is that of the plain loops: the winner is the first unit in
// scan order with the smallest exact distance (kernels/winnersearch.h); each
// unit of the window moves by rate x influence(grid distance, radius),
// rounded as the kernels round; a vector's unit is its winner, or, when no
// unit lies at a finite distance, the unit of the vector before it. The work
// is shared over the team of threads where that pays, each unit's arithmetic
// the same on any thread, so no result depends on the team.
//
// On sparse vectors that pay for it (sparseSearchPays), the engine keeps
// every unit's squared length, refreshed by every move, for the sparse
// search; on a team it then works out the dot products of the next step's
// vector with the units in the job that moves them.
class TrainingEngine {
 public:
  // The neighbourhood influence at a grid distance for a radius.
  using Influence = float (*)(float distance, int radius);

  // An engine for units of `components` weights; `sparseSearch` as
  // sparseSearchPays says for the map's vectors.
  TrainingEngine(int components, bool sparseSearch, Workers& team, Influence influence);
  ~TrainingEngine();

  TrainingEngine(const TrainingEngine&) = delete;
  TrainingEngine& operator=(const TrainingEngine&) = delete;

  // Whether a map on `count` vectors of `components` searches sparsely:
  // some are sparse and together they list few of their components.
  // listedOf(k) is the number of components vector k lists, -1 for a dense one.
  static bool sparseSearchPays(int count, int components, const std::function<int(int k)>& listedOf);

  // Takes the grid: columns x rows units, weightsAt(column, row) the weights
  // of each (read and moved in place until the next prepare). Called before
  // the first search and whenever the grid or its weights changed outside
  // the engine.
  void prepare(int columns, int rows, const std::function<float*(int column, int row)>& weightsAt);

  // The scan index of the unit nearest to x, or `current` when no unit lies
  // at a finite distance; for a training step (shared over the team).
  int nearest(const TrainingInput& x, int current);

  // Moves every unit within `radius` columns and rows of unit (column, row),
  // clipped to the grid, towards x with the step factor rate x influence.
  // `next` is the next step's vector when known (else null).
  // Only a map that keeps lengths reads `next` (usesNext()); the caller
  // may leave it null otherwise.
  void moveWindow(int column, int row, int radius, float rate, const TrainingInput& x, const TrainingInput* next);
  bool usesNext() const { return keepsLengths; }

  // Finds the unit of each of `count` vectors (inputAt(k), called on any
  // thread) and hands it over in order, place(k, scan index), on the
  // caller's thread. Polls for a request to stop between chunks of vectors.
  void assignAll(int count, const std::function<TrainingInput(int k)>& inputAt,
                 const std::function<void(int k, int unit)>& place);

  // Calls body(s) once for every unit s in scan order, shared over the team
  // when `work` (in unit-components) is large enough; body must not write
  // what another unit's call reads.
  void forEachUnit(long long work, const std::function<void(int unit)>& body);

 private:
  // The units one training step moves: their weights, step factors and scan indices.
  struct Moving {
    std::vector<float*> weights;
    std::vector<double> factors;
    std::vector<int> slots;
    int count = 0;
  };
  // How a step that keeps lengths moves its units: in one piece each or in
  // two (cut at `half`), towards a spread row (`values`) or block by block
  // towards x's entries below and from `half` on (`low`, `high`, indices of
  // `high` counted from `half`); and whether the team works out the dot
  // products of `next` with the pieces it moves.
  struct MeasuredStep {
    int half;
    int pieces;
    bool blockwise;
    const float* values;
    SparseEntries low;
    SparseEntries high;
    bool dots;
    const TrainingInput* next;
  };

  int units() const { return columns * rows; }
  // How many parts work of this size makes on the team (at least 1).
  int partsFor(long long work, long long perPart) const;
  // Calls body(part, first, end) for `parts` ranges that together cover 0 ..
  // count - 1, in order, on the team; `work` is their size in unit-components.
  template <class Body>
  void inRanges(int count, int parts, long long work, const Body& body);

  int nearestWith(WinnerSearch& searcher, const TrainingInput& x, int current, bool shared);
  // Makes ready a search for each of `parts` members (none for one part).
  void readyTeamSearches(int parts);

  // Lists the units of the window in `moving`.
  void listWindow(int column, int row, int radius, float rate);
  // The influence at every grid offset for this radius, worked out once per
  // radius and grid.
  void refreshInfluences(int radius);
  const float* influenceRow(int rowOffset) const {
    return influences.data() + static_cast<size_t>(rowOffset) * static_cast<size_t>(columns);
  }
  // Whether the moves of this step go to the team.
  bool sharesMoves() const;
  // The moves of a sparse vector, or of any vector on a map that keeps lengths.
  void moveUnits(const TrainingInput& x, const TrainingInput* next);
  // The moves of a map that does not keep lengths, towards dense values,
  // on the team when `shared`.
  void movePlain(const float* values, bool shared);
  void moveMeasuring(const TrainingInput& x, bool blockwise, const float* values, int members,
                     const TrainingInput* next);
  // x's entries cut at `half` into the step's low and high pieces.
  void cutEntries(const SparseEntries& x, MeasuredStep& step);
  // Member `member` of `share` moves its pieces (alone, every piece) and,
  // on a team, works out their dots.
  void movePieces(const MeasuredStep& step, int member, int share);
  // Whether the moves of a step go to the team whatever their number: units
  // long enough to be moved in two pieces, on a map that keeps lengths.
  bool teamMovesEveryStep() const;
  // Member `member`'s share of the dot products of the next vector with the
  // pieces it moves (units cut at `half`, or whole for 0).
  void dotsOfPieces(const TrainingInput& next, int member, int members, int half);
  // Room for every member's row of dots.
  void reserveDots(int pieces, int members);
  // The dot product that member `q mod members` worked out for piece q.
  double memberDot(int q, int members) const {
    return memberDots[static_cast<size_t>(q % members) * memberDotsStride + static_cast<size_t>(q)];
  }
  // Each unit's dot product with the next vector: its pieces' sums added.
  void gatherDots(int pieces, int members, const TrainingInput& next);

  int components;
  bool keepsLengths;
  Workers& team;
  Influence influence;
  int columns = 0;
  int rows = 0;

  WinnerSearch search;
  std::vector<float*> scanWeights;
  // With keepsLengths: each unit's squared length in scan order, the
  // lengths of the pieces a step moves, and the high piece's indices of a
  // sparse vector.
  std::vector<double> scanLengths;
  std::vector<double> pieceLengths;
  std::vector<int> shiftedIndex;
  std::vector<float> denseRow;  // a sparse vector's values for a map that moves towards dense values; +0 between steps
  // On a team, a map that keeps lengths works out the next step's dot
  // products in the job that moves the units, each member over the pieces
  // it moves: a unit's weights then stay in the caches of the cores that
  // move them instead of travelling to the searching thread every step.
  // `dotsFor` identifies the vector whose dots with the current weights
  // `nextDots` holds (its listed indices; null: none); `memberDots` holds
  // each member's dots of its pieces, a row of memberDotsStride values
  // (whole cache lines) per member.
  const int* dotsFor = nullptr;
  std::vector<double> nextDots;
  std::vector<double> memberDots;
  size_t memberDotsStride = 0;
  Moving moving;
  // The influence at every grid offset (|dx|, |dy|), row by row, for the
  // radius influenceRadius (-1: not worked out for this grid).
  std::vector<float> influences;
  int influenceRadius = -1;
  // The search of each member of the team while all vectors are assigned,
  // and the scan index of each vector's unit in a chunk.
  std::vector<std::unique_ptr<WinnerSearch>> teamSearches;
  std::vector<int> nearestOfChunk;
};

#endif
