#include "dataitem.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "vector.h"

// The identifier and the array come from malloc/calloc (the text reader and
// Globals::newVector), so they are released with free.
DataItem::DataItem(char* inid, float* indataVector, int inlength)
    : id(inid), block(indataVector), length(inlength), stored(-1) {}

DataItem::DataItem(char* inid, void* inblock, int inlength, int instored)
    : id(inid), block(inblock), length(inlength), stored(instored) {}

DataItem* DataItem::create(std::string_view inid, const float* values, int inlength) {
  int nonZero = 0;
  for (int i = 0; i < inlength; i++) nonZero += !isPositiveZero(values[i]);
  const size_t denseBytes = sizeof(float) * static_cast<size_t>(inlength);
  const bool sparse = sparseBytes(nonZero) < denseBytes;
  const size_t valueBytes = sparse ? sparseBytes(nonZero) : denseBytes;
  char* memory = static_cast<char*>(std::malloc(valueBytes + inid.size() + 1));
  if (memory == nullptr) {
    failOutOfMemory();
  }
  char* text = memory + valueBytes;
  std::memcpy(text, inid.data(), inid.size());
  text[inid.size()] = '\0';
  if (!sparse) {
    std::memcpy(memory, values, denseBytes);
    return new DataItem(text, reinterpret_cast<float*>(memory), inlength);
  }
  DataItem* item = new DataItem(text, memory, inlength, nonZero);
  int* index = reinterpret_cast<int*>(memory + sizeof(double));
  float* kept = item->storedValues();
  int k = 0;
  for (int i = 0; i < inlength; i++) {
    if (!isPositiveZero(values[i])) {
      index[k] = i;
      kept[k++] = values[i];
    }
  }
  item->refreshSquaredLength();
  return item;
}

DataItem::~DataItem() {
  // An identifier stored right behind the values shares their allocation.
  if (id != static_cast<char*>(block) + storageBytes()) {
    std::free(id);
  }
  std::free(block);
}

float DataItem::value(int i) const {
  if (!isSparse()) {
    return dense()[i];
  }
  const SparseEntries entries = sparse();
  const int* at = std::lower_bound(entries.index, entries.index + entries.count, i);
  return at != entries.index + entries.count && *at == i ? entries.value[at - entries.index] : 0.0f;
}

SparseEntries DataItem::sparse() const {
  return {stored, storedIndices(), reinterpret_cast<const float*>(storedIndices() + stored)};
}

float* DataItem::storedValues() {
  return isSparse() ? reinterpret_cast<float*>(static_cast<char*>(block) + sizeof(double) + sizeof(int) * stored)
                    : static_cast<float*>(block);
}

const int* DataItem::storedIndices() const {
  return reinterpret_cast<const int*>(static_cast<const char*>(block) + sizeof(double));
}

void DataItem::refreshSquaredLength() {
  const float* values = storedValues();
  double sum = 0.0;
  for (int k = 0; k < stored; k++) sum += static_cast<double>(values[k]) * static_cast<double>(values[k]);
  *static_cast<double*>(block) = sum;
}

void deleteDataItems(Data_Vector* items) {
  for (int i = 0; i < items->size(); i++) {
    delete items->elementAt(i);
  }
  delete items;
}
