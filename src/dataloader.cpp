#include "dataloader.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/failure.h"
#include "dataitem.h"
#include "globals.h"
#include "io/decimal.h"
#include "io/fieldreader.h"
#include "io/files.h"
#include "io/inputfailure.h"
#include "io/record.h"
#include "io/recordreader.h"
#include "io/recordsource.h"
#include "io/recordstore.h"
#include "training/mapsize.h"

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
// so these lines still come out first and in order. A quiet console (for a
// log) leaves them out.
void printAdded(std::string_view id, std::string& line) {
  if (Globals::quiet) return;
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
    float& value = values.at(i);
    // Mostly the value and its blank lie in the bytes read already: read in
    // place, the very float decimalToFloat gives for the field.
    char* blank = nullptr;
    if (reader.unreadSize() > 0) {
      value = decimalFieldToFloat(reader.unread(), reader.unread() + reader.unreadSize(), ' ', &blank);
    }
    if (blank != nullptr) {
      reader.skip(static_cast<size_t>(blank - reader.unread()) + 1);
    } else {
      if (!reader.read(' ', field)) {
        fail("inputfile ends after " + std::to_string(record) + " of " + std::to_string(vectors) +
             " vectors (check inputfile)");
      }
      value = decimalToFloat(field.data());
    }
    finite = finite && std::isfinite(value);
  }
  reader.read('\n', field);  // the identifier may end at the end of the file
  if (!finite) {
    fail("inputfile vector " + std::to_string(record + 1) + " (" + std::string(field) +
         ") holds a value that is not a finite number (check inputfile)");
  }
  return field;
}

// Opens the input or the description file; ends the run when it cannot.
FILE* openInput(const char* ifName) {
  FILE* file = openForReading(ifName);
  if (file == nullptr) {
    fail("inputfile not found (check propertyfile)");
  }
  return file;
}

FILE* openDescription(const char* dfName) {
  FILE* file = openForReading(dfName);
  if (file == nullptr) {
    fail("descriptionfile not found (check propertyfile)");
  }
  return file;
}

void skipHeaderLines(FieldReader& reader) {
  std::string_view field;
  for (int line = 0; line < 4; line++) {
    reader.read('\n', field);
  }
}

// One component line of a description file: a field to a blank (ignored),
// the name (a field to a blank) and the rest of the line. False when the file
// ends before the name's blank.
bool readNameLine(FieldReader& reader, std::string& name) {
  std::string_view field;
  bool complete = reader.read(' ', field);
  complete = complete && reader.read(' ', field);
  if (!complete) {
    return false;
  }
  name.assign(field);
  reader.read('\n', field);  // rest of the line; the last line may end at the end of the file
  return true;
}

// The value of a text setting as a message shows it.
std::string settingValue(const char* value) { return value == nullptr ? "" : value; }

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
  FieldReader reader(openInput(ifName));
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
  FieldReader reader(openDescription(dfName));
  newNames();
  skipHeaderLines(reader);
  std::string name;
  for (int i = 0; i < dataLength; i++) {
    if (!readNameLine(reader, name)) {
      fail("descriptionfile ends after " + std::to_string(i) + " of " + std::to_string(dataLength) +
           " components (check descriptionfile)");
    }
    vectorDescription[i] = Globals::newText(name);
  }
}

Data_Vector* DataLoader::readInput(const char* ifName, const char* dfName) {
  InputFormat format = InputFormat::Vectors;
  if (!parseInputFormat(settingValue(Globals::inputFormat), format)) {
    fail("inputFormat=" + settingValue(Globals::inputFormat) + " is not one of vectors, csv, sparse (check propertyfile)");
  }
  if (format == InputFormat::Csv) {
    return readTable(ifName, dfName);
  }
  if (format == InputFormat::Sparse) {
    return readSparse(ifName, dfName);
  }
  std::unique_ptr<Data_Vector, DeleteItems> items(readDataItems(ifName));
  readVectorDescription(dfName);
  return items.release();
}

Data_Vector* DataLoader::readTable(const char* ifName, const char* dfName) {
  RecordReaderOptions options;
  if (!parseSeparator(settingValue(Globals::separator), options.csv.separator)) {
    fail("separator=" + settingValue(Globals::separator) + " is not one of , ; tab (check propertyfile)");
  }
  options.csv.idColumn = Globals::idColumn;
  RecordReader reader(InputFormat::Csv, openInput(ifName), ifName, options);
  setComponents(reader.components());
  const std::vector<std::string>& header = reader.componentNames();
  if (dfName == nullptr) {
    setNames(header);
  } else {
    readVectorDescription(dfName);
    for (int i = 0; i < dataLength; i++) {
      if (header[i] != vectorDescription[i]) {
        fail("descriptionfile names component " + std::to_string(i + 1) + " " + shownInput(vectorDescription[i]) +
             " where the header row of " + ifName + " has " + shownInput(header[i]) + " (check descriptionfile)");
      }
    }
  }
  std::unique_ptr<Data_Vector, DeleteItems> items(new Data_Vector());
  Record record;
  std::string line;
  while (reader.next(record)) {
    addItem(items.get(), record.id, record.values);
    printAdded(record.id, line);
  }
  return finishItems(items.release());
}

