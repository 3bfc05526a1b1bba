#include "globals.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <utility>
#include <vector>

#include "base/workers.h"
#include "dataitem.h"
#include "dataloader.h"
#include "kernels/distancekernels.h"
#include "neuronlayer.h"
#include "training/progressline.h"

// The settings are defined with their defaults in settings/settingtable.cpp.

int Globals::vectorlength = 0;
int Globals::numofallvecs = 0;
int Globals::HTML_GID = 0;
const float Globals::MIN_LEARNRATE = 0.02f;
const int Globals::MIN_NEIGHBOURHOOD = 1;
bool Globals::isTrained = false;

// The three start-up objects, created in this order before main runs.
Data_Vector* Globals::dataItems = new Data_Vector();
Vector_Vector* Globals::layers = new Vector_Vector();
DataLoader* Globals::currentDataLoader = new DataLoader();
NeuronLayer* Globals::hfm = nullptr;
clock_t Globals::startTime = 0;
clock_t Globals::stopTime = 0;
float Globals::trainingTime = 0.0f;

// ---- Random source ----

void Globals::setRandom(unsigned int seed) { srand(seed); }

float Globals::getRandom() { return static_cast<float>(static_cast<double>(rand()) / 2147483648.0); }

int Globals::getIntRandom() { return rand(); }

// ---- Vector arithmetic ----

float* Globals::newVector(long long length) {
  float* v = static_cast<float*>(calloc(length > 0 ? static_cast<size_t>(length) : 1, sizeof(float)));
  if (v == nullptr) {
    failOutOfMemory();
  }
  return v;
}

char* Globals::newText(std::string_view text) {
  char* copy = static_cast<char*>(malloc(text.size() + 1));
  if (copy == nullptr) {
    failOutOfMemory();
  }
  memcpy(copy, text.data(), text.size());
  copy[text.size()] = '\0';
  return copy;
}

float* Globals::normVec(float* vec) {
  float absVector = 0.0f;
  for (int i = 0; i < vectorlength; i++) {
    absVector =
        static_cast<float>(static_cast<double>(absVector) + static_cast<double>(vec[i]) * static_cast<double>(vec[i]));
  }
  absVector = static_cast<float>(std::sqrt(static_cast<double>(absVector)));
  if (absVector > 0.0f) {
    for (int i = 0; i < vectorlength; i++) {
      vec[i] = static_cast<float>(static_cast<double>(vec[i]) / static_cast<double>(absVector));
    }
  }
  return vec;
}

// Two passes over the list, each vector read whole: the first finds every
// component's maximum (which does not depend on the order), the second
// divides. Dividing one component never changes another's maximum, so this
// equals handling the components one after the other.
// A component a sparse vector does not list is +0: it never raises a
// maximum (which starts at 0), and 0 divided by a positive maximum stays +0.
Data_Vector* Globals::normIntervalVector(Data_Vector* vec, std::vector<float>* divisors) {
  std::vector<float> maxAttr(vectorlength > 0 ? vectorlength : 0, 0.0f);
  for (int k = 0; k < vec->size(); k++) {
    vec->elementAt(k)->changeStored([&](int j, float& value) {
      if (value > maxAttr[j]) {
        maxAttr[j] = value;
      }
    });
  }
  for (int k = 0; k < vec->size(); k++) {
    vec->elementAt(k)->changeStored([&](int j, float& value) {
      if (maxAttr[j] > 0.0f) {
        value = static_cast<float>(static_cast<double>(value) / static_cast<double>(maxAttr[j]));
      }
    });
  }
  if (divisors != nullptr) {
    *divisors = std::move(maxAttr);
  }
  return vec;
}

void Globals::divideByIntervalDivisors(float* vec, const float* divisors) {
  for (int j = 0; j < vectorlength; j++) {
    if (divisors[j] > 0.0f) {
      vec[j] = static_cast<float>(static_cast<double>(vec[j]) / static_cast<double>(divisors[j]));
    }
  }
}

float Globals::calcQE(const float* v1, const float* v2) { return kernels::exactDistance(v1, v2, vectorlength); }

