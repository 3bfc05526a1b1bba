#include "neuronlayer.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>

#include "base/failure.h"
#include "base/interrupt.h"
#include "base/workers.h"
#include "dataitem.h"
#include "globals.h"
#include "io/filenames.h"
#include "io/mqe0file.h"
#include "io/outputfile.h"
#include "kernels/distancekernels.h"
#include "kernels/winnersearch.h"
#include "neuron.h"
#include "training/errorfloor.h"
#include "training/mapsize.h"
#include "training/progressline.h"
#include "training/schedule.h"
#include "training/trainingdraws.h"

namespace {

const float kFarAway = 1000000000.0f;  // the error of a map not yet measured
// A winner search starts above every finite distance: a vector whose
// distances all overflow the float range keeps the winner passed in.
const float kSearchStart = WinnerSearch::kAboveEveryDistance;
// Growth checks in a row without a new lowest error, all of it rounding,
// after which a map that no cycle cap will stop is taken to be stuck.
const int kFloorChecks = 50;
// Growth checks in a row with every unit at one point, after which such a
// map is taken to be stuck (see stopsShort).
const int kOnePointChecks = 10;
// Training looks for a request to stop once in this many cycles plus one (a
// mask): often enough to stop within a blink, seldom enough to cost nothing.
const long long kStopPollCycles = 63;

// The vectors of a list, as the stop rules read them.
VectorAt vectorsOf(Data_Vector* items) {
  return [items](int k) { return items->elementAt(k)->values(); };
}

// A training step's moves are shared out over the team when they take at
// least this many unit-components per thread.
const long long kMovePartWork = 8000;
// Assigning all vectors is shared out when it takes at least this many
// unit-components (products or squared differences) per thread.
const long long kAssignPartWork = 200000;
// Vectors are assigned in chunks of this many (their units found side by side, then added in order).
const int kAssignChunk = 8192;

// The sparse search saves the rough distances' work on the components a
// vector leaves out, but the moves then keep each unit's length, which costs
// them about two fifths more: measured, it pays below about 3 % of the
// components listed (a set of 300 terms with 4 % is as fast either way, one
// of 5,000 with 1 % twice as fast).
const double kSparseSearchShare = 0.05;

// Whether a map on these vectors searches sparsely: some are sparse and
// together they list less than kSparseSearchShare of their components.
bool sparseSearchPays(Data_Vector* items, int components) {
  if (items == nullptr || items->size() == 0) return false;
  const double most = kSparseSearchShare * components * static_cast<double>(items->size());
  double listed = 0.0;
  bool anySparse = false;
  // Ends as soon as the share is reached: on dense vectors after a few percent of them.
  for (int k = 0; k < items->size() && listed < most; k++) {
    const DataItem* item = items->elementAt(k);
    anySparse = anySparse || item->isSparse();
    listed += item->isSparse() ? item->sparse().count : components;
  }
  return anySparse && listed < most;
}

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

// How many parts work of this size makes on the team (at least 1).
int partsFor(long long work, long long perPart) {
  if (work < 2 * perPart) return 1;  // the common case of a training step, without a division
  const long long parts = work / perPart;
  const long long members = Globals::team().size();
  return static_cast<int>(parts < members ? parts : members);
}

// Calls body(part, first, end) for `parts` ranges that together cover
// 0 .. count-1, in order, on the team; `work` is their size in unit-components.
template <class Body>
void inRanges(int count, int parts, long long work, const Body& body) {
  if (parts <= 1) {
    body(0, 0, count);
    return;
  }
  Globals::team().run(parts, work, [&](int p) {
    body(p, static_cast<int>(static_cast<long long>(count) * p / parts),
         static_cast<int>(static_cast<long long>(count) * (p + 1) / parts));
  });
}

Neuron*** newGrid(int columns, int rows) {
  Neuron*** grid = static_cast<Neuron***>(calloc(columns, sizeof(Neuron**)));
  if (grid == nullptr) {
    failOutOfMemory();
  }
  for (int i = 0; i < columns; i++) {
    grid[i] = static_cast<Neuron**>(calloc(rows, sizeof(Neuron*)));
    if (grid[i] == nullptr) {
      failOutOfMemory();
    }
  }
  return grid;
}

void freeGrid(Neuron*** grid, int columns) {
  for (int i = 0; i < columns; i++) {
    free(grid[i]);
  }
  free(grid);
}

// A vector of the arithmetic, released with free when it goes.
using OwnedVector = std::unique_ptr<float, void (*)(void*)>;
OwnedVector owned(float* v) { return OwnedVector(v, free); }

// The corners of a child map, each a new vector built from the parent unit's
// weights t and its neighbours by the vector arithmetic (every intermediate
// vector rounded to float).
// H: halfway from t to n, t + (n - t) / 2.
OwnedVector halfway(const float* t, const float* n) {
  OwnedVector offset = owned(Globals::vectorDiffMean(n, t));
  return owned(Globals::vectorAdd(t, offset.get()));
}

// M: t plus the mean offset towards a, b and c, t + ((a - t) + (b - t) + (c - t)) / 3.
OwnedVector meanOffset(const float* t, const float* a, const float* b, const float* c) {
  OwnedVector da = owned(Globals::vectorDiff(a, t));
  OwnedVector db = owned(Globals::vectorDiff(b, t));
  OwnedVector dc = owned(Globals::vectorDiff(c, t));
  OwnedVector mean = owned(Globals::vectorAdd3Mean(da.get(), db.get(), dc.get()));
  return owned(Globals::vectorAdd(t, mean.get()));
}

// A corner looks towards the three neighbours on its side (null where the
// grid ends): all present, M of them; one present (a border cuts off the
// others), H of it; none, a copy of t.
OwnedVector cornerTowards(const float* t, const float* a, const float* b, const float* c) {
  if (a != nullptr && b != nullptr && c != nullptr) {
    return meanOffset(t, a, b, c);
  }
  const float* only = a != nullptr ? a : (b != nullptr ? b : c);
  if (only != nullptr) {
    return halfway(t, only);
  }
  OwnedVector copy = owned(Globals::newVector(Globals::vectorlength));
  memcpy(copy.get(), t, sizeof(float) * Globals::vectorlength);
  return copy;
}

// "UL: %f / %f" and so on: components 0 and 1 of each corner (0 for a
// missing second component).
void traceCorners(const OwnedVector (&corners)[4]) {
  const char* names[4] = {"UL", "UR", "LL", "LR"};
  for (int c = 0; c < 4; c++) {
    const float* v = corners[c].get();
    char line[128];
    double second = Globals::vectorlength > 1 ? static_cast<double>(v[1]) : 0.0;
    snprintf(line, sizeof line, "%s: %f / %f", names[c], static_cast<double>(v[0]), second);
    std::cout << line << "\n";
  }
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction and destruction
// ---------------------------------------------------------------------------

NeuronLayer::NeuronLayer(Neuron* sn, Data_Vector* indataItems, float insuperMQE, int inlevel, int initialSizeX,
                         int initialSizeY, int posX, int posY, float* ULweight, float* URweight, float* LLweight,
                         float* LRweight)
    : gid(Globals::HTML_GID),
      superMQE(insuperMQE),
      dataItems(indataItems),
      superPos{posX, posY},
      superNeuron(sn),
      MQE(kFarAway),
      MQENeuron{0, 0},
      stupidity(Globals::TAU_1),
      ini_learnrate(Globals::INITIAL_LEARNRATE),
      learnrate(Globals::INITIAL_LEARNRATE),
      min_learnrate(Globals::MIN_LEARNRATE),
      ini_neighbourhood(Globals::INITIAL_NEIGHBOURHOOD),
      neighbourhood(Globals::INITIAL_NEIGHBOURHOOD),
      min_neighbourhood(Globals::MIN_NEIGHBOURHOOD),
      neighbourhood_falloff(0.0f),
      level(inlevel),
      dataLength(Globals::vectorlength),
      x(initialSizeX),
      y(initialSizeY),
      neuronMap(newGrid(initialSizeX, initialSizeY)),
      currentCycle(0),
      stoppedShort(false) {
  Globals::HTML_GID++;
  if (Globals::ORIENTATION && sn != nullptr && inlevel > 1) {
    float* corners[4] = {ULweight, URweight, LLweight, LRweight};
    const GridPos cells[4] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
    for (int c = 0; c < 4; c++) {
      neuronMap[cells[c][0]][cells[c][1]] = new Neuron(corners[c], gid, level, superPos[0], superPos[1]);
      startCorners.insert(startCorners.end(), corners[c], corners[c] + dataLength);
    }
  } else {
    // Row by row, left to right: this order fixes which random numbers each unit gets.
    for (int j = 0; j < y; j++) {
      for (int i = 0; i < x; i++) {
        neuronMap[i][j] = new Neuron(dataLength, gid, level, superPos[0], superPos[1]);
      }
    }
  }
}

NeuronLayer::~NeuronLayer() {
  for (int j = 0; j < y; j++) {
    for (int i = 0; i < x; i++) {
      delete neuronMap[i][j];
    }
  }
  freeGrid(neuronMap, x);
}

NeuronLayer* NeuronLayer::getLayer1Map() { return neuronMap[0][0]->getMap(); }

std::string NeuronLayer::fileName(const char* extension) const {
  return mapFileName(Globals::savePath, Globals::HTML_PREFIX, gid, level, superPos[0], superPos[1], extension);
}

bool NeuronLayer::fitsInMemory(long long columns, long long rows, int components) {
  // A lower bound of what a unit takes: its object, weights and list of
  // vectors, its grid slot and its slots in the winner search. Allocator
  // overhead is left out, so the true need is larger still.
  const double perUnit = static_cast<double>(sizeof(Neuron)) + static_cast<double>(sizeof(Data_Vector)) +
                         static_cast<double>(sizeof(float)) * static_cast<double>(components) +
                         static_cast<double>(sizeof(Neuron*) + sizeof(float*) + sizeof(double));
  return mapFitsInMemory(columns, rows, perUnit);
}

// ---------------------------------------------------------------------------
// Level-0 error
// ---------------------------------------------------------------------------

void NeuronLayer::calcLayer0MQE() {
  float* mean = Globals::MQE0_FILE == nullptr ? computeMQE0() : loadMQE0File();
  std::cout << "MQE: " << MQE << std::endl;
  delete neuronMap[0][0];
  neuronMap[0][0] = new Neuron(mean, gid, level, superPos[0], superPos[1]);
  // A sum of squares is never negative; only a loaded MQE0 can be, or not a number.
  if (!(MQE >= 0.0f)) {
    fail("MQE0 must not be negative or not a number (check MQE0 file)");
  }
  neuronMap[0][0]->addMap(dataItems, MQE, 1, Globals::INITIAL_X_SIZE, Globals::INITIAL_Y_SIZE, 0, 0);
}

float* NeuronLayer::computeMQE0() {
  std::cout << "calculating MQE0" << std::endl;
  float* mean = Globals::meanVector(dataItems, dataLength);
  MQE = Globals::sumQE(dataItems, mean);
  return mean;
}

float* NeuronLayer::loadMQE0File() {
  std::cout << "loading MQE0 file: " << Globals::MQE0_FILE << std::endl;
  // Released on every way out, failures included.
  std::unique_ptr<float, void (*)(void*)> mean(Globals::newVector(dataLength), free);
  readMqe0File(Globals::MQE0_FILE, mean.get(), dataLength, MQE);  // without a number the initial 1000000000 stays
  return mean.release();
}

// ---------------------------------------------------------------------------
// Winner search and measurement
// ---------------------------------------------------------------------------

void NeuronLayer::prepareSearch() {
  if (search == nullptr) {
    search = std::make_unique<WinnerSearch>(dataLength);
    keepsLengths = sparseSearchPays(dataItems, dataLength);
  }
  dotsFor = nullptr;  // the grid or the weights may have changed
  const size_t units = static_cast<size_t>(x) * static_cast<size_t>(y);
  search->reserve(static_cast<int>(units));
  if (units > scanWeights.size()) {
    scanWeights.resize(units);
    movingWeights.resize(units);
    movingFactors.resize(units);
    movingSlots.resize(units);
  }
  for (int j = 0; j < y; j++) {
    for (int i = 0; i < x; i++) {
      scanWeights[static_cast<size_t>(j) * x + i] = neuronMap[i][j]->weights;
    }
  }
  if (keepsLengths) {
    scanLengths.resize(units);
    const kernels::KernelTable& k = kernels::active();
    const int half = lengthSplit(dataLength);
    for (size_t s = 0; s < units; s++) {
      const float* w = scanWeights[s];
      scanLengths[s] = half > 0 ? k.measure(w, half) + k.measure(w + half, dataLength - half) : k.measure(w, dataLength);
    }
  }
}

int NeuronLayer::nearestUnit(WinnerSearch& searcher, const DataItem* di, int current, bool shared) {
  const bool listed = di->isSparse() && keepsLengths;
  if (listed && shared && dotsFor == di) {
    return searcher.findFromDots(scanWeights.data(), scanLengths.data(), nextDots.data(), x * y, di->sparse(),
                                 di->squaredLength(), kSearchStart, current);
  }
  Workers* team =
      shared && WinnerSearch::worthSharing(x * y, listed ? di->sparse().count : dataLength) ? &Globals::team() : nullptr;
  if (listed) {
    return searcher.find(scanWeights.data(), scanLengths.data(), x * y, di->sparse(), di->squaredLength(),
                         kSearchStart, current, team);
  }
  if (di->isSparse()) {
    return searcher.findDensified(scanWeights.data(), x * y, di->sparse(), kSearchStart, current, team);
  }
  return searcher.find(scanWeights.data(), x * y, di->dense(), kSearchStart, current, team);
}

void NeuronLayer::findWinner(DataItem* di, int* winner) {
  const int k = nearestUnit(*search, di, winner[1] * x + winner[0], true);
  winner[0] = k % x;
  winner[1] = k / x;
}

void NeuronLayer::remeasure() {
  for (int j = 0; j < y; j++) {
    for (int i = 0; i < x; i++) {
      neuronMap[i][j]->clearRepresentingDataItems();
    }
  }
  calcMQE();
}

void NeuronLayer::testDataItems() {
  // Every vector's nearest unit is found on its own (the team's members each
  // take a range of a chunk of vectors), then the chunk's vectors are added
  // in list order. The winner is kept from one vector to the next: a vector
  // that no unit is at a finite distance from goes to the previous vector's unit.
  prepareSearch();
  const int count = dataItems->size();
  const long long perVector = static_cast<long long>(x) * y * (keepsLengths ? 64 : dataLength);
  const int chunk = count < kAssignChunk ? count : kAssignChunk;
  const int parts = partsFor(perVector * chunk, kAssignPartWork);
  // Each member its own search (the map's own when one part does it all),
  // made ready here: a part must not allocate.
  while (parts > 1 && static_cast<int>(teamSearches.size()) < parts) {
    teamSearches.push_back(std::make_unique<WinnerSearch>(dataLength));
  }
  for (int p = 0; parts > 1 && p < parts; p++) teamSearches[static_cast<size_t>(p)]->reserve(x * y);
  nearest.resize(static_cast<size_t>(chunk));
  int winner = 0;
  for (int base = 0; base < count; base += chunk) {
    failIfStopRequested();
    const int size = count - base < chunk ? count - base : chunk;
    inRanges(size, parts, perVector * size, [&](int p, int first, int end) {
      WinnerSearch& searcher = parts == 1 ? *search : *teamSearches[static_cast<size_t>(p)];
      for (int k = first; k < end; k++) {
        nearest[static_cast<size_t>(k)] = nearestUnit(searcher, dataItems->elementAt(base + k), -1, false);
      }
    });
    for (int k = 0; k < size; k++) {
      if (nearest[static_cast<size_t>(k)] >= 0) winner = nearest[static_cast<size_t>(k)];
      neuronMap[winner % x][winner / x]->addRepresentingDataItem(dataItems->elementAt(base + k));
    }
  }
}

void NeuronLayer::calcMQE() {
  MQE = 0.0f;
  int c = 0;
  float maxMQE = 0.0f;
  testDataItems();
  // Each unit's error is its own float sum; the team's members each take a range of units.
  const int units = x * y;
  const long long work = static_cast<long long>(dataItems->size()) * dataLength;
  inRanges(units, partsFor(work, kAssignPartWork), work, [&](int, int first, int end) {
    for (int s = first; s < end; s++) neuronMap[s % x][s / x]->calcMQE();
  });
  for (int j = 0; j < y; j++) {
    for (int i = 0; i < x; i++) {
      Neuron* unit = neuronMap[i][j];
      float currMQE = unit->MQE;
      if (currMQE > 0.0f) {
        MQE = static_cast<float>(static_cast<double>(MQE) + static_cast<double>(currMQE));
        c++;
      }
      if (currMQE > maxMQE) {
        maxMQE = currMQE;
        MQENeuron = {i, j};
      }
    }
  }
  // With no unit of positive error the mean is 0/0; count it as 0 so the map
  // stops at this check instead of growing for ever.
  MQE = c > 0 ? static_cast<float>(static_cast<double>(MQE) / static_cast<double>(c)) : 0.0f;
}

// ---------------------------------------------------------------------------
// Training
// ---------------------------------------------------------------------------

void NeuronLayer::train() {
  std::optional<OutputFile> mqeFile;  // the error trace, one line per cycle
  if (Globals::printMQE) {
    mqeFile.emplace(fileName("mqe"), "MQE file");
  }
  startTraining();
  const long long N = dataItems->size();
  const long long P = N * Globals::EXPAND_CYCLES;
  const StopRule rule{static_cast<double>(stupidity) * static_cast<double>(superMQE),
                      N * static_cast<long long>(Globals::MAX_CYCLES)};
  const double slope = sawtoothSlope(ini_learnrate, min_learnrate, P);
  prepareSearch();

  TrainingSchedule schedule(N, P, radiusStep(P, ini_neighbourhood));
  Progress progress{HUGE_VALF, 0, 0, -1.0};
  TrainingDraws draws(dataItems, static_cast<int>(N), [] { return Globals::getIntRandom(); });
  long long checks = 0;
  float measured = HUGE_VALF;  // the error at the last growth check
  auto status = [&] {
    return ProgressLine::State{level, gid, x, y, checks, measured, static_cast<float>(stupidity * superMQE)};
  };
  for (;;) {
    currentCycle++;
    if ((currentCycle & kStopPollCycles) == 0) {
      failIfStopRequested();
    }
    const TrainingSchedule::Cycle cycle = schedule.next();
    if (cycle.dot) {
      ProgressLine::beforeReport();
      if (!Globals::quiet) {  // a quiet console has no dots; the status line keeps its pace
        std::cout << "." << std::flush;
        endRunIfConsoleFailed();
      }
      ProgressLine::whileTraining(status());
    }
    DataItem* di = dataItems->elementAt(draws.next(schedule.cyclesBeforeCheck()));
    const int following = draws.upcoming();
    upcoming = following >= 0 ? dataItems->elementAt(following) : nullptr;
    trainOn(di);
    learnrate = sawtoothRate(slope, ini_learnrate, cycle.stepInTooth);
    if (cycle.shrinkRadius && --neighbourhood < 0) {
      neighbourhood = 0;
    }
    if (Globals::printMQE) {
      remeasure();
      char line[32];
      mqeFile->write(line, static_cast<size_t>(snprintf(line, sizeof line, "%g\n", static_cast<double>(MQE))));
    }
    if (cycle.growthCheck) {
      checks++;
      if (growthCheck(rule, progress)) {
        break;
      }
      measured = MQE;
      ProgressLine::atCheck(status());
    }
  }
  upcoming = nullptr;
  dotsFor = nullptr;
  std::cout << "MQE: " << MQE << std::endl;

  expandUnits();

  if (mqeFile) {
    mqeFile->close();
  }
}

void NeuronLayer::startTraining() {
  stupidity = Globals::TAU_1;
  learnrate = Globals::INITIAL_LEARNRATE;
  neighbourhood = Globals::INITIAL_NEIGHBOURHOOD;
  min_learnrate = Globals::MIN_LEARNRATE;
  min_neighbourhood = Globals::MIN_NEIGHBOURHOOD;
  currentCycle = 0;
}

void NeuronLayer::trainOn(DataItem* di) {
  int winner[2] = {0, 0};
  findWinner(di, winner);
  adaptWeights(winner, di);
}

bool NeuronLayer::growthCheck(const StopRule& rule, Progress& progress) {
  if (!Globals::printMQE) {
    remeasure();  // with the trace on, the cycle has just measured
  }
  std::cout << "MQE ; " << MQE << ", to go : " << static_cast<float>(stupidity * superMQE) << std::endl;
  if (static_cast<double>(MQE) <= rule.bound || (Globals::MAX_CYCLES > 0 && currentCycle >= rule.cycleCap)) {
    return true;
  }
  if (stopsShort(rule.bound, progress) || !grow()) {
    return true;
  }
  learnrate = ini_learnrate;
  neighbourhood = ini_neighbourhood;
  return false;
}

bool NeuronLayer::grow() {
  const GridPos diss = getMaxDissNeighbour(MQENeuron.data());
  const int mx = MQENeuron[0], my = MQENeuron[1];
  const int dx = diss[0], dy = diss[1];
  const bool addsColumn = mx != dx, addsRow = mx == dx && my != dy;
  if ((addsColumn || addsRow) && !growthFits(addsColumn ? 1 : 0, addsRow ? 1 : 0)) {
    return false;
  }
  std::cout << "neuron with max MQE : " << mx << "," << my << std::endl;
  // At the larger of the two indices: between the worst unit and its neighbour.
  if (addsColumn) {
    insertColumn(mx > dx ? mx : dx);
  } else if (addsRow) {
    insertRow(my > dy ? my : dy);
  }
  return true;
}

void NeuronLayer::adaptWeights(const int* winner, DataItem* di) {
  // Every unit of the square window around the winner (clipped to the grid)
  // moves with its own step factor; the kernels move them all in one call.
  const long long r = neighbourhood;
  const int wx = winner[0], wy = winner[1];
  const int xminlim = static_cast<int>(wx - r > 0 ? wx - r : 0);
  const int xmaxlim = static_cast<int>(wx + r < x - 1 ? wx + r : x - 1);
  const int yminlim = static_cast<int>(wy - r > 0 ? wy - r : 0);
  const int ymaxlim = static_cast<int>(wy + r < y - 1 ? wy + r : y - 1);
  if (influenceRadius != neighbourhood) {
    // The influence depends only on the offset and the radius: worked out
    // once per radius (and grid) instead of once per unit and step.
    influences.resize(static_cast<size_t>(x) * static_cast<size_t>(y));
    for (long long dy = 0; dy < y; dy++) {
      for (long long dx = 0; dx < x; dx++) {
        const float dist = static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
        influences[static_cast<size_t>(dy * x + dx)] = Neuron::influence(dist, neighbourhood);
      }
    }
    influenceRadius = neighbourhood;
  }
  const double rate = static_cast<double>(learnrate);  // stepFactor: rate times the influence
  int count = 0;
  float** weights = movingWeights.data();
  double* factors = movingFactors.data();
  int* slots = movingSlots.data();
  for (int j = yminlim; j <= ymaxlim; j++) {
    const float* influence = influences.data() + static_cast<size_t>(wy > j ? wy - j : j - wy) * x;
    for (int i = xminlim; i <= xmaxlim; i++) {
      const int slot = j * x + i;
      weights[count] = scanWeights[static_cast<size_t>(slot)];
      factors[count] = rate * static_cast<double>(influence[wx > i ? wx - i : i - wx]);
      slots[count] = slot;
      count++;
    }
  }
  moveUnits(count, di);
}

void NeuronLayer::moveUnits(int count, const DataItem* di) {
  dotsFor = nullptr;  // the weights change
  const kernels::KernelTable& k = kernels::active();
  const int n = dataLength;
  // Shared out by where the weights lie: a unit (for the lengths, each half
  // of a unit) is always moved by the same member of the team, so its
  // weights stay in the caches of that member's core from step to step.
  const bool shared = partsFor(static_cast<long long>(count) * n, kMovePartWork) > 1 || teamMovesEveryStep();
  const int members = shared ? Globals::team().size() : 1;
  // A sparse vector is moved towards block by block (see movesBlockwise),
  // or its values are spread into a row kept +0 between steps.
  const bool blockwise = keepsLengths && di->isSparse() && movesBlockwise(di->sparse().count, n);
  // The row exists whenever a sparse vector is spread, even one that lists
  // nothing (all +0): the kernels read all n of its values.
  const bool spread = di->isSparse() && !blockwise;
  const SparseEntries listed = spread ? di->sparse() : SparseEntries{0, nullptr, nullptr};
  if (spread && denseRow.size() != static_cast<size_t>(n)) denseRow.assign(static_cast<size_t>(n), 0.0f);
  for (int j = 0; j < listed.count; j++) denseRow[static_cast<size_t>(listed.index[j])] = listed.value[j];
  const float* values = spread ? denseRow.data() : (blockwise ? nullptr : di->dense());
  if (!keepsLengths) {
    auto move = [&](int member) {
      for (int u = 0; u < count; u++) {
        if (movingSlots[u] % members == member) k.moveTowards(movingWeights[u], values, movingFactors[u], n);
      }
    };
    // Alone, the units go to the kernel together (moved in pairs that share the loads of the vector).
    auto alone = [&] { k.moveUnits(movingWeights.data(), movingFactors.data(), count, values, n); };
    shared ? Globals::team().runOnEach(static_cast<long long>(count) * n, move, alone) : alone();
  } else {
    moveMeasuringUnits(count, di, blockwise, values, members);
  }
  for (int j = 0; j < listed.count; j++) denseRow[static_cast<size_t>(listed.index[j])] = 0.0f;
}

bool NeuronLayer::teamMovesEveryStep() const {
  return keepsLengths && lengthSplit(dataLength) > 0 && Globals::team().size() > 1;
}

// Pieces in scan order (a unit's lower piece, then its upper one) go to the
// members in turn: the same member moves a piece and works out its dots.
// Each member cuts the upcoming vector's entries at `half` itself: a step
// the caller runs alone does not need them.
void NeuronLayer::dotsOfPieces(int member, int members, int half) {
  const kernels::KernelTable& k = kernels::active();
  const SparseEntries next = upcoming->sparse();
  const int cut = half > 0 ? static_cast<int>(std::lower_bound(next.index, next.index + next.count, half) - next.index)
                           : next.count;
  const SparseEntries low = {cut, next.index, next.value};
  const SparseEntries high = {next.count - cut, next.index + cut, next.value + cut};
  const int pieces = half > 0 ? 2 : 1;
  const int units = x * y;
  double* row = &memberDots[static_cast<size_t>(member) * memberDotsStride];
  for (int q = member; q < units * pieces; q += members) {
    k.sparseDots(q % pieces == 1 ? high : low, &scanWeights[static_cast<size_t>(q / pieces)], 1, &row[q]);
  }
}

void NeuronLayer::moveMeasuringUnits(int count, const DataItem* di, bool blockwise, const float* values, int members) {
  const kernels::KernelTable& k = kernels::active();
  const int n = dataLength;
  // Each unit's length is refreshed in the pass that moves it: the two halves
  // of a long unit apart (whatever the number of threads), then their sum.
  const int half = lengthSplit(n);
  const int pieces = half > 0 ? 2 : 1;
  // On the team, the dots of the upcoming vector with the pieces.
  const bool dots = members > 1 && upcoming != nullptr && upcoming->isSparse();
  const int units = x * y;
  if (dots) {
    memberDotsStride = (static_cast<size_t>(units) * pieces + 7) / 8 * 8;
    if (memberDots.size() < memberDotsStride * members) memberDots.resize(memberDotsStride * members);
    if (nextDots.size() < static_cast<size_t>(units)) nextDots.resize(static_cast<size_t>(units));
  }
  SparseEntries lowX = {0, nullptr, nullptr}, highX = lowX;
  if (blockwise) {
    const SparseEntries x = di->sparse();
    const int low = static_cast<int>(std::lower_bound(x.index, x.index + x.count, half > 0 ? half : n) - x.index);
    shiftedIndex.resize(static_cast<size_t>(x.count - low));
    for (int j = low; j < x.count; j++) shiftedIndex[static_cast<size_t>(j - low)] = x.index[j] - half;
    lowX = {low, x.index, x.value};
    highX = {x.count - low, shiftedIndex.data(), x.value + low};
  }
  pieceLengths.resize(static_cast<size_t>(count) * pieces);
  // Member `member` of `share` moves its pieces (alone, every piece) and works out their dots.
  auto move = [&](int member, int share) {
    for (int u = 0; u < count; u++) {
      for (int piece = 0; piece < pieces; piece++) {
        if (share > 1 && (movingSlots[u] * pieces + piece) % share != member) continue;
        const bool upper = piece == 1;
        const int from = upper ? half : 0, length = pieces == 1 ? n : (upper ? n - half : half);
        const double f = movingFactors[u];
        float* w = movingWeights[u] + from;
        pieceLengths[static_cast<size_t>(u * pieces + piece)] =
            blockwise ? k.moveSparse(w, upper ? highX : lowX, f, length, kernels::noOpLimit(f))
                      : k.moveMeasured(w, values + from, f, length);
      }
    }
    if (dots && share > 1) dotsOfPieces(member, share, half);
  };
  // A step the caller runs alone moves as one thread does: the next search works out its own dots.
  bool alone = members == 1;
  if (alone) {
    move(0, 1);
  } else {
    Globals::team().runOnEach(static_cast<long long>(count) * n, [&](int m) { move(m, members); }, [&] {
      alone = true;
      move(0, 1);
    });
  }
  if (dots && !alone) {
    // A unit's dot product: its pieces' sums added, which is one more order
    // of the same sum (see WinnerSearch::findFromDots).
    for (int u = 0; u < units; u++) {
      const int q = u * pieces;
      const double lower = memberDots[static_cast<size_t>(q % members) * memberDotsStride + q];
      nextDots[static_cast<size_t>(u)] =
          pieces == 2 ? lower + memberDots[static_cast<size_t>((q + 1) % members) * memberDotsStride + q + 1] : lower;
    }
    dotsFor = upcoming;
  }
  for (int u = 0; u < count; u++) {
    const double* piece = &pieceLengths[static_cast<size_t>(u) * pieces];
    scanLengths[static_cast<size_t>(movingSlots[u])] = pieces == 2 ? piece[0] + piece[1] : piece[0];
  }
}

// ---------------------------------------------------------------------------
// Growth
// ---------------------------------------------------------------------------

GridPos NeuronLayer::getMaxDissNeighbour(const int* n) {
  GridPos res{0, 0};
  float diss = 0.0f;
  const int nx = n[0], ny = n[1];
  const float* own = neuronMap[nx][ny]->weights;
  // Not strictly: on equal dissimilarity the neighbour looked at later wins.
  auto consider = [&](int i, int j) {
    float currDiss = Globals::calcQE(own, neuronMap[i][j]->weights);
    if (currDiss >= diss) {
      diss = currDiss;
      res = {i, j};
    }
  };
  if (ny > 0) consider(nx, ny - 1);
  if (ny < y - 1) consider(nx, ny + 1);
  if (nx > 0) consider(nx - 1, ny);
  if (nx < x - 1) consider(nx + 1, ny);
  return res;
}

void NeuronLayer::insertRow(int pos) {
  y++;
  std::cout << "inserting row:" << pos << std::endl;
  growGrid(pos, true);
}

void NeuronLayer::insertColumn(int pos) {
  x++;
  std::cout << "inserting column:" << pos << std::endl;
  growGrid(pos, false);
}

void NeuronLayer::growGrid(int pos, bool isRow) {
  const int oldColumns = isRow ? x : x - 1;
  Neuron*** newMap = newGrid(x, y);
  for (int i = 0; i < x; i++) {
    for (int j = 0; j < y; j++) {
      const int along = isRow ? j : i;
      if (along < pos) {
        newMap[i][j] = neuronMap[i][j];
      } else if (along > pos) {
        newMap[i][j] = isRow ? neuronMap[i][j - 1] : neuronMap[i - 1][j];
      } else {
        const Neuron* before = isRow ? neuronMap[i][pos - 1] : neuronMap[pos - 1][j];
        const Neuron* after = isRow ? neuronMap[i][pos] : neuronMap[pos][j];
        float* w = Globals::meanWeights(before->weights, after->weights);
        newMap[i][j] = new Neuron(w, gid, level, superPos[0], superPos[1]);
      }
    }
  }
  freeGrid(neuronMap, oldColumns);
  neuronMap = newMap;
  influenceRadius = -1;
  prepareSearch();
}

// ---------------------------------------------------------------------------
// Maps that could never meet their bound
// ---------------------------------------------------------------------------

// Ways a map can be unable ever to meet its bound. None applies under a
// cycle cap, which ends every map.
// - Every unit at one point, and the bound below the least error one unit
//   can have on the map's vectors (every vector then goes to one unit). A
//   1 x 1 map stays so for good. A larger map stays so while every unit gets
//   the very same step factor, which takes a radius above 2^25 times the
//   grid's extent (INITIAL_NEIGHBOURHOOD near the int limit, say); it then
//   only adds rows of copies, and is taken to be stuck after
//   kOnePointChecks checks.
// - The worst unit's error within the rounding floor of its vectors, and no
//   new lowest error for kFloorChecks checks: growth, always next to the
//   worst unit, cannot lower an error that is only rounding. Only a bound
//   near 10^-13 of the data's scale (TAU_1 and TAU_2 near the float limit),
//   or data of scales 10^13 apart, brings this about.
// - An error that has been infinite at every check, kFloorChecks of them:
//   the data lie so far apart that squared distances overflow the float
//   range, and only a bound that is itself infinite is ever met.
bool NeuronLayer::stopsShort(double stopBound, Progress& progress) {
  const bool capped = Globals::MAX_CYCLES > 0;
  if (!capped && unitsAtOnePoint()) {
    progress.checksAsOnePoint++;
    if (progress.leastOneUnit < 0.0) {
      progress.leastOneUnit = leastErrorOfOneUnit(dataItems->size(), vectorsOf(dataItems), dataLength);
    }
    if (stopBound < progress.leastOneUnit) {
      if (x == 1 && y == 1) {
        std::cout << "a 1 x 1 map cannot reach its bound: training stops" << std::endl;
        return true;
      }
      if (progress.checksAsOnePoint >= kOnePointChecks) {
        std::cout << "all units have stayed at one point, the bound cannot be reached: training stops" << std::endl;
        return true;
      }
    }
  } else {
    progress.checksAsOnePoint = 0;
  }
  if (MQE < progress.lowestMQE) {
    progress.lowestMQE = MQE;
    progress.checksSinceLowest = 0;
  } else {
    progress.checksSinceLowest++;
  }
  if (capped || progress.checksSinceLowest < kFloorChecks) {
    return false;
  }
  if (atRoundingFloor(neuronMap[MQENeuron[0]][MQENeuron[1]])) {
    std::cout << "MQE cannot fall below the rounding floor: training stops" << std::endl;
    stoppedShort = true;
    return true;
  }
  if (std::isinf(progress.lowestMQE)) {
    std::cout << "MQE stays infinite (squared distances overflow): training stops" << std::endl;
    stoppedShort = true;
    return true;
  }
  return false;
}

bool NeuronLayer::growthFits(int addedColumns, int addedRows) const {
  if (fitsInMemory(static_cast<long long>(x) + addedColumns, static_cast<long long>(y) + addedRows, dataLength)) {
    return true;
  }
  std::cout << "the map cannot grow any more in memory: training stops" << std::endl;
  return false;
}

bool NeuronLayer::unitsAtOnePoint() const {
  const float* first = neuronMap[0][0]->weights;
  for (int j = 0; j < y; j++) {
    for (int i = 0; i < x; i++) {
      if (memcmp(neuronMap[i][j]->weights, first, sizeof(float) * dataLength) != 0) {
        return false;
      }
    }
  }
  return true;
}

bool NeuronLayer::atRoundingFloor(const Neuron* unit) const {
  Data_Vector* items = unit->getRepresentingDataItems();
  return static_cast<double>(unit->MQE) <= roundingFloor(items->size(), vectorsOf(items), dataLength);
}

// ---------------------------------------------------------------------------
// Expansion
// ---------------------------------------------------------------------------

void NeuronLayer::expandUnits() {
  if (!mayExpand()) {
    return;
  }
  for (int j = 0; j < y; j++) {
    for (int i = 0; i < x; i++) {
      Neuron* unit = neuronMap[i][j];
      if (!shouldExpand(unit)) {
        continue;
      }
      if (Globals::ORIENTATION) {
        expandWithCorners(i, j);
      } else {
        unit->addMap(unit, unit->MQE, level + 1, Globals::INITIAL_X_SIZE, Globals::INITIAL_Y_SIZE, i, j);
        Globals::addLayer(level + 1, unit->getMap());
      }
    }
  }
}

// Below the first layer the units are scanned in order while they hold more
// vectors than the parent unit: a unit holding as many as the parent means
// the map has not split its data (no expansion), one holding fewer ends the
// scan with expansion allowed. Since every vector of the map lies in one unit,
// the scan always ends at unit (0, 0).
bool NeuronLayer::mayExpand() const {
  if (level <= 1) {
    return true;
  }
  const int a = superNeuron->representsMultiDataItems();
  for (int j = 0; j < y; j++) {
    for (int i = 0; i < x; i++) {
      const int b = neuronMap[i][j]->representsMultiDataItems();
      if (a == b) {
        return false;
      }
      if (a > b) {
        return true;
      }
    }
  }
  return true;
}

bool NeuronLayer::shouldExpand(const Neuron* unit) const {
  const double threshold =
      static_cast<double>(Globals::TAU_2) * static_cast<double>(Globals::getFirstLayerMap()->superMQE);
  if (!(static_cast<double>(unit->MQE) > threshold)) {
    return false;
  }
  // A map stuck at the rounding floor or an infinite error would hand the
  // same to a child map; only units with finite errors above rounding get one.
  return !(stoppedShort && (std::isinf(unit->MQE) || atRoundingFloor(unit)));
}

void NeuronLayer::expandWithCorners(int i, int j) {
  Neuron* unit = neuronMap[i][j];
  float* corners[4];
  for (float*& corner : corners) {
    corner = Globals::newVector(Globals::vectorlength);
  }
  getNewWeights(i, j, corners[0], corners[1], corners[2], corners[3]);
  if (childWouldRepeat(i, j, corners[0], corners[1], corners[2], corners[3])) {
    std::cout << "a child map of unit " << i << "," << j << " would repeat this map for ever: not expanded"
              << std::endl;
    for (float* corner : corners) {
      free(corner);
    }
    return;
  }
  unit->addMap(unit, unit->MQE, level + 1, i, j, corners[0], corners[1], corners[2], corners[3]);
  Globals::addLayer(level + 1, unit->getMap());
}

// The child would train on this map's vectors (the unit holds them all),
// all one point, so that no choice of training vector makes a difference;
// with this map's bound (the unit's error is the error above this map) and
// from this map's starting weights. Everything that decides training is the
// same, so it ends as this map did and expands the same unit, from the same
// corners.
bool NeuronLayer::childWouldRepeat(int i, int j, const float* UL, const float* UR, const float* LL, const float* LR) {
  const Neuron* unit = neuronMap[i][j];
  if (startCorners.empty() || unit->representsMultiDataItems() != dataItems->size() || unit->MQE != superMQE) {
    return false;
  }
  const float* corners[4] = {UL, UR, LL, LR};
  for (int c = 0; c < 4; c++) {
    if (memcmp(startCorners.data() + static_cast<size_t>(c) * dataLength, corners[c], sizeof(float) * dataLength) !=
        0) {
      return false;
    }
  }
  return allVectorsEqual(dataItems->size(), vectorsOf(dataItems), dataLength);
}

// ---------------------------------------------------------------------------
// Corner vectors of a child map
// ---------------------------------------------------------------------------

void NeuronLayer::getNewWeights(int xPos, int yPos, float* UL, float* UR, float* LL, float* LR) {
  const float* t = neuronMap[xPos][yPos]->weights;
  auto at = [&](bool present, int i, int j) -> const float* { return present ? neuronMap[i][j]->weights : nullptr; };
  const bool left = xPos > 0, right = xPos < x - 1, up = yPos > 0, down = yPos < y - 1;
  const float* nUL = at(left && up, xPos - 1, yPos - 1);
  const float* nU = at(up, xPos, yPos - 1);
  const float* nL = at(left, xPos - 1, yPos);
  const float* nBL = at(left && down, xPos - 1, yPos + 1);
  const float* nB = at(down, xPos, yPos + 1);
  const float* nBR = at(right && down, xPos + 1, yPos + 1);
  const float* nUR = at(right && up, xPos + 1, yPos - 1);
  const float* nR = at(right, xPos + 1, yPos);

  // The lower-left and lower-right grid corners take their three neighbours
  // in another order (which the sums' rounding can tell).
  const bool lowerLeftCorner = !left && !down;
  const bool lowerRightCorner = !right && !down;
  const OwnedVector corners[4] = {
      lowerRightCorner ? cornerTowards(t, nUL, nU, nL) : cornerTowards(t, nL, nUL, nU),
      lowerLeftCorner ? cornerTowards(t, nU, nUR, nR) : cornerTowards(t, nR, nUR, nU),
      cornerTowards(t, nL, nBL, nB),
      cornerTowards(t, nR, nBR, nB),
  };
  if (xPos == 0 && yPos == 0) {
    traceCorners(corners);
  }
  float* targets[4] = {UL, UR, LL, LR};
  for (int c = 0; c < 4; c++) {
    memcpy(targets[c], corners[c].get(), sizeof(float) * Globals::vectorlength);
  }
}

// ---------------------------------------------------------------------------
// Output: the writers of each kind live with the other output files.
// ---------------------------------------------------------------------------

void NeuronLayer::saveAs(SaveKind what, const OutputSettings& shown) {
  if (what == SaveKind::HtmlPage) {
    saveAsHTML(shown);
  } else if (what == SaveKind::MapLibrary) {
    saveAsCartix(shown);
  }
}
