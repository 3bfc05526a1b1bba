#ifndef VELMAR_NEURON_H
#define VELMAR_NEURON_H

#include <memory>
#include <vector>

#include "vector.h"

class DataItem;
class NeuronLayer;

// One unit of a map: a weight vector, the input vectors currently mapped onto
// it, its quantisation error over them and, once expanded, its child map. It
// also carries the identity of the map that holds it, for naming and links.
class Neuron {
 public:
  // The identity of the map that holds the unit: its number, level and the
  // column and row of its parent unit.
  int mapgid;
  int maplevel;
  int mapspx;
  int mapspy;
  // The unit's error: the sum of the squared distances of its represented
  // vectors to its weights (not a mean), 0 when it represents none.
  float MQE;
  float* weights;  // weightsize components, owned (released with free)

  // A unit with ws random weights, normalised to length 1.
  Neuron(int ws, int ingid, int inlevel, int spx, int spy);
  // A unit that takes over the array w (vectorlength components) as it is.
  Neuron(float* w, int ingid, int inlevel, int spx, int spy);
  // Releases the weights, the list object and the child map with every map below it.
  ~Neuron();

  Neuron(const Neuron&) = delete;
  Neuron& operator=(const Neuron&) = delete;

  // Moves the weights towards di; dist is the grid distance to the winner.
  void adaptWeights(DataItem* di, float dist, float learnrate, int neighbourhood);
  // The share of the way towards the input that adaptWeights moves a weight:
  // the learning rate times the neighbourhood influence at that distance.
  static double stepFactor(float dist, float learnrate, int neighbourhood);
  // The neighbourhood influence stepFactor multiplies the learning rate by:
  // stepFactor(dist, l, n) is double(l) * double(influence(dist, n)).
  static float influence(float dist, int neighbourhood);
  float calcDist(DataItem* di) const;
  void calcMQE();
  void addRepresentingDataItem(DataItem* di);
  int representsMultiDataItems() const;
  NeuronLayer* getMap() const { return nl.get(); }
  // Child map on this unit's own input vectors, random units.
  void addMap(Neuron* sn, float MQE, int level, int sizeX, int sizeY, int posX, int posY);
  // Child map on the given input vectors, without a parent unit (the first-layer map).
  void addMap(Data_Vector* dataItems, float MQE, int level, int sizeX, int sizeY, int posX, int posY);
  // 2 x 2 child map on this unit's own input vectors, units taking the four corner vectors.
  void addMap(Neuron* sn, float MQE, int level, int posX, int posY, float* ULweight, float* URweight, float* LLweight,
              float* LRweight);
  // The list object itself: a child map trains on it.
  Data_Vector* getRepresentingDataItems() const { return representingDataItems.get(); }
  void clearRepresentingDataItems();
  // Up to num component names that describe this unit best: the components
  // whose weight is large (above LABELS_THRESHOLD x the largest weight) and
  // whose represented vectors agree best on them, in that order. The caller
  // deletes the list, never the names (they belong to the data loader).
  String_Vector* getLabels(int num) const;

 private:
  int weightsize;
  std::unique_ptr<NeuronLayer> nl;  // the child map, null until the unit is expanded
  // The input vectors mapped onto the unit; the list object is owned, the
  // vectors are not.
  std::unique_ptr<Data_Vector> representingDataItems;

  // Per component: the root of the summed squared differences of the
  // represented vectors to the weight, divided by their count (NaN when
  // there are none).
  std::vector<float> componentErrors() const;
  // The components chosen as labels, in order (see getLabels).
  std::vector<int> labelComponents(const std::vector<float>& variance, int num) const;
};

#endif