Data_Vector* DataLoader::readRecords(RecordSource& source, int components, const std::vector<std::string>& names) {
  setComponents(components);
  setNames(names);
  std::unique_ptr<Data_Vector, DeleteItems> items(new Data_Vector());
  std::vector<float> values(static_cast<size_t>(components));
  std::string id;
  std::string line;
  while (source.next(id, values.data())) {
    addItem(items.get(), id, values.data());
    printAdded(id, line);
  }
  return finishItems(items.release());
}

Data_Vector* DataLoader::readSparse(const char* ifName, const char* dfName) {
  if (Globals::components < 0) {
    fail("components=" + std::to_string(Globals::components) + " is negative (check propertyfile)");
  }
  int components = Globals::components;
  if (dfName != nullptr) {
    if (components == 0) {
      components = countNames(dfName);
    }
    setComponents(components);
    readVectorDescription(dfName);
  }
  // Kept sparse until the largest index is known, then made dense one by one.
  RecordStore kept;
  const int largest = keepSparseRecords(ifName, components, kept);
  if (components == 0) {
    components = largest;
    if (components == 0) {
      fail(std::string("inputfile ") + ifName +
           " lists no index:value pair, and neither components nor descriptionFile gives the number of components "
           "(check inputfile)");
    }
  }
  setComponents(components);
  refuseDenseBeyondMemory(kept.size(), vectorDescription == nullptr);
  if (vectorDescription == nullptr) {
    numberNames();
  }
  return finishItems(denseItems(kept));
}

Data_Vector* DataLoader::denseItems(RecordStore& kept) {
  std::unique_ptr<Data_Vector, DeleteItems> items(new Data_Vector());
  Record record;
  // Zeros between two records: each is written in, copied into its vector
  // (which shares one allocation with its identifier) and cleared again.
  std::vector<float> dense(static_cast<size_t>(dataLength), 0.0f);
  while (kept.takeNext(record)) {
    scatterRecord(record, dense.data());
    addItem(items.get(), record.id, dense.data());
    for (int i = 0; i < record.count; i++) {
      dense[static_cast<size_t>(record.indices[i])] = 0.0f;
    }
  }
  return items.release();
}

int DataLoader::keepSparseRecords(const char* ifName, int components, RecordStore& kept) {
  RecordReaderOptions options;
  options.components = components;
  RecordReader reader(InputFormat::Sparse, openInput(ifName), ifName, options);
  Record record;
  std::string line;
  while (reader.next(record)) {
    kept.add(record);
    printAdded(record.id, line);
  }
  if (kept.size() == 0) {
    fail(std::string("inputfile ") + ifName + " holds no vectors (check inputfile)");
  }
  return reader.largestIndex();
}

int DataLoader::countNames(const char* dfName) {
  FieldReader reader(openDescription(dfName));
  skipHeaderLines(reader);
  std::string name;
  int names = 0;
  while (names < INT_MAX && readNameLine(reader, name)) {
    names++;
  }
  if (names == 0) {
    fail("descriptionfile names no component (check descriptionfile)");
  }
  return names;
}

void DataLoader::setComponents(int components) {
  dataLength = components;
  Globals::vectorlength = components;
}

void DataLoader::newNames() {
  vectorDescription = static_cast<char**>(calloc(dataLength, sizeof(char*)));
  if (vectorDescription == nullptr) {
    failOutOfMemory();
  }
}

void DataLoader::setNames(const std::vector<std::string>& names) {
  newNames();
  for (int i = 0; i < dataLength; i++) {
    vectorDescription[i] = Globals::newText(names[i]);
  }
}

void DataLoader::numberNames() {
  newNames();
  for (int i = 0; i < dataLength; i++) {
    vectorDescription[i] = Globals::newText(std::to_string(i + 1));
  }
}

void DataLoader::refuseDenseBeyondMemory(long vectors, bool namesToMake) const {
  // A made-up name takes its pointer and a small allocation.
  const double perName = namesToMake ? static_cast<double>(sizeof(char*)) + 32.0 : 0.0;
  const double bytes = static_cast<double>(vectors + 1) * static_cast<double>(dataLength) * sizeof(float) +
                       static_cast<double>(dataLength) * perName;
  const double memory = physicalMemoryBytes();
  if (memory > 0.0 && bytes > memory) {
    fail(std::to_string(vectors) + " vectors of " + std::to_string(dataLength) +
         " components do not fit in memory (check inputfile)");
  }
}

void DataLoader::addItem(Data_Vector* items, std::string_view id, const float* values) {
  if (Globals::normInputVectors == 1) {
    // Scaled to length 1 while still dense, as the input-vector reader does.
    lengthScratch.assign(values, values + dataLength);
    Globals::normVec(lengthScratch.data());
    values = lengthScratch.data();
  }
  items->addElement(DataItem::create(id, values, dataLength));
}

Data_Vector* DataLoader::finishItems(Data_Vector* items) {
  numVectors = items->size();
  Globals::numofallvecs = numVectors;
  if (Globals::normInputVectors == 2) {
    Globals::normIntervalVector(items, &intervalDivisors);
  }
  return items;
}
