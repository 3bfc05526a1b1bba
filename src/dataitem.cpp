#include "dataitem.h"

#include <cstdlib>

// The identifier and the array come from malloc/calloc (the text reader and
// Globals::newVector), so they are released with free.
DataItem::DataItem(char* inid, float* indataVector, int inlength)
    : id(inid), dataVector(indataVector), length(inlength) {}

DataItem::~DataItem() {
  std::free(id);
  std::free(dataVector);
}
