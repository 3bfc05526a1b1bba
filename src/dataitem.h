#ifndef VELMAR_DATAITEM_H
#define VELMAR_DATAITEM_H

#include <cstddef>
#include <string_view>

#include "kernels/vectorvalues.h"
#include "vector.h"

// One input vector with its identifier. It owns both its identifier text and
// its values; every list that refers to it only points to it.
//
// The values are kept dense (a float per component) or sparse (the
// components that are not +0, as index and value pairs; see
// kernels/vectorvalues.h), whichever is smaller; both give the same values
// bit for bit. Read them with values() (a dense view), value(i) (one
// component), or, where speed matters, dense() or sparse() after asking
// isSparse().
class DataItem {
 public:
  // A dense vector that takes over the identifier and the array (both from
  // malloc/calloc).
  DataItem(char* inid, float* indataVector, int inlength);
  // A vector whose values (copied from `values`, dense) and identifier share
  // one allocation: the loader's way, a malloc header and its rounding less
  // per vector for data sets of millions. Sparse when that is smaller.
  static DataItem* create(std::string_view inid, const float* values, int inlength);
  ~DataItem();

  DataItem(const DataItem&) = delete;
  DataItem& operator=(const DataItem&) = delete;

  const char* getId() const { return id; }
  int getLength() const { return length; }
  bool isSparse() const { return stored >= 0; }

  // Every component, dense, for as long as the returned object lives (no
  // copy for a dense vector).
  DenseValues values() const { return isSparse() ? DenseValues(sparse(), length) : DenseValues(dense()); }
  // Component i.
  float value(int i) const;
  // A dense vector's array (only when !isSparse()).
  const float* dense() const { return static_cast<const float*>(block); }
  // A sparse vector's listed components (only when isSparse()).
  SparseEntries sparse() const;
  // A sparse vector's squared length, its listed values squared and summed
  // in double (only when isSparse()).
  double squaredLength() const { return *static_cast<const double*>(block); }

  // Calls change(i, value) with a reference to every stored value: every
  // component of a dense vector, the listed ones of a sparse vector (the
  // others are +0). For changes that leave +0 as it is, such as scaling.
  template <class Change>
  void changeStored(Change change);

  // Where the values lie in memory and how many bytes they take, so they can
  // be fetched ahead of use.
  const void* storage() const { return block; }
  size_t storageBytes() const { return isSparse() ? sparseBytes(stored) : sizeof(float) * static_cast<size_t>(length); }
  // Asks the processor to fetch the values ahead of use (only a hint).
  void prefetchValues() const {
    const char* data = static_cast<const char*>(block);
    const size_t bytes = storageBytes();
    for (size_t at = 0; at < bytes; at += 64) __builtin_prefetch(data + at);
  }

 private:
  DataItem(char* inid, void* inblock, int inlength, int instored);
  // The bytes of a sparse vector's values: the squared length, then the indices, then the values.
  static size_t sparseBytes(int count) {
    return sizeof(double) + (sizeof(int) + sizeof(float)) * static_cast<size_t>(count);
  }
  float* storedValues();
  const int* storedIndices() const;
  void refreshSquaredLength();

  char* id;
  void* block;  // dense: the floats; sparse: squared length, indices, values
  int length;
  int stored;  // how many components a sparse vector lists; -1 for a dense vector
};

template <class Change>
void DataItem::changeStored(Change change) {
  float* values = storedValues();
  if (!isSparse()) {
    for (int i = 0; i < length; i++) change(i, values[i]);
    return;
  }
  const int* index = storedIndices();
  for (int k = 0; k < stored; k++) change(index[k], values[k]);
  refreshSquaredLength();
}

// Deletes a list of input vectors together with the vectors in it.
void deleteDataItems(Data_Vector* items);

#endif
