#ifndef VELMAR_NEURONLAYER_H
#define VELMAR_NEURONLAYER_H

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "config.h"
#include "kernels/vectorvalues.h"
#include "vector.h"

class DataItem;
class Neuron;
class OutputFile;
struct OutputSettings;
enum class SaveKind : int;
class StopRules;
class TrainingEngine;

// A grid position: column first, then row.
using GridPos = std::array<int, 2>;

// One rectangular map of the hierarchy: a grid of units, the input vectors it
// is trained on, its copies of the training settings and its place in the
// hierarchy. neuronMap[column][row]; column 0 is the left, row 0 the top.
//
// A map is built complete, trained once (train: it grows by whole rows and
// columns until its error is small enough, then expands its coarse units
// into child maps), and then only read, by the writers of the output files.
class NeuronLayer {
 public:
  int gid;  // the map's number, in order of construction: level-0 map 0, first-layer map 1
  // The error of what lies above this map: MQE0 for the first-layer map, the
  // parent unit's summed error for a child map, 0 for the level-0 map.
  float superMQE;

  // The level-0 map (no parent unit), the first-layer map (no parent unit,
  // level 1) or a child map (parent unit sn). With the four corner vectors
  // (taken over as the weights of a 2 x 2 map) when ORIENTATION is on and
  // sn is given below level 1; otherwise x by y random units.
  NeuronLayer(Neuron* sn, Data_Vector* indataItems, float insuperMQE, int inlevel, int initialSizeX, int initialSizeY,
              int posX, int posY, float* ULweight, float* URweight, float* LLweight, float* LRweight);
  // Destroys the units and, through them, every map below; never the input
  // vectors or the parent unit.
  ~NeuronLayer();

  NeuronLayer(const NeuronLayer&) = delete;
  NeuronLayer& operator=(const NeuronLayer&) = delete;

  // The child map of unit (0, 0): the first-layer map, asked of the level-0 map.
  NeuronLayer* getLayer1Map();
  // Level-0 map only: mean vector, MQE0 (computed or loaded) and the first-layer map.
  void calcLayer0MQE();
  // Assigns every input vector to its best unit (the units' lists must be
  // empty), sets every unit's error, the map's error and its worst unit.
  void calcMQE();
  void insertColumn(int pos);
  // Trains, grows and finally expands the map.
  void train();
  // Writes the map's HTML page or its map-library files (SaveKind, globals.h), showing `shown`.
  void saveAs(SaveKind what, const OutputSettings& shown);

  // True when a map of columns x rows units of `components` weights can
  // exist: few enough units to count in an int, and within physical memory.
  static bool fitsInMemory(long long columns, long long rows, int components);

  // Read access for the writers of the output files.
  int getX() const { return x; }
  int getY() const { return y; }
  int getLevel() const { return level; }
  int getDataLength() const { return dataLength; }
  float getMQE() const { return MQE; }
  float getStupidity() const { return stupidity; }
  float getIniLearnrate() const { return ini_learnrate; }
  int getIniNeighbourhood() const { return ini_neighbourhood; }
  const GridPos& getSuperPos() const { return superPos; }
  long long getCurrentCycle() const { return currentCycle; }
  Neuron* getNeuron(int column, int row) const { return neuronMap[column][row]; }
  Neuron* getSuperNeuron() const { return superNeuron; }
  Data_Vector* getDataItems() const { return dataItems; }
  // savePath/PREFIX_gid_level_column_row.extension
  std::string fileName(const char* extension) const;