float Globals::calcQE(const DataItem* item, const float* w) {
  return item->isSparse() ? kernels::exactDistance(item->sparse(), w, vectorlength)
                          : kernels::exactDistance(item->dense(), w, vectorlength);
}

namespace {

// Dense copies of up to kRows sparse vectors at a time, for the kernels that
// take dense vectors. The rows are all +0 between uses: a use writes the
// listed values and clears them again.
class DenseRows {
 public:
  static constexpr int kRows = 16;

  // Row `row` holding the values of a sparse `item`.
  const float* fill(int row, const DataItem* item, int length) {
    if (rows.empty()) rows.assign(static_cast<size_t>(kRows) * static_cast<size_t>(length), 0.0f);
    float* r = rows.data() + static_cast<size_t>(row) * static_cast<size_t>(length);
    const SparseEntries e = item->sparse();
    for (int k = 0; k < e.count; k++) r[e.index[k]] = e.value[k];
    return r;
  }
  void clear(int row, const DataItem* item, int length) {
    float* r = rows.data() + static_cast<size_t>(row) * static_cast<size_t>(length);
    const SparseEntries e = item->sparse();
    for (int k = 0; k < e.count; k++) r[e.index[k]] = 0.0f;
  }

 private:
  std::vector<float> rows;
};

// Each thread has its own rows (a training step's threads each measure their own units).
DenseRows& denseRows() {
  thread_local DenseRows rows;
  return rows;
}

}  // namespace

float Globals::sumQE(Data_Vector* items, const float* w) {
  // The distances are independent of each other, so they are computed a
  // block at a time in parallel lanes; only their sum is a chain.
  const int block = DenseRows::kRows;
  const float* vectors[block];
  float distances[block];
  float sum = 0.0f;
  const int count = items->size();
  DenseRows& rows = denseRows();
  for (int start = 0; start < count; start += block) {
    const int n = count - start < block ? count - start : block;
    // A unit's vectors lie scattered in memory: the next block's values and
    // the block after it's records are fetched while this block is measured.
    for (int k = start + block; k < start + 2 * block && k < count; k++) items->elementAt(k)->prefetchValues();
    for (int k = start + 2 * block; k < start + 3 * block && k < count; k++) __builtin_prefetch(items->elementAt(k));
    for (int k = 0; k < n; k++) {
      const DataItem* item = items->elementAt(start + k);
      vectors[k] = item->isSparse() ? rows.fill(k, item, vectorlength) : item->dense();
    }
    kernels::active().exactDistances(vectors, n, w, vectorlength, distances);
    for (int k = 0; k < n; k++) {
      const DataItem* item = items->elementAt(start + k);
      if (item->isSparse()) rows.clear(k, item, vectorlength);
      sum = static_cast<float>(static_cast<double>(sum) + static_cast<double>(distances[k]));
    }
  }
  return sum;
}

// One pass over the list, each vector read whole; every component's float
// sum still takes the vectors in list order. A sum starts at +0 and so is
// never -0: adding a component a sparse vector leaves out (+0) would give
// the sum back unchanged, so only the listed ones are added.
float* Globals::meanVector(Data_Vector* dItems, int dataLength) {
  float* res = newVector(dataLength);
  int count = dItems->size();
  for (int k = 0; k < count; k++) {
    const DataItem* item = dItems->elementAt(k);
    if (item->isSparse()) {
      const SparseEntries e = item->sparse();
      for (int j = 0; j < e.count; j++) {
        res[e.index[j]] = static_cast<float>(static_cast<double>(res[e.index[j]]) + static_cast<double>(e.value[j]));
      }
      continue;
    }
    const float* data = item->dense();
    for (int i = 0; i < dataLength; i++) {
      res[i] = static_cast<float>(static_cast<double>(res[i]) + static_cast<double>(data[i]));
    }
  }
  for (int i = 0; i < dataLength; i++) {
    res[i] = static_cast<float>(static_cast<double>(res[i]) / static_cast<double>(count));
  }
  return res;
}

float* Globals::meanWeights(const float* w1, const float* w2) {
  float* res = newVector(vectorlength);
  for (int i = 0; i < vectorlength; i++) {
    res[i] = static_cast<float>((static_cast<double>(w1[i]) + static_cast<double>(w2[i])) / 2.0);
  }
  return res;
}

