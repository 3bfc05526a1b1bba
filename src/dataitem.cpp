#include "dataitem.h"

#include <cstdlib>
#include <cstring>

#include "vector.h"

// The identifier and the array come from malloc/calloc (the text reader and
// Globals::newVector), so they are released with free.
DataItem::DataItem(char* inid, float* indataVector, int inlength)
    : id(inid), dataVector(indataVector), length(inlength) {}

DataItem* DataItem::create(std::string_view inid, const float* values, int inlength) {
  const size_t vectorBytes = sizeof(float) * static_cast<size_t>(inlength);
  char* block = static_cast<char*>(std::malloc(vectorBytes + inid.size() + 1));
  if (block == nullptr) {
    failOutOfMemory();
  }
  std::memcpy(block, values, vectorBytes);
  char* text = block + vectorBytes;
  std::memcpy(text, inid.data(), inid.size());
  text[inid.size()] = '\0';
  return new DataItem(text, reinterpret_cast<float*>(block), inlength);
}

DataItem::~DataItem() {
  // An identifier stored right behind the components shares their allocation.
  if (id != reinterpret_cast<char*>(dataVector + length)) {
    std::free(id);
  }
  std::free(dataVector);
}

void deleteDataItems(Data_Vector* items) {
  for (int i = 0; i < items->size(); i++) {
    delete items->elementAt(i);
  }
  delete items;
}