 private:
  Data_Vector* dataItems;  // not owned: the global list, or the parent unit's own list
  GridPos superPos;        // column and row of the parent unit in the parent map
  Neuron* superNeuron;     // the parent unit; null on levels 0 and 1
  // The map's error: the mean of its units' summed errors over the units
  // whose error is above 0. On the level-0 map it is MQE0, a sum.
  float MQE;
  GridPos MQENeuron;  // the unit with the largest error
  float stupidity;    // holds TAU_1: the map stops growing at stupidity x superMQE
  float ini_learnrate;
  float learnrate;
  float min_learnrate;
  int ini_neighbourhood;
  int neighbourhood;
  int min_neighbourhood;        // kept with the settings; the radius floor is 0
  float neighbourhood_falloff;  // kept for the record; no operation uses it
  int level;
  int dataLength;
  int x;
  int y;
  Neuron*** neuronMap;
  long long currentCycle;

  // The speed machinery of training (winners, moves, assignment), made
  // ready by prepareEngine and released once the map is trained.
  std::unique_ptr<TrainingEngine> engine;
  // A child map started from four corner vectors keeps a copy of them
  // (upper left, upper right, lower left, lower right), to tell whether a
  // child of its own would start exactly as it did; empty otherwise.
  std::vector<float> startCorners;
  // Set when training ended at the rounding floor or with an infinite error
  // (see stopsShort): such a map expands only units it can still learn from.
  bool stoppedShort;

  // The bounds a growth check tests against.
  struct StopRule {
    double bound;        // stupidity x superMQE
    long long cycleCap;  // N x MAX_CYCLES
  };

  // Moves the units around the winner towards di; `next` is the next cycle's vector when drawn already.
  void adaptWeights(const int* winner, DataItem* di, const DataItem* next);
  void testDataItems();
  GridPos getMaxDissNeighbour(const int* n);
  void saveAsHTML(const OutputSettings& shown);
  void insertRow(int pos);
  void saveAsCartix(const OutputSettings& shown);
  void getNewWeights(int xPos, int yPos, float* UL, float* UR, float* LL, float* LR);

  // Hands the grid to the engine (made on first use) after it changed.
  void prepareEngine();
  // Sets `winner` to the unit nearest to di; keeps it when no distance is finite.
  void findWinner(DataItem* di, int* winner);

  // Empties every unit's list, then calcMQE assigns the vectors afresh.
  void remeasure();
  // The level-0 mean vector, with MQE set to MQE0.
  float* computeMQE0();
  float* loadMQE0File();

  // Training: the start values of the schedule, the cycles up to the end of
  // training (writing the error after each to `trace`, when given), and the
  // growth check at the end of every growth period.
  void startTraining();
  void trainCycles(OutputFile* trace);
  void traceMQE(OutputFile& trace);
  // True when training ends at this check; otherwise the map has grown (or
  // could not) and the schedule starts afresh.
  bool growthCheck(const StopRule& rule, StopRules& stopRules);
  // Inserts the row or column between the worst unit and its most
  // dissimilar neighbour; false, saying that training stops, when the map
  // cannot grow in memory.
  bool grow();
  // Rebuilds the grid (already counted one row or column larger) with a new
  // row or column at pos whose units take the means of their two old neighbours.
  void growGrid(int pos, bool isRow);

  // At a growth check that neither met the bound nor the cycle cap: true,
  // with a line saying why, when training must end because the map could
  // never meet its bound.
  bool stopsShort(double stopBound, StopRules& rules);
  // True when every unit's weights hold the same bits.
  bool unitsAtOnePoint() const;
  // True when the unit's error lies within the rounding floor of its vectors.
  bool atRoundingFloor(const Neuron* unit) const;

  // Expansion: whether this map may expand at all, then each unit whose
  // error is above TAU_2 x MQE0 gets a child map.
  void expandUnits();
  bool mayExpand() const;
  bool shouldExpand(const Neuron* unit) const;
  void expandWithCorners(int i, int j);
  // True when a child map of the unit at (i, j), started from these corners
  // (UL, UR, LL, LR), would train exactly as this map did and so expand the
  // same unit again, level after level, for ever (see StopRules::childRepeats).
  bool childWouldRepeat(int i, int j, const float* const (&corners)[4]);

  friend class NeuronLayerTestAccess;
};

#endif