float* Globals::vectorDiff(const float* a, const float* b) {
  float* res = newVector(vectorlength);
  for (int i = 0; i < vectorlength; i++) {
    res[i] = static_cast<float>(static_cast<double>(a[i]) - static_cast<double>(b[i]));
  }
  return res;
}

float* Globals::vectorDiffMean(const float* a, const float* b) {
  float* res = newVector(vectorlength);
  for (int i = 0; i < vectorlength; i++) {
    res[i] = static_cast<float>((static_cast<double>(a[i]) - static_cast<double>(b[i])) / 2.0);
  }
  return res;
}

float* Globals::vectorAdd(const float* a, const float* b) {
  float* res = newVector(vectorlength);
  for (int i = 0; i < vectorlength; i++) {
    res[i] = static_cast<float>(static_cast<double>(a[i]) + static_cast<double>(b[i]));
  }
  return res;
}

float* Globals::vectorAddMean(const float* a, const float* b) {
  return meanWeights(a, b);  // the same expression: (a[i] + b[i]) / 2
}

float* Globals::vectorAdd3(const float* a, const float* b, const float* c) {
  float* res = newVector(vectorlength);
  for (int i = 0; i < vectorlength; i++) {
    res[i] = static_cast<float>(static_cast<double>(a[i]) + static_cast<double>(b[i]) + static_cast<double>(c[i]));
  }
  return res;
}

float* Globals::vectorAdd3Mean(const float* a, const float* b, const float* c) {
  float* res = newVector(vectorlength);
  for (int i = 0; i < vectorlength; i++) {
    res[i] =
        static_cast<float>((static_cast<double>(a[i]) + static_cast<double>(b[i]) + static_cast<double>(c[i])) / 3.0);
  }
  return res;
}

namespace {

// An intermediate vector of the arithmetic, released with free when it goes.
using OwnedVector = std::unique_ptr<float, void (*)(void*)>;
OwnedVector owned(float* v) { return OwnedVector(v, free); }

}  // namespace

float* Globals::vectorHalfway(const float* t, const float* n) {
  OwnedVector offset = owned(vectorDiffMean(n, t));
  return vectorAdd(t, offset.get());
}

float* Globals::vectorMeanOffset(const float* t, const float* a, const float* b, const float* c) {
  OwnedVector da = owned(vectorDiff(a, t));
  OwnedVector db = owned(vectorDiff(b, t));
  OwnedVector dc = owned(vectorDiff(c, t));
  OwnedVector mean = owned(vectorAdd3Mean(da.get(), db.get(), dc.get()));
  return vectorAdd(t, mean.get());
}

// ---- Map registry ----

void Globals::addLayer(int level, NeuronLayer* nl) {
  if (level >= layers->size()) {
    layers->addElement(new Layer_Vector());
  }
  layers->elementAt(level)->addElement(nl);
}

Layer_Vector* Globals::getLayerAt(int level) {
  if (level < 0 || level >= layers->size()) {
    return nullptr;
  }
  return layers->elementAt(level);
}

NeuronLayer* Globals::getFirstLayerMap() { return hfm->getLayer1Map(); }

// ---- Hierarchy driver ----

void Globals::initHFM() {
  hfm = new NeuronLayer(nullptr, dataItems, 0.0f, 0, 1, 1, 0, 0, nullptr, nullptr, nullptr, nullptr);
  hfm->calcLayer0MQE();
  addLayer(0, hfm);
  addLayer(1, hfm->getLayer1Map());
}

void Globals::trainHFM() {
  startTime = clock();
  ProgressLine::startTraining();
  forEachMap([](NeuronLayer* map) { map->train(); });
  ProgressLine::endTraining();
  isTrained = true;
  stopTime = clock();
  // Processor seconds (CLOCKS_PER_SEC is 10^6 on POSIX systems).
  trainingTime = static_cast<float>(static_cast<double>(stopTime - startTime) / static_cast<double>(CLOCKS_PER_SEC));
  std::cout << trainingTime << std::endl;
}

