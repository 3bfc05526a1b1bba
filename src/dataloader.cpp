#include "dataloader.h"

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>

#include "base/failure.h"
#include "dataitem.h"
#include "globals.h"
#include "io/decimal.h"
#include "io/fieldreader.h"
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

// The values of the record being read. Room grows with the values actually
// read (doubling, up to the component count), so a header announcing more
// components than the file holds ends with its message instead of asking for
// memory it cannot have.
class RecordValues {
 public:
  explicit RecordValues(int components)
      : limit(components), capacity(components < kFirstValues ? components : kFirstValues),
        values(Globals::newVector(capacity), free) {}

  float* data() { return values.get(); }
  // Room for value i (values are read in order).
  float& at(int i) {
    if (i == capacity) {
      grow();
    }
    return values.get()[i];
  }

 private:
  // Room for this many values is set aside before the first record is read.
  static constexpr long long kFirstValues = 1 << 16;
  long long limit;
  long long capacity;
  std::unique_ptr<float, void (*)(void*)> values;

  // The values stay, and stay owned, when there is no memory for more.
  void grow() {
    capacity = capacity * 2 < limit ? capacity * 2 : limit;
    float* grown = static_cast<float*>(realloc(values.get(), sizeof(float) * static_cast<size_t>(capacity)));
    if (grown == nullptr) {
      failOutOfMemory();
    }
    values.release();  // realloc has freed or kept the old block; `grown` is it now
    values.reset(grown);
  }
};

// One record: its values, each followed by a blank, into `values`, then its
// identifier (the rest of the line), which is returned. Ends the run when the
// file ends first or a value is not a finite number.
std::string_view readRecord(FieldReader& reader, RecordValues& values, int components, int record, int vectors) {
  std::string_view field;
  bool finite = true;
  for (int i = 0; i < components; i++) {
    if (!reader.read(' ', field)) {
      fail("inputfile ends after " + std::to_string(record) + " of " + std::to_string(vectors) +
           " vectors (check inputfile)");
    }
    float& value = values.at(i);
    value = decimalToFloat(field.data());
    finite = finite && std::isfinite(value);
  }
  reader.read('\n', field);  // the identifier may end at the end of the file
  if (!finite) {
    fail("inputfile vector " + std::to_string(record + 1) + " (" + std::string(field) +
         ") holds a value that is not a finite number (check inputfile)");
  }
  return field;
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
  readCounts(reader);
  std::unique_ptr<Data_Vector, DeleteItems> items(new Data_Vector());
  RecordValues values(dataLength);
  std::string line;
  for (int record = 0; record < numVectors; record++) {
    const std::string_view id = readRecord(reader, values, dataLength, record, numVectors);
    if (Globals::normInputVectors == 1) {
      Globals::normVec(values.data());
    }
    items->addElement(DataItem::create(id, values.data(), dataLength));
    printAdded(id, line);
  }
  if (Globals::normInputVectors == 2) {
    Globals::normIntervalVector(items.get(), &intervalDivisors);
  }
  return items.release();
}

void DataLoader::readCounts(FieldReader& reader) {
  std::string_view field;
  reader.read('\n', field);
  const int vectors = readHeaderCount(reader);
  reader.read('\n', field);
  const int components = readHeaderCount(reader);
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
