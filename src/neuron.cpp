#include "neuron.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "dataitem.h"
#include "dataloader.h"
#include "globals.h"
#include "kernels/distancekernels.h"
#include "neuronlayer.h"

Neuron::Neuron(int ws, int ingid, int inlevel, int spx, int spy) {
  weightsize = ws;
  weights = Globals::newVector(ws);
  for (int i = 0; i < ws; i++) {
    weights[i] = Globals::getRandom();
  }
  Globals::normVec(weights);
  representingDataItems = std::make_unique<Data_Vector>();
  mapgid = ingid;
  maplevel = inlevel;
  mapspx = spx;
  mapspy = spy;
  MQE = 0.0f;
}

Neuron::Neuron(float* w, int ingid, int inlevel, int spx, int spy) {
  weights = w;
  weightsize = Globals::vectorlength;
  representingDataItems = std::make_unique<Data_Vector>();
  mapgid = ingid;
  maplevel = inlevel;
  mapspx = spx;
  mapspy = spy;
  MQE = 0.0f;
}

Neuron::~Neuron() { free(weights); }

void Neuron::adaptWeights(DataItem* di, float dist, float learnrate, int neighbourhood) {
  kernels::active().moveTowards(weights, di->values().data(), stepFactor(dist, learnrate, neighbourhood), weightsize);
}

double Neuron::stepFactor(float dist, float learnrate, int neighbourhood) {
  return static_cast<double>(learnrate) * static_cast<double>(influence(dist, neighbourhood));
}

float Neuron::influence(float dist, int neighbourhood) {
  // Falls linearly with the grid distance; negative beyond neighbourhood + 0.5,
  // which pushes such units away from the input.
  return static_cast<float>(1.0 - static_cast<double>(dist) / (static_cast<double>(neighbourhood) + 0.5));
}

float Neuron::calcDist(DataItem* di) const { return Globals::calcQE(di, weights); }

void Neuron::calcMQE() { MQE = Globals::sumQE(representingDataItems.get(), weights); }

void Neuron::addRepresentingDataItem(DataItem* di) { representingDataItems->addElement(di); }

int Neuron::representsMultiDataItems() const { return representingDataItems->size(); }

void Neuron::addMap(Neuron* sn, float MQE, int level, int sizeX, int sizeY, int posX, int posY) {
  nl = std::make_unique<NeuronLayer>(sn, representingDataItems.get(), MQE, level, sizeX, sizeY, posX, posY, nullptr,
                                     nullptr, nullptr, nullptr);
}

void Neuron::addMap(Data_Vector* dataItems, float MQE, int level, int sizeX, int sizeY, int posX, int posY) {
  nl = std::make_unique<NeuronLayer>(nullptr, dataItems, MQE, level, sizeX, sizeY, posX, posY, nullptr, nullptr,
                                     nullptr, nullptr);
}

void Neuron::addMap(Neuron* sn, float MQE, int level, int posX, int posY, float* ULweight, float* URweight,
                    float* LLweight, float* LRweight) {
  nl = std::make_unique<NeuronLayer>(sn, representingDataItems.get(), MQE, level, 2, 2, posX, posY, ULweight, URweight,
                                     LLweight, LRweight);
}

void Neuron::clearRepresentingDataItems() { representingDataItems->clear(); }

String_Vector* Neuron::getLabels(int num) const {
  String_Vector* res = new String_Vector();
  if (num <= 0) {
    return res;
  }
  char** names = Globals::currentDataLoader->getVectorDescription();
  for (int index : labelComponents(componentErrors(), num)) {
    res->addElement(names[index]);
  }
  return res;
}

// Every component's error is a float chain over the vectors in list order;
// the chains of all components advance together, one vector at a time.
std::vector<float> Neuron::componentErrors() const {
  const int n = representingDataItems->size();
  std::vector<float> featureerror(weightsize, 0.0f);
  std::vector<float> row;  // a sparse vector's values, dense; +0 between vectors
  const kernels::KernelTable& k = kernels::active();
  for (int v = 0; v < n; v++) {
    const DataItem* item = representingDataItems->elementAt(v);
    if (!item->isSparse()) {
      k.accumulateSquares(featureerror.data(), weights, item->dense(), weightsize);
      continue;
    }
    if (row.empty()) row.assign(static_cast<size_t>(weightsize), 0.0f);
    const SparseEntries e = item->sparse();
    for (int j = 0; j < e.count; j++) row[e.index[j]] = e.value[j];
    k.accumulateSquares(featureerror.data(), weights, row.data(), weightsize);
    for (int j = 0; j < e.count; j++) row[e.index[j]] = 0.0f;
  }
  std::vector<float> variance(weightsize);
  for (int i = 0; i < weightsize; i++) {
    // With no represented vector this is 0/0: a NaN, which never qualifies.
    variance[i] = n > 0 ? static_cast<float>(std::sqrt(static_cast<double>(featureerror[i])) / static_cast<double>(n))
                        : std::nanf("");
  }
  return variance;
}

// Passes of increasing error: each pass takes the smallest error above the
// previous pass's (the lowest index among equals), then every other
// component with exactly that error, while fewer than num are chosen. Errors
// of 0 and of 1e9 or more never qualify, nor weights at or below the threshold.
std::vector<int> Neuron::labelComponents(const std::vector<float>& variance, int num) const {
  float maxweightvalue = 0.0f;
  for (int i = 0; i < weightsize; i++) {
    if (weights[i] > maxweightvalue) {
      maxweightvalue = weights[i];
    }
  }
  const double threshold = static_cast<double>(Globals::LABELS_THRESHOLD) * static_cast<double>(maxweightvalue);
  auto passesWeightTest = [&](int i) { return static_cast<double>(weights[i]) > threshold; };

  std::vector<int> minlabelindex;
  int full = 0;
  float last = 0.0f;
  while (full < num) {
    float min = 1e9f;
    int minindex = 0;
    bool found = false;
    for (int i = 0; i < weightsize; i++) {
      if (variance[i] < min && variance[i] > last && passesWeightTest(i)) {
        min = variance[i];
        minindex = i;
        found = true;
      }
    }
    if (!found) {
      break;
    }
    minlabelindex.push_back(minindex);
    full++;
    last = min;
    for (int j = 0; j < weightsize && full < num; j++) {
      if (variance[j] == min && j != minindex && passesWeightTest(j)) {
        minlabelindex.push_back(j);
        full++;
      }
    }
  }
  return minlabelindex;
}
