#include "neuronlayer.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>

#include "base/failure.h"
#include "base/interrupt.h"
#include "base/pointergrid.h"
#include "dataitem.h"
#include "globals.h"
#include "io/filenames.h"
#include "io/mqe0file.h"
#include "io/outputfile.h"
#include "neuron.h"
#include "training/cornertrace.h"
#include "training/errorfloor.h"
#include "training/mapsize.h"
#include "training/progressline.h"
#include "training/schedule.h"
#include "training/stoprules.h"
#include "training/trainingdraws.h"
#include "training/trainingengine.h"

namespace {

const float kFarAway = 1000000000.0f;  // the error of a map not yet measured
// Training looks for a request to stop once in this many cycles plus one (a
// mask): often enough to stop within a blink, seldom enough to cost nothing.
const long long kStopPollCycles = 63;

// The vectors of a list, as the stop rules read them.
VectorAt vectorsOf(Data_Vector* items) {
  return [items](int k) { return items->elementAt(k)->values(); };
}

// What the status line shows of a map in training.
ProgressLine::State progressOf(const NeuronLayer& map, long long checks, float measured) {
  return ProgressLine::State{map.getLevel(),
                             map.gid,
                             map.getX(),
                             map.getY(),
                             checks,
                             measured,
                             static_cast<float>(map.getStupidity() * map.superMQE)};
}

// A vector's values as the training engine reads them.
TrainingInput inputOf(const DataItem* item) {
  if (item->isSparse()) return {true, nullptr, item->sparse(), item->squaredLength()};
  return {false, item->dense(), {0, nullptr, nullptr}, 0.0};
}

// A vector of the arithmetic, released with free when it goes.
using OwnedVector = std::unique_ptr<float, void (*)(void*)>;
OwnedVector owned(float* v) { return OwnedVector(v, free); }

// A corner of a child map looks from the parent unit's weights t towards the
// three neighbours on its side (null where the grid ends): all present, the
// mean offset towards them; one present (a border cuts off the others),
// halfway to it; none, a copy of t.
OwnedVector cornerTowards(const float* t, const float* a, const float* b, const float* c) {
  if (a != nullptr && b != nullptr && c != nullptr) {
    return owned(Globals::vectorMeanOffset(t, a, b, c));
  }
  const float* only = a != nullptr ? a : (b != nullptr ? b : c);
  if (only != nullptr) {
    return owned(Globals::vectorHalfway(t, only));
  }
  OwnedVector copy = owned(Globals::newVector(Globals::vectorlength));
  memcpy(copy.get(), t, sizeof(float) * Globals::vectorlength);
  return copy;
}

}  // namespace

// ---- Construction and destruction ----

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
      neuronMap(newPointerGrid<Neuron>(initialSizeX, initialSizeY)),
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
  freePointerGrid(neuronMap, x);
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

// ---- Level-0 error ----

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

// ---- Winner search and measurement ----

void NeuronLayer::prepareEngine() {
  if (engine == nullptr) {
    const bool sparse =
        dataItems != nullptr && TrainingEngine::sparseSearchPays(dataItems->size(), dataLength, [this](int k) {
          const DataItem* item = dataItems->elementAt(k);
          return item->isSparse() ? item->sparse().count : -1;
        });
    engine = std::make_unique<TrainingEngine>(dataLength, sparse, Globals::team(), Neuron::influence);
  }
  engine->prepare(x, y, [this](int i, int j) { return neuronMap[i][j]->weights; });
}

void NeuronLayer::findWinner(DataItem* di, int* winner) {
  const int k = engine->nearest(inputOf(di), winner[1] * x + winner[0]);
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
  prepareEngine();
  engine->assignAll(
      dataItems->size(), [this](int k) { return inputOf(dataItems->elementAt(k)); },
      [this](int k, int unit) { neuronMap[unit % x][unit / x]->addRepresentingDataItem(dataItems->elementAt(k)); });
}

