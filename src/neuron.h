#ifndef VELMAR_NEURON_H
#define VELMAR_NEURON_H

#include "vector.h"

class DataItem;
class NeuronLayer;

// One unit of a map: a weight vector, the input vectors currently mapped onto
// it, its quantisation error over them and, once expanded, its child map. It
// also carries the identity of the map that holds it, for naming and links.
class Neuron {
 public:
  int mapgid;
  int maplevel;
  int mapspx;
  int mapspy;
  float MQE;
  float* weights;

  // A unit with ws random weights, normalised to length 1.
  Neuron(int ws, int ingid, int inlevel, int spx, int spy);
  // A unit that takes over the array w (vectorlength components) as it is.
  Neuron(float* w, int ingid, int inlevel, int spx, int spy);
  ~Neuron();

  Neuron(const Neuron&) = delete;
  Neuron& operator=(const Neuron&) = delete;

  // Moves the weights towards di; dist is the grid distance to the winner.
  void adaptWeights(DataItem* di, float dist, float learnrate, int neighbourhood);
  // The share of the way towards the input that adaptWeights moves a weight:
  // the learning rate times the neighbourhood influence at that distance.
  static double stepFactor(float dist, float learnrate, int neighbourhood);
  float calcDist(DataItem* di) const;
  void calcMQE();
  void addRepresentingDataItem(DataItem* di);
  int representsMultiDataItems() const;
  NeuronLayer* getMap() const { return nl; }
  // Child map on this unit's own input vectors, random units.
  void addMap(Neuron* sn, float MQE, int level, int sizeX, int sizeY, int posX, int posY);
  // Child map on the given input vectors, without a parent unit (the first-layer map).
  void addMap(Data_Vector* dataItems, float MQE, int level, int sizeX, int sizeY, int posX, int posY);
  // 2 x 2 child map on this unit's own input vectors, units taking the four corner vectors.
  void addMap(Neuron* sn, float MQE, int level, int posX, int posY, float* ULweight, float* URweight,
              float* LLweight, float* LRweight);
  Data_Vector* getRepresentingDataItems() const { return representingDataItems; }
  void clearRepresentingDataItems();
  // Up to num component names that describe this unit best.
  String_Vector* getLabels(int num) const;

 private:
  int weightsize;
  NeuronLayer* nl;
  Data_Vector* representingDataItems;
};

#endif