void Globals::saveHFMAs(SaveKind what, const OutputSettings& shown) {
  forEachMap([what, &shown](NeuronLayer* map) { map->saveAs(what, shown); });
}

// ---- Threads ----

namespace {

std::unique_ptr<Workers>& teamSlot() {
  static std::unique_ptr<Workers> team;
  return team;
}

}  // namespace

Workers& Globals::team() {
  std::unique_ptr<Workers>& team = teamSlot();
  // threads=0: as many as pay, job by job; any other count exactly that many.
  if (!team) team = std::make_unique<Workers>(Workers::membersFor(threads), threads == 0);
  return *team;
}

// ---- Run-control helpers ----

namespace {

// The property texts kept for the settings, in the order they were read.
std::vector<char*>& keptTexts() {
  static std::vector<char*> texts;
  return texts;
}

}  // namespace

const char* Globals::keepText(std::string_view text) {
  char* copy = newText(text);
  keptTexts().push_back(copy);
  return copy;
}

namespace {

// Releases a run's hierarchy (every map hangs below the level-0 map: a unit
// owns its child map; the registry only points to them), its lists and texts.
void releaseBuilt(NeuronLayer* hfm, Vector_Vector* layers, Data_Vector* items, DataLoader* loader,
                  std::vector<char*>& texts) {
  delete hfm;
  if (layers != nullptr) {
    for (int level = 0; level < layers->size(); level++) {
      delete layers->elementAt(level);
    }
    delete layers;
  }
  if (items != nullptr) {
    deleteDataItems(items);
  }
  delete loader;
  for (char* text : texts) {
    free(text);
  }
  texts.clear();
}

}  // namespace

void Globals::releaseRun() {
  releaseBuilt(hfm, layers, dataItems, currentDataLoader, keptTexts());
  hfm = nullptr;
  layers = new Vector_Vector();
  dataItems = new Data_Vector();
  currentDataLoader = new DataLoader();
  teamSlot().reset();
}

// Exchanges what a run built between Globals and `run`, field by field.
void Globals::swapRun(BuiltRun& run) {
  std::swap(dataItems, run.dataItems);
  std::swap(layers, run.layers);
  std::swap(currentDataLoader, run.loader);
  std::swap(hfm, run.hfm);
  std::swap(keptTexts(), run.keptTexts);
  std::swap(vectorlength, run.vectorlength);
  std::swap(numofallvecs, run.numofallvecs);
  std::swap(HTML_GID, run.htmlGid);
  std::swap(isTrained, run.isTrained);
  std::swap(startTime, run.startTime);
  std::swap(stopTime, run.stopTime);
  std::swap(trainingTime, run.trainingTime);
}

BuiltRun Globals::detachRun() {
  BuiltRun run;  // a fresh process's start-up objects, to leave in Globals
  run.dataItems = new Data_Vector();
  run.layers = new Vector_Vector();
  run.loader = new DataLoader();
  swapRun(run);
  teamSlot().reset();
  return run;
}

void Globals::attachRun(BuiltRun&& run) {
  releaseRun();
  swapRun(run);
  run.release();  // the empty start-up objects swapped out
}

BuiltRun::~BuiltRun() { release(); }

BuiltRun::BuiltRun(BuiltRun&& other) noexcept { *this = std::move(other); }

BuiltRun& BuiltRun::operator=(BuiltRun&& other) noexcept {
  if (this != &other) {
    release();
    // Take everything, leaving `other` empty (this, released, is).
    std::swap(dataItems, other.dataItems);
    std::swap(layers, other.layers);
    std::swap(loader, other.loader);
    std::swap(hfm, other.hfm);
    std::swap(keptTexts, other.keptTexts);
    vectorlength = other.vectorlength;
    numofallvecs = other.numofallvecs;
    htmlGid = other.htmlGid;
    isTrained = other.isTrained;
    startTime = other.startTime;
    stopTime = other.stopTime;
    trainingTime = other.trainingTime;
  }
  return *this;
}

void BuiltRun::release() {
  releaseBuilt(hfm, layers, dataItems, loader, keptTexts);
  hfm = nullptr;
  layers = nullptr;
  dataItems = nullptr;
  loader = nullptr;
}
