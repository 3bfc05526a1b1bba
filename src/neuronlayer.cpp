#include "neuronlayer.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>

#include "dataitem.h"
#include "distancekernels.h"
#include "errorfloor.h"
#include "globals.h"
#include "maplibrary.h"
#include "mappage.h"
#include "mapsize.h"
#include "neuron.h"
#include "outputfile.h"
#include "winnersearch.h"

namespace {

const float kFarAway = 1000000000.0f;  // the error of a map not yet measured
// A winner search starts above every finite distance, so that every vector
// gets its nearest unit however far away it lies; only a vector whose
// distances all overflow the float range keeps the winner passed in.
const float kSearchStart = HUGE_VALF;
// Growth checks in a row without a new lowest error, all of it rounding,
// after which a map that no cycle cap will stop is taken to be stuck.
const int kFloorChecks = 50;
// Growth checks in a row with every unit at one point, after which such a
// map is taken to be stuck (see stopsShort).
const int kOnePointChecks = 10;

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

// The training vectors of the coming cycles, drawn before their cycle so
// that their way from memory overlaps the work of the cycles before: the
// list slot of the third cycle ahead, the record of the second and the data
// of the next are fetched, each stage a cycle after the one it needs. Only
// cycles sure to come (up to the next growth check) are drawn ahead, so the
// random sequence is drawn exactly as often, and in the same order, as by
// one draw at the start of every cycle.
class TrainingDraws {
 public:
  TrainingDraws(Data_Vector* inItems, int inCount, int inComponents)
      : items(inItems), count(inCount), vectorBytes(static_cast<long long>(inComponents) * sizeof(float)) {}

  // The index of this cycle's vector, when `certain` more cycles surely follow it.
  int next(long long certain) {
    int index;
    if (queued > 0) {
      index = ahead[0];
      for (int k = 1; k < queued; k++) ahead[k - 1] = ahead[k];
      queued--;
    } else {
      index = draw();
    }
    while (queued < kDepth && queued < certain) {
      ahead[queued++] = draw();
    }
    if (queued > 0) {
      const char* data = reinterpret_cast<const char*>(items->elementAt(ahead[0])->getDataVector());
      for (long long at = 0; at < vectorBytes; at += 64) __builtin_prefetch(data + at);
    }
    if (queued > 1) __builtin_prefetch(items->elementAt(ahead[1]));
    if (queued > 2) __builtin_prefetch(items->slotAt(ahead[2]));
    return index;
  }

 private:
  static constexpr int kDepth = 3;
  Data_Vector* items;
  int count;
  long long vectorBytes;
  int ahead[kDepth] = {0, 0, 0};
  int queued = 0;

  int draw() { return Globals::getIntRandom() % count; }
};

}  // namespace

// ---------------------------------------------------------------------------
// Construction and destruction
// ---------------------------------------------------------------------------

