#ifndef VELMAR_NEURONLAYER_H
#define VELMAR_NEURONLAYER_H

#include <cstdio>
#include <string>

#include "config.h"
#include "vector.h"

class DataItem;
class Neuron;
class WinnerSearch;

// One rectangular map of the hierarchy: a grid of units, the input vectors it
// is trained on, its copies of the training settings and its place in the
// hierarchy. neuronMap[column][row]; column 0 is the left, row 0 the top.
class NeuronLayer {
 public:
  int gid;
  float superMQE;

  NeuronLayer(Neuron* sn, Data_Vector* indataItems, float insuperMQE, int inlevel, int initialSizeX,
              int initialSizeY, int posX, int posY, float* ULweight, float* URweight, float* LLweight,
              float* LRweight);
  ~NeuronLayer();

  NeuronLayer(const NeuronLayer&) = delete;
  NeuronLayer& operator=(const NeuronLayer&) = delete;

  NeuronLayer* getLayer1Map();
  // Level-0 map only: mean vector, MQE0 (computed or loaded) and the first-layer map.
  void calcLayer0MQE();
  // Assigns every input vector to its best unit and computes the map error.
  void calcMQE();
  void insertColumn(int pos);
  // Trains, grows and finally expands the map.
  void train();
  // 0: HTML page; 2: map-library files; anything else: nothing.
  void saveAs(int what);

  // Read access for the output writers' callers and for tests.
  int getX() const { return x; }
  int getY() const { return y; }
  int getLevel() const { return level; }
  float getMQE() const { return MQE; }
  const int* getMQENeuron() const { return MQENeuron; }
  const int* getSuperPos() const { return superPos; }
  long long getCurrentCycle() const { return currentCycle; }
  float getLearnrate() const { return learnrate; }
  int getNeighbourhood() const { return neighbourhood; }
  Neuron* getNeuron(int column, int row) const { return neuronMap[column][row]; }
  Neuron* getSuperNeuron() const { return superNeuron; }
  Data_Vector* getDataItems() const { return dataItems; }
  // Name of one of this map's output files: savePath/PREFIX_gid_level_col_row.extension
  std::string fileName(const char* extension) const;

  // One step of the training schedule, exposed for tests: the learning rate
  // after `cycle` with growth period P, and the radius step for P.
  static float sawtoothLearnrate(float iniLearnrate, float minLearnrate, long long P, long long cycle);
  static long long radiusStep(long long P, int iniNeighbourhood);
  // The sawtooth as two steps: its slope for period P, then the rate at a
  // step into the tooth (the cycle number modulo P + 1).
  static double sawtoothSlope(float iniLearnrate, float minLearnrate, long long P);
  static float sawtoothRate(double slope, float iniLearnrate, long long stepInTooth);

 private:
  Data_Vector* dataItems;
  int* superPos;
  Neuron* superNeuron;
  float MQE;
  int* MQENeuron;
  float stupidity;
  float ini_learnrate;
  float learnrate;
  float min_learnrate;
  int ini_neighbourhood;
  int neighbourhood;
  int min_neighbourhood;
  float neighbourhood_falloff;
  int level;
  int dataLength;
  int x;
  int y;
  Neuron*** neuronMap;
  long long currentCycle;
  // The winner search and the units' weight arrays in scan order (row by
  // row, columns inner), made ready by prepareSearch before searches run.
  WinnerSearch* search;
  const float** scanWeights;
  // A child map started from four corner vectors keeps a copy of them
  // (upper left, upper right, lower left, lower right), to tell whether a
  // child of its own would start exactly as it did; null otherwise.
  float* startCorners;
  // Set when training ended at the rounding floor or with an infinite error
  // (see stopsShort): such a map expands only units it can still learn from.
  bool stoppedShort;
  // The weights and step factors of the units one training step moves.
  float** movingWeights;
  double* movingFactors;
  int scanCapacity;  // room in the three arrays above, in units

  void adaptWeights(const int* winner, DataItem* di);
  void testDataItems();
  int* getMaxDissNeighbour(const int* n);
  void saveAsHTML();
  void insertRow(int pos);
  void saveAsCartix();
  void getNewWeights(int xPos, int yPos, float* UL, float* UR, float* LL, float* LR);

  // Rebuilds the scan-order list of weight arrays after the grid changed.
  void prepareSearch();
  // Sets `winner` to the unit nearest to di; keeps it when no distance is finite.
  void findWinner(DataItem* di, int* winner);

  // Empties every unit's list, then calcMQE assigns the vectors afresh.
  void remeasure();
  // The level-0 mean vector, with MQE set to MQE0.
  float* computeMQE0();
  float* loadMQE0File();
  // Rebuilds the grid (already counted one row or column larger) with a new
  // row or column at pos whose units take the means of their two old neighbours.
  void growGrid(int pos, bool isRow);
  void expandUnits();
  // What a map's growth checks remember to tell whether it is stuck.
  struct Progress {
    float lowestMQE;        // the lowest error so far
    int checksSinceLowest;  // growth checks since it was reached
    int checksAsOnePoint;   // growth checks in a row with every unit at one point
    double leastOneUnit;    // the least error one unit can have on the map's vectors; < 0 until needed
  };
  // At a growth check that neither met the bound nor the cycle cap: true,
  // with a line saying why, when training must end because the map could
  // never meet its bound.
  bool stopsShort(double stopBound, Progress& progress);
  // True when the map still fits in memory with addedColumns columns and
  // addedRows rows more; otherwise says that training stops.
  bool growthFits(int addedColumns, int addedRows) const;
  // True when every unit's weights hold the same bits.
  bool unitsAtOnePoint() const;
  // True when the unit's error lies within the rounding floor of its vectors.
  bool atRoundingFloor(const Neuron* unit) const;
  // True when a child map of the unit at (i, j), started from these corners,
  // would train exactly as this map did and so expand the same unit again,
  // level after level, for ever.
  bool childWouldRepeat(int i, int j, const float* UL, const float* UR, const float* LL, const float* LR);

  // The page and map-library writers read the trained map as a whole.
  friend class MapPage;
  friend class MapLibrary;
  friend class NeuronLayerTestAccess;
};

#endif
