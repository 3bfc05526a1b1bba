#include "dataloader.h"

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>

#include "base/failure.h"
#include "dataitem.h"
#include "io/decimal.h"
#include "io/fieldreader.h"
#include "globals.h"
#include "io/files.h"

namespace {

// Header lines 2 and 4 are "word count": the count is the atoi value of
// everything after the first blank.
int readHeaderCount(FieldReader& reader) {
  std::string_view field;
  reader.read(' ', field);
  reader.read('\n', field);
  return atoi(field.data());
}

// Writes "added " and the identifier (all of it, NUL bytes included) as one
// line, built in `line` so the stream is called once. The line is not
// flushed: every later message goes through the same standard output stream,
// so these lines still come out first and in order.
void printAdded(std::string_view id, std::string& line) {
  line.assign("added ");
  line.append(id);
  line.push_back('\n');
  std::cout.write(line.data(), static_cast<std::streamsize>(line.size()));
}

// Owns the list being read with its vectors until it is handed out, so a
// failure that unwinds (a harness's failure handler) leaves nothing behind.
struct DeleteItems {
  void operator()(Data_Vector* items) const { deleteDataItems(items); }
};

struct FreeArray {
  void operator()(float* array) const { free(array); }
};
using Values = std::unique_ptr<float, FreeArray>;

// Room for this many values is set aside before the first record is read.
const long long kFirstValues = 1 << 16;

// Doubles the room in `values` (up to `limit` values); the values stay, and
// stay owned by `values` when there is no memory for more.
float* growValues(Values& values, long long& capacity, long long limit) {
  capacity = capacity * 2 < limit ? capacity * 2 : limit;
  float* grown = static_cast<float*>(realloc(values.get(), sizeof(float) * static_cast<size_t>(capacity)));
  if (grown == nullptr) {
    failOutOfMemory();
  }
  values.release();  // realloc has freed or kept the old block; `grown` is it now
  values.reset(grown);
  return grown;
}

}  // namespace

DataLoader::DataLoader() : dataLength(0), numVectors(0), vectorDescription(nullptr) {}

DataLoader::~DataLoader() {
  if (vectorDescription != nullptr) {
    for (int i = 0; i < dataLength; i++) {
      free(vectorDescription[i]);
    }
    free(vectorDescription);
  }
}

Data_Vector* DataLoader::readDataItems(const char* ifName) {
  FILE* file = openForReading(ifName);
  if (file == nullptr) {
    fail("inputfile not found (check propertyfile)");
  }
  FieldReader reader(file);
  std::unique_ptr<Data_Vector, DeleteItems> items(new Data_Vector());
  std::string_view field;
  std::string line;

  reader.read('\n', field);
  int vectors = readHeaderCount(reader);
  reader.read('\n', field);
  int components = readHeaderCount(reader);

  dataLength = components;
  Globals::vectorlength = components;
  numVectors = vectors;
  Globals::numofallvecs = vectors;

  if (vectors <= 0) {
    fail("inputfile announces " + std::to_string(vectors) + " vectors (check inputfile)");
  }
  if (components <= 0) {
    fail("inputfile announces " + std::to_string(components) + " components (check inputfile)");
  }

  // Each record is read into `values`, then copied with its identifier into
  // the vector's own allocation. The buffer grows with the values actually
  // read, so a header announcing more components than the file holds ends
  // with the message below instead of asking for memory it cannot have.
  long long capacity = dataLength < kFirstValues ? dataLength : kFirstValues;
  Values buffer(Globals::newVector(capacity));
  float* values = buffer.get();
  for (int record = 0; record < numVectors; record++) {
    bool finite = true;
    for (int i = 0; i < dataLength; i++) {
      if (!reader.read(' ', field)) {
        fail("inputfile ends after " + std::to_string(record) + " of " + std::to_string(numVectors) +
                      " vectors (check inputfile)");
      }
      if (i == capacity) {
        values = growValues(buffer, capacity, dataLength);
      }
      values[i] = decimalToFloat(field.data());
      finite = finite && std::isfinite(values[i]);
    }
    reader.read('\n', field);  // the identifier may end at the end of the file
    if (!finite) {
      fail("inputfile vector " + std::to_string(record + 1) + " (" + std::string(field) +
                    ") holds a value that is not a finite number (check inputfile)");
    }
    if (Globals::normInputVectors == 1) {
      Globals::normVec(values);
    }
    items->addElement(DataItem::create(field, values, dataLength));
    printAdded(field, line);
  }
  if (Globals::normInputVectors == 2) {
    Globals::normIntervalVector(items.get());
  }
  return items.release();
}

void DataLoader::readVectorDescription(const char* dfName) {
  FILE* file = openForReading(dfName);
  if (file == nullptr) {
    fail("descriptionfile not found (check propertyfile)");
  }
  vectorDescription = static_cast<char**>(calloc(dataLength, sizeof(char*)));
  if (vectorDescription == nullptr) {
    failOutOfMemory();
  }
  FieldReader reader(file);
  std::string_view field;
  for (int line = 0; line < 4; line++) {
    reader.read('\n', field);
  }
  for (int i = 0; i < dataLength; i++) {
    bool complete = reader.read(' ', field);
    complete = complete && reader.read(' ', field);
    if (!complete) {
      fail("descriptionfile ends after " + std::to_string(i) + " of " + std::to_string(dataLength) +
                    " components (check descriptionfile)");
    }
    vectorDescription[i] = Globals::newText(field);
    reader.read('\n', field);  // rest of the line; the last line may end at the end of the file
  }
}