NeuronLayer::NeuronLayer(Neuron* sn, Data_Vector* indataItems, float insuperMQE, int inlevel, int initialSizeX,
                         int initialSizeY, int posX, int posY, float* ULweight, float* URweight, float* LLweight,
                         float* LRweight) {
  dataItems = indataItems;
  dataLength = Globals::vectorlength;
  superMQE = insuperMQE;
  superNeuron = sn;
  superPos = new int[2]{posX, posY};
  gid = Globals::HTML_GID;
  Globals::HTML_GID++;
  MQE = kFarAway;
  MQENeuron = new int[2]{0, 0};
  stupidity = Globals::TAU_1;
  ini_learnrate = Globals::INITIAL_LEARNRATE;
  learnrate = Globals::INITIAL_LEARNRATE;
  min_learnrate = Globals::MIN_LEARNRATE;
  ini_neighbourhood = Globals::INITIAL_NEIGHBOURHOOD;
  neighbourhood = Globals::INITIAL_NEIGHBOURHOOD;
  min_neighbourhood = Globals::MIN_NEIGHBOURHOOD;
  neighbourhood_falloff = 0.0f;  // kept for the record; no operation uses it
  level = inlevel;
  x = initialSizeX;
  y = initialSizeY;
  currentCycle = 0;
  search = nullptr;
  scanWeights = nullptr;
  startCorners = nullptr;
  stoppedShort = false;
  movingWeights = nullptr;
  movingFactors = nullptr;
  scanCapacity = 0;
  neuronMap = newGrid(x, y);

  if (Globals::ORIENTATION && sn != nullptr && inlevel > 1) {
    neuronMap[0][0] = new Neuron(ULweight, gid, level, superPos[0], superPos[1]);
    neuronMap[1][0] = new Neuron(URweight, gid, level, superPos[0], superPos[1]);
    neuronMap[0][1] = new Neuron(LLweight, gid, level, superPos[0], superPos[1]);
    neuronMap[1][1] = new Neuron(LRweight, gid, level, superPos[0], superPos[1]);
    startCorners = Globals::newVector(4LL * dataLength);
    const float* corners[4] = {ULweight, URweight, LLweight, LRweight};
    for (int c = 0; c < 4; c++) {
      memcpy(startCorners + static_cast<long long>(c) * dataLength, corners[c], sizeof(float) * dataLength);
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
  delete[] superPos;
  delete[] MQENeuron;
  for (int j = 0; j < y; j++) {
    for (int i = 0; i < x; i++) {
      delete neuronMap[i][j];
    }
  }
  freeGrid(neuronMap, x);
  delete search;
  free(scanWeights);
  free(startCorners);
  free(movingWeights);
  free(movingFactors);
}

NeuronLayer* NeuronLayer::getLayer1Map() { return neuronMap[0][0]->getMap(); }

std::string NeuronLayer::fileName(const char* extension) const {
  return std::string(Globals::savePath) + "/" + mapFileStem(gid, level, superPos[0], superPos[1]) + "." + extension;
}

// ---------------------------------------------------------------------------
// Level-0 error
// ---------------------------------------------------------------------------

void NeuronLayer::calcLayer0MQE() {
  float* mean = Globals::MQE0_FILE == nullptr ? computeMQE0() : loadMQE0File();
  std::cout << "MQE: " << MQE << std::endl;
  delete neuronMap[0][0];
  neuronMap[0][0] = new Neuron(mean, gid, level, superPos[0], superPos[1]);
  // Nothing can be learned from vectors that all equal their mean, and no
  // map error could ever fall to TAU_1 times it.
  if (!(MQE > 0.0f)) {
    Globals::fail("MQE0 must be greater than 0 to train (input vectors all equal?)");
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
  // Closed and released on every way out, failures included.
  std::unique_ptr<FILE, int (*)(FILE*)> owned(Globals::openForReading(Globals::MQE0_FILE), fclose);
  FILE* file = owned.get();
  if (file == nullptr) {
    Globals::fail(std::string("cannot open MQE0 file ") + Globals::MQE0_FILE);
  }
  // A token is a run of non-blank characters; one of any length is read
  // whole, so an overlong token simply does not match a keyword.
  auto readToken = [file]() {
    std::string token;
    int c = getc(file);
    while (c != EOF && isspace(c)) {
      c = getc(file);
    }
    while (c != EOF && !isspace(c)) {
      token.push_back(static_cast<char>(c));
      c = getc(file);
    }
    return token;
  };
  if (readToken() != "$MEAN_VEC") {
    Globals::fail("cannot read $MEAN_VEC");
  }
  std::unique_ptr<float, void (*)(void*)> mean(Globals::newVector(dataLength), free);
  for (int i = 0; i < dataLength; i++) {
    if (fscanf(file, "%f", &mean.get()[i]) != 1) {
      break;  // the remaining components stay 0; the token is read as the keyword next
    }
  }
  if (readToken() != "$MQE0") {
    Globals::fail("cannot read $MQE0");
  }
  float loaded;
  if (fscanf(file, "%f", &loaded) == 1) {
    MQE = loaded;  // without a number the initial 1000000000 stays
  }
  return mean.release();
}

// ---------------------------------------------------------------------------
// Training and growth
// ---------------------------------------------------------------------------

float NeuronLayer::sawtoothLearnrate(float iniLearnrate, float minLearnrate, long long P, long long cycle) {
  return sawtoothRate(sawtoothSlope(iniLearnrate, minLearnrate, P), iniLearnrate, cycle % (P + 1));
}

double NeuronLayer::sawtoothSlope(float iniLearnrate, float minLearnrate, long long P) {
  return (static_cast<double>(iniLearnrate) - static_cast<double>(minLearnrate)) * (-1.0) / static_cast<double>(P);
}

float NeuronLayer::sawtoothRate(double slope, float iniLearnrate, long long stepInTooth) {
  return static_cast<float>(slope * static_cast<double>(stepInTooth) + static_cast<double>(iniLearnrate));
}

long long NeuronLayer::radiusStep(long long P, int iniNeighbourhood) {
  // The radius count plus one is taken in double: iniNeighbourhood + 1 would overflow at the int limit.
  long long step = static_cast<long long>(static_cast<double>(P) / (static_cast<double>(iniNeighbourhood) + 1.0));
  // A growth period shorter than the radius count would give a step of 0
  // cycles; shrink the radius every cycle instead.
  return step < 1 ? 1 : step;
}

void NeuronLayer::prepareSearch() {
  if (search == nullptr) {
    search = new WinnerSearch(dataLength);
  }
  const int units = x * y;
  search->reserve(units);
  if (units > scanCapacity) {
    scanWeights = static_cast<const float**>(realloc(scanWeights, sizeof(float*) * units));
    movingWeights = static_cast<float**>(realloc(movingWeights, sizeof(float*) * units));
    movingFactors = static_cast<double*>(realloc(movingFactors, sizeof(double) * units));
    if (scanWeights == nullptr || movingWeights == nullptr || movingFactors == nullptr) {
      failOutOfMemory();
    }
    scanCapacity = units;
  }
  for (int j = 0; j < y; j++) {
    for (int i = 0; i < x; i++) {
      scanWeights[j * x + i] = neuronMap[i][j]->weights;
    }
  }
}

void NeuronLayer::findWinner(DataItem* di, int* winner) {
  const int k = search->find(scanWeights, x * y, di->getDataVector(), kSearchStart, winner[1] * x + winner[0]);
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

void NeuronLayer::train() {
  std::optional<OutputFile> mqeFile;  // the error trace, one line per cycle
  if (Globals::printMQE) {
    mqeFile.emplace(fileName("mqe"), "MQE file");
  }
  stupidity = Globals::TAU_1;
  learnrate = Globals::INITIAL_LEARNRATE;
  neighbourhood = Globals::INITIAL_NEIGHBOURHOOD;
  min_learnrate = Globals::MIN_LEARNRATE;
  min_neighbourhood = Globals::MIN_NEIGHBOURHOOD;
  currentCycle = 0;

  const long long N = dataItems->size();
  const long long P = N * Globals::EXPAND_CYCLES;
  const long long T = radiusStep(P, ini_neighbourhood);
  const long long cycleCap = N * static_cast<long long>(Globals::MAX_CYCLES);
  const double stopBound = static_cast<double>(stupidity) * static_cast<double>(superMQE);
  const double slope = sawtoothSlope(ini_learnrate, min_learnrate, P);
  prepareSearch();

  // Where the cycle stands in each schedule: a dot every N cycles, a radius
  // step every T, the learning-rate sawtooth of period P + 1, a growth check
  // every P. Counters instead of remainders of the cycle number.
  long long inPass = 0, inRadiusStep = 0, inSawtooth = 0, inGrowthPeriod = 0;
  Progress progress{HUGE_VALF, 0, 0, -1.0};
  TrainingDraws draws(dataItems, static_cast<int>(N), dataLength);
  for (;;) {
    currentCycle++;
    if (++inPass == N) {
      inPass = 0;
      std::cout << "." << std::flush;
      endRunIfConsoleFailed();
    }
    const bool growthCheck = ++inGrowthPeriod == P;
    if (growthCheck) {
      inGrowthPeriod = 0;
    }
    const int index = draws.next(growthCheck ? 0 : P - inGrowthPeriod);
    DataItem* currentDataItem = dataItems->elementAt(index);
    int winner[2] = {0, 0};
    findWinner(currentDataItem, winner);
    adaptWeights(winner, currentDataItem);

    if (++inSawtooth == P + 1) {
      inSawtooth = 0;
    }
    learnrate = sawtoothRate(slope, ini_learnrate, inSawtooth);
    if (++inRadiusStep == T) {
      inRadiusStep = 0;
      neighbourhood--;
      if (neighbourhood < 0) {
        neighbourhood = 0;
      }
    }
    if (Globals::printMQE) {
      remeasure();
      char line[32];
      mqeFile->write(line, static_cast<size_t>(snprintf(line, sizeof line, "%g\n", static_cast<double>(MQE))));
    }
    if (!growthCheck) {
      continue;
    }

    // Growth check.
    if (!Globals::printMQE) {
      remeasure();  // with the trace on, the cycle has just measured
    }
    std::cout << "MQE ; " << MQE << ", to go : " << static_cast<float>(stupidity * superMQE) << std::endl;
    if (static_cast<double>(MQE) <= stopBound || (Globals::MAX_CYCLES > 0 && currentCycle >= cycleCap)) {
      break;
    }
    if (stopsShort(stopBound, progress)) {
      break;
    }
    int* dissNeighbour = getMaxDissNeighbour(MQENeuron);
    const int mx = MQENeuron[0], my = MQENeuron[1];
    const int dx = dissNeighbour[0], dy = dissNeighbour[1];
    const bool addsColumn = mx != dx, addsRow = mx == dx && my != dy;
    if ((addsColumn || addsRow) && !growthFits(addsColumn ? 1 : 0, addsRow ? 1 : 0)) {
      delete[] dissNeighbour;
      break;
    }
    std::cout << "neuron with max MQE : " << MQENeuron[0] << "," << MQENeuron[1] << std::endl;
    if (mx > dx) {
      insertColumn(mx);
    } else if (mx < dx) {
      insertColumn(dx);
    } else if (my > dy) {
      insertRow(my);
    } else if (my < dy) {
      insertRow(dy);
    }
    learnrate = ini_learnrate;
    neighbourhood = ini_neighbourhood;
    delete[] dissNeighbour;
  }
  std::cout << "MQE: " << MQE << std::endl;

  expandUnits();

  if (mqeFile) {
    mqeFile->close();
  }
}

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
      progress.leastOneUnit = leastErrorOfOneUnit(dataItems, dataLength);
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
  if (mapFitsInMemory(static_cast<long long>(x) + addedColumns, static_cast<long long>(y) + addedRows, dataLength)) {
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
  return static_cast<double>(unit->MQE) <= roundingFloor(unit->getRepresentingDataItems(), dataLength);
}

// The child would train on this map's vectors (the unit holds them all),
// all one point, so that no choice of training vector makes a difference;
// with this map's bound (the unit's error is the error above this map) and
// from this map's starting weights. Everything that decides training is the
// same, so it ends as this map did and expands the same unit, from the same
// corners.
bool NeuronLayer::childWouldRepeat(int i, int j, const float* UL, const float* UR, const float* LL, const float* LR) {
  const Neuron* unit = neuronMap[i][j];
  if (startCorners == nullptr || unit->representsMultiDataItems() != dataItems->size() || unit->MQE != superMQE) {
    return false;
  }
  const float* corners[4] = {UL, UR, LL, LR};
  for (int c = 0; c < 4; c++) {
    if (memcmp(startCorners + static_cast<long long>(c) * dataLength, corners[c], sizeof(float) * dataLength) != 0) {
      return false;
    }
  }
  return allVectorsEqual(dataItems, dataLength);
}

void NeuronLayer::expandUnits() {
  // Below the first layer a map whose unit (0, 0) holds all the map's input
  // vectors has not split its data, and expands nothing.
  bool exp = true;
  if (level > 1) {
    const int a = superNeuron->representsMultiDataItems();
    bool r = true;
    for (int j = 0; j < y && r; j++) {
      for (int i = 0; i < x && r; i++) {
        int b = neuronMap[i][j]->representsMultiDataItems();
        if (a == b) {
          exp = false;
          r = false;
        } else if (a > b) {
          exp = true;
          r = false;
        }
      }
    }
  }
  if (!exp) {
    return;
  }
  const double threshold =
      static_cast<double>(Globals::TAU_2) * static_cast<double>(Globals::getFirstLayerMap()->superMQE);
  for (int j = 0; j < y; j++) {
    for (int i = 0; i < x; i++) {
      Neuron* unit = neuronMap[i][j];
      if (!(static_cast<double>(unit->MQE) > threshold)) {
        continue;
      }
      // A map stuck at the rounding floor or an infinite error would hand
      // the same to a child map; only units with finite errors above
      // rounding get one.
      if (stoppedShort && (std::isinf(unit->MQE) || atRoundingFloor(unit))) {
        continue;
      }
      if (Globals::ORIENTATION) {
        float* UL = Globals::newVector(Globals::vectorlength);
        float* UR = Globals::newVector(Globals::vectorlength);
        float* LL = Globals::newVector(Globals::vectorlength);
        float* LR = Globals::newVector(Globals::vectorlength);
        getNewWeights(i, j, UL, UR, LL, LR);
        if (childWouldRepeat(i, j, UL, UR, LL, LR)) {
          std::cout << "a child map of unit " << i << "," << j << " would repeat this map for ever: not expanded"
                    << std::endl;
          free(UL);
          free(UR);
          free(LL);
          free(LR);
          continue;
        }
        unit->addMap(unit, unit->MQE, level + 1, i, j, UL, UR, LL, LR);
      } else {
        unit->addMap(unit, unit->MQE, level + 1, Globals::INITIAL_X_SIZE, Globals::INITIAL_Y_SIZE, i, j);
      }
      Globals::addLayer(level + 1, unit->getMap());
    }
  }
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
  int count = 0;
  for (int j = yminlim; j <= ymaxlim; j++) {
    for (int i = xminlim; i <= xmaxlim; i++) {
      const long long dx = wx - i, dy = wy - j;
      const float dist = static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
      movingWeights[count] = neuronMap[i][j]->weights;
      movingFactors[count] = Neuron::stepFactor(dist, learnrate, neighbourhood);
      count++;
    }
  }
  kernels::active().moveUnits(movingWeights, movingFactors, count, di->getDataVector(), dataLength);
}

void NeuronLayer::testDataItems() {
  // The winner is kept from one vector to the next: a vector that no unit is
  // at a finite distance from goes to the previous vector's unit.
  prepareSearch();
  int winner[2] = {0, 0};
  for (int k = 0; k < dataItems->size(); k++) {
    DataItem* d = dataItems->elementAt(k);
    findWinner(d, winner);
    neuronMap[winner[0]][winner[1]]->addRepresentingDataItem(d);
  }
}

void NeuronLayer::calcMQE() {
  MQE = 0.0f;
  int c = 0;
  float maxMQE = 0.0f;
  testDataItems();
  for (int j = 0; j < y; j++) {
    for (int i = 0; i < x; i++) {
      Neuron* unit = neuronMap[i][j];
      unit->calcMQE();
      float currMQE = unit->MQE;
      if (currMQE > 0.0f) {
        MQE = static_cast<float>(static_cast<double>(MQE) + static_cast<double>(currMQE));
        c++;
      }
      if (currMQE > maxMQE) {
        maxMQE = currMQE;
        MQENeuron[0] = i;
        MQENeuron[1] = j;
      }
    }
  }
  // With no unit of positive error the mean is 0/0; count it as 0 so the map
  // stops at this check instead of growing for ever.
  MQE = c > 0 ? static_cast<float>(static_cast<double>(MQE) / static_cast<double>(c)) : 0.0f;
}

int* NeuronLayer::getMaxDissNeighbour(const int* n) {
  int* res = new int[2]{0, 0};
  float diss = 0.0f;
  const int nx = n[0], ny = n[1];
  const float* own = neuronMap[nx][ny]->weights;
  auto consider = [&](int i, int j) {
    float currDiss = Globals::calcQE(own, neuronMap[i][j]->weights);
    if (currDiss >= diss) {
      diss = currDiss;
      res[0] = i;
      res[1] = j;
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
  prepareSearch();
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

  // H: halfway from t to n.  M: t plus the mean offset towards a, b and c.
  auto halfway = [&](const float* n) {
    float* offset = Globals::vectorDiffMean(n, t);
    float* res = Globals::vectorAdd(t, offset);
    free(offset);
    return res;
  };
  auto meanOffset = [&](const float* a, const float* b, const float* c) {
    float* da = Globals::vectorDiff(a, t);
    float* db = Globals::vectorDiff(b, t);
    float* dc = Globals::vectorDiff(c, t);
    float* mean = Globals::vectorAdd3Mean(da, db, dc);
    float* res = Globals::vectorAdd(t, mean);
    free(da);
    free(db);
    free(dc);
    free(mean);
    return res;
  };
  // A corner looks towards the three neighbours on its side: all present, M
  // of them; one present (a border cuts off the others), H of it; none, t.
  auto corner = [&](const float* a, const float* b, const float* c) {
    if (a != nullptr && b != nullptr && c != nullptr) {
      return meanOffset(a, b, c);
    }
    const float* only = a != nullptr ? a : (b != nullptr ? b : c);
    if (only != nullptr) {
      return halfway(only);
    }
    float* copy = Globals::newVector(Globals::vectorlength);
    memcpy(copy, t, sizeof(float) * Globals::vectorlength);
    return copy;
  };
  const bool lowerLeftCorner = !left && !down;
  const bool lowerRightCorner = !right && !down;
  float* dUL = lowerRightCorner ? corner(nUL, nU, nL) : corner(nL, nUL, nU);
  float* dUR = lowerLeftCorner ? corner(nU, nUR, nR) : corner(nR, nUR, nU);
  float* dLL = corner(nL, nBL, nB);
  float* dLR = corner(nR, nBR, nB);

  if (xPos == 0 && yPos == 0) {
    auto trace = [](const char* name, const float* v) {
      char line[128];
      double second = Globals::vectorlength > 1 ? static_cast<double>(v[1]) : 0.0;
      snprintf(line, sizeof line, "%s: %f / %f", name, static_cast<double>(v[0]), second);
      std::cout << line << "\n";
    };
    trace("UL", dUL);
    trace("UR", dUR);
    trace("LL", dLL);
    trace("LR", dLR);
  }
  for (int k = 0; k < Globals::vectorlength; k++) {
    UL[k] = dUL[k];
    UR[k] = dUR[k];
    LL[k] = dLL[k];
    LR[k] = dLR[k];
  }
  free(dUL);
  free(dUR);
  free(dLL);
  free(dLR);
}

// ---------------------------------------------------------------------------
// Output
// ---------------------------------------------------------------------------

void NeuronLayer::saveAs(int what) {
  if (what == 0) {
    saveAsHTML();
  } else if (what == 2) {
    saveAsCartix();
  }
}

void NeuronLayer::saveAsHTML() {
  saveOutputFile(fileName("html"), "HTML file", [this](std::ostream& out) { MapPage::write(out, *this); });
}

// Three files, each complete and closed before the next is created.
void NeuronLayer::saveAsCartix() {
  saveOutputFile(fileName("mapdescr"), "Cartix map file",
                 [this](std::ostream& out) { MapLibrary::writeMapDescription(out, *this); });
  saveOutputFile(fileName("wgt"), "Cartix wgt file",
                 [this](std::ostream& out) { MapLibrary::writeWeightVectors(out, *this); });
  saveOutputFile(fileName("unit"), "Cartix node file",
                 [this](std::ostream& out) { MapLibrary::writeUnitDescriptions(out, *this); });
}
