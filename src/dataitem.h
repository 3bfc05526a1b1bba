#ifndef VELMAR_DATAITEM_H
#define VELMAR_DATAITEM_H

#include <string_view>

#include "vector.h"

// One input vector with its identifier. It owns both its identifier text and
// its component array; every list that refers to it only points to it.
class DataItem {
 public:
  DataItem(char* inid, float* indataVector, int inlength);
  // A vector whose components (copied from `values`) and identifier share one
  // allocation: the loader's way, a malloc header and its rounding less per
  // vector for data sets of millions.
  static DataItem* create(std::string_view inid, const float* values, int inlength);
  ~DataItem();

  DataItem(const DataItem&) = delete;
  DataItem& operator=(const DataItem&) = delete;

  float* getDataVector() { return dataVector; }
  const char* getId() const { return id; }

 private:
  char* id;
  float* dataVector;
  int length;
};

// Deletes a list of input vectors together with the vectors in it.
void deleteDataItems(Data_Vector* items);

#endif