void NeuronLayer::calcMQE() {
  MQE = 0.0f;
  int c = 0;
  float maxMQE = 0.0f;
  testDataItems();
  // Each unit's error is its own float sum, worked out on any member of the team.
  engine->forEachUnit(static_cast<long long>(dataItems->size()) * dataLength,
                      [this](int s) { neuronMap[s % x][s / x]->calcMQE(); });
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

// ---- Training ----

void NeuronLayer::train() {
  std::optional<OutputFile> mqeFile;  // the error trace, one line per cycle
  if (Globals::printMQE) {
    mqeFile.emplace(fileName("mqe"), "MQE file");
  }
  startTraining();
  prepareEngine();
  trainCycles(mqeFile ? &*mqeFile : nullptr);
  engine.reset();  // its working lists serve no more: a trained map is only read
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

void NeuronLayer::trainCycles(OutputFile* trace) {
  const long long N = dataItems->size();
  const long long P = N * Globals::EXPAND_CYCLES;
  const StopRule rule{static_cast<double>(stupidity) * static_cast<double>(superMQE),
                      N * static_cast<long long>(Globals::MAX_CYCLES)};
  const double slope = sawtoothSlope(ini_learnrate, min_learnrate, P);
  TrainingSchedule schedule(N, P, radiusStep(P, ini_neighbourhood));
  StopRules stopRules(Globals::MAX_CYCLES > 0);
  TrainingDraws draws(dataItems, static_cast<int>(N), [] { return Globals::getIntRandom(); });
  long long checks = 0;
  float measured = HUGE_VALF;  // the error at the last growth check
  for (;;) {
    currentCycle++;
    if ((currentCycle & kStopPollCycles) == 0) {
      failIfStopRequested();
    }
    const TrainingSchedule::Cycle cycle = schedule.next();
    if (cycle.dot) {
      ProgressLine::atDot(progressOf(*this, checks, measured), Globals::quiet);
    }
    DataItem* di = dataItems->elementAt(draws.next(schedule.cyclesBeforeCheck()));
    const int following = draws.upcoming();
    int winner[2] = {0, 0};
    findWinner(di, winner);
    adaptWeights(winner, di, following >= 0 ? dataItems->elementAt(following) : nullptr);
    learnrate = sawtoothRate(slope, ini_learnrate, cycle.stepInTooth);
    if (cycle.shrinkRadius && --neighbourhood < 0) {
      neighbourhood = 0;
    }
    if (trace != nullptr) {
      traceMQE(*trace);
    }
    if (cycle.growthCheck) {
      checks++;
      if (growthCheck(rule, stopRules)) {
        return;
      }
      measured = MQE;
      ProgressLine::atCheck(progressOf(*this, checks, measured));
    }
  }
}

void NeuronLayer::traceMQE(OutputFile& trace) {
  remeasure();
  char line[32];
  trace.write(line, static_cast<size_t>(snprintf(line, sizeof line, "%g\n", static_cast<double>(MQE))));
}

bool NeuronLayer::growthCheck(const StopRule& rule, StopRules& stopRules) {
  if (!Globals::printMQE) {
    remeasure();  // with the trace on, the cycle has just measured
  }
  std::cout << "MQE ; " << MQE << ", to go : " << static_cast<float>(stupidity * superMQE) << std::endl;
  if (static_cast<double>(MQE) <= rule.bound || (Globals::MAX_CYCLES > 0 && currentCycle >= rule.cycleCap)) {
    return true;
  }
  if (stopsShort(rule.bound, stopRules) || !grow()) {
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
  if ((addsColumn || addsRow) &&
      !fitsInMemory(static_cast<long long>(x) + addsColumn, static_cast<long long>(y) + addsRow, dataLength)) {
    std::cout << "the map cannot grow any more in memory: training stops" << std::endl;
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

void NeuronLayer::adaptWeights(const int* winner, DataItem* di, const DataItem* next) {
  // Every unit of the square window around the winner (clipped to the grid)
  // moves with its own step factor: the learning rate times its influence.
  const bool withNext = next != nullptr && engine->usesNext();
  const TrainingInput following = withNext ? inputOf(next) : TrainingInput{};
  engine->moveWindow(winner[0], winner[1], neighbourhood, learnrate, inputOf(di), withNext ? &following : nullptr);
}

// ---- Growth ----

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
  Neuron*** newMap = newPointerGrid<Neuron>(x, y);
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
  freePointerGrid(neuronMap, oldColumns);
  neuronMap = newMap;
  prepareEngine();
}

// ---- Maps that could never meet their bound ----

bool NeuronLayer::stopsShort(double stopBound, StopRules& rules) {
  const StopRules::Stop stop =
      rules.atCheck({MQE, stopBound, x == 1 && y == 1, [this] { return unitsAtOnePoint(); },
                     [this] { return leastErrorOfOneUnit(dataItems->size(), vectorsOf(dataItems), dataLength); },
                     [this] { return atRoundingFloor(neuronMap[MQENeuron[0]][MQENeuron[1]]); }});
  if (stop == StopRules::Stop::None) {
    return false;
  }
  std::cout << StopRules::reason(stop) << std::endl;
  stoppedShort = StopRules::stopsWithoutLearning(stop);
  return true;
}

bool NeuronLayer::unitsAtOnePoint() const {
  return allVectorsEqual(
      x * y, [this](int s) { return DenseValues(neuronMap[s % x][s / x]->weights); }, dataLength);
}

bool NeuronLayer::atRoundingFloor(const Neuron* unit) const {
  Data_Vector* items = unit->getRepresentingDataItems();
  return static_cast<double>(unit->MQE) <= roundingFloor(items->size(), vectorsOf(items), dataLength);
}

// ---- Expansion ----

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
  if (childWouldRepeat(i, j, corners)) {
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

bool NeuronLayer::childWouldRepeat(int i, int j, const float* const (&corners)[4]) {
  const Neuron* unit = neuronMap[i][j];
  return StopRules::childRepeats(
      startCorners, corners, dataLength, unit->representsMultiDataItems() == dataItems->size(), unit->MQE == superMQE,
      [this] { return allVectorsEqual(dataItems->size(), vectorsOf(dataItems), dataLength); });
}

// ---- Corner vectors of a child map ----

void NeuronLayer::getNewWeights(int xPos, int yPos, float* UL, float* UR, float* LL, float* LR) {
  const float* t = neuronMap[xPos][yPos]->weights;
  auto at = [&](bool present, int i, int j) -> const float* { return present ? neuronMap[i][j]->weights : nullptr; };
  const bool left = xPos > 0, right = xPos<x - 1, up = yPos> 0, down = yPos < y - 1;
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
    traceCorners({corners[0].get(), corners[1].get(), corners[2].get(), corners[3].get()}, Globals::vectorlength);
  }
  float* targets[4] = {UL, UR, LL, LR};
  for (int c = 0; c < 4; c++) {
    memcpy(targets[c], corners[c].get(), sizeof(float) * Globals::vectorlength);
  }
}

// ---- Output: the writers of each kind live with the other output files. ----

void NeuronLayer::saveAs(SaveKind what, const OutputSettings& shown) {
  if (what == SaveKind::HtmlPage) {
    saveAsHTML(shown);
  } else if (what == SaveKind::MapLibrary) {
    saveAsCartix(shown);
  }
}
