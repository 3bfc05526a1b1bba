#include "dataloader.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/failure.h"
#include "base/warning.h"
#include "dataitem.h"
#include "globals.h"
#include "io/decimal.h"
#include "io/descriptionfile.h"
#include "io/fieldreader.h"
#include "io/files.h"
#include "io/inputfailure.h"
#include "io/record.h"
#include "io/recordreader.h"
#include "io/recordstore.h"
#include "io/settingtext.h"
#include "kernels/squaredlength.h"
#include "training/mapsize.h"

namespace {

// Header lines 2 and 4 are "word count": the count is the atoi value of
// everything after the first blank. The word may run over line ends, which
// are added to `lines`.
int readHeaderCount(FieldReader& reader, long& lines) {
  std::string_view field;
  reader.read(' ', field);
  lines += std::count(field.begin(), field.end(), '\n');
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
      : limit(components),
        capacity(components < kFirstValues ? components : kFirstValues),
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

// The values of an input-vector file that are not a number alone, each read
// as the C library reads it all the same (0 for one that does not begin with
// a number, the number it begins with otherwise): how many, and the first.
class LenientValues {
 public:
  // The value read from `field`, noted when the field is not one number
  // (tabs around it aside).
  float read(std::string_view field, int record, int component) {
    char* end = nullptr;
    const float value = static_cast<float>(strtod(field.data(), &end));  // what atof gives
    const size_t begin = field.find_first_not_of('\t');
    const size_t stop = static_cast<size_t>(end - field.data());
    const bool plain = begin != std::string_view::npos && !isspace(static_cast<unsigned char>(field[begin])) &&
                       stop > begin && field.find_first_not_of('\t', stop) == std::string_view::npos;
    if (!plain && count_++ == 0) {
      record_ = record;
      component_ = component;
      text_ = shownInput(field);
      value_ = value;
    }
    return value;
  }

  // One warning for the file, if any value was noted. Every field before the
  // first noted one held no line end, so its record starts on line
  // `firstRecordLine` + its number.
  void warnOnce(const char* file, long firstRecordLine) const {
    if (count_ == 0) {
      return;
    }
    char shown[32];
    char* end = std::to_chars(shown, shown + sizeof shown, value_).ptr;
    warn(std::string(file) + " line " + std::to_string(firstRecordLine + record_) + ", component " +
         std::to_string(component_ + 1) + ": " + text_ + " read as " + std::string(shown, end) +
         (count_ > 1 ? "; " + std::to_string(count_) + " values like it" : ""));
  }

 private:
  long count_ = 0;
  int record_ = 0;
  int component_ = 0;
  std::string text_;
  float value_ = 0.0f;
};

// One record: its values, each followed by a blank, into `values`, then its
// identifier (the rest of the line), which is returned. Ends the run when the
// file ends first or a value is not a finite number.
std::string_view readRecord(FieldReader& reader, RecordValues& values, int components, int record, int vectors,
                            LenientValues& lenient) {
  std::string_view field;
  bool finite = true;
  for (int i = 0; i < components; i++) {
    float& value = values.at(i);
    // Mostly a plain decimal and its blank lie in the bytes read already:
    // read in place, the very float atof gives for the field.
    const char* stop = nullptr;
    if (readPlainDecimal(reader.unread(), stop, value) && *stop == ' ') {
      reader.skip(static_cast<size_t>(stop - reader.unread()) + 1);
    } else {
      if (!reader.read(' ', field)) {
        fail("inputfile ends after " + std::to_string(record) + " of " + std::to_string(vectors) +
             " vectors (check inputfile)");
      }
      value = lenient.read(field, record, i);
    }
    finite = finite && std::isfinite(value);
  }
  reader.read('\n', field);  // the identifier may end at the end of the file
  if (!finite) {
    fail("inputfile vector " + std::to_string(record + 1) + " (" + std::string(field) +
         ") holds a value that is not a finite number (check inputfile)");
  }
  if (field.find('\0') != std::string_view::npos) {
    fail("inputfile vector " + std::to_string(record + 1) + " has the identifier " + shownInput(field) +
         ", whose NUL byte would cut it short in every output (check inputfile)");
  }
  return field;
}

// Ends the run for a vector that LENGTH normalisation cannot scale to length
// 1 in float (`squared`, from squaredLengthOf, is not Fine); `which` names it
// ("inputfile vector 3", ...).
[[noreturn]] void refuseUnnormalisable(SquaredLength squared, const std::string& which, std::string_view id) {
  const bool large = squared == SquaredLength::Overflows;
  fail(which + " (" + shownInput(id) +
       ") cannot be scaled to length 1 (normInputVectors=LENGTH): its components "
       "are too " +
       (large ? "large" : "small") + " for the sum of their squares in float; scale the data " +
       (large ? "down" : "up") + " (check inputfile)");
}

// Opens the file the setting `key` names; when it cannot, warns which file
// was looked for and ends the run with `message`, the line the input-vector
// format has always given.
FILE* openNamed(const char* name, const char* key, const char* message) {
  if (name == nullptr) {
    warn(std::string("no ") + key + " in the property file");
    fail(message);
  }
  FILE* file = openForReading(name);
  if (file == nullptr) {
    warn(std::string(key) + " " + whyNotReadable(name));
    fail(message);
  }
  return file;
}

FILE* openInput(const char* ifName) {
  return openNamed(ifName, "inputFile", "inputfile not found (check propertyfile)");
}

// The names of the description file: `count` of them, or all with count 0.
std::vector<std::string> readNames(const char* dfName, int count) {
  std::string text;
  if (!readWholeFile(openNamed(dfName, "descriptionFile", "descriptionfile not found (check propertyfile)"), text)) {
    fail("descriptionfile could not be read");
  }
  return descriptionNames(text, count);
}

// The value of a text setting as a message shows it, a final carriage return
// left out (and noted by carriageReturnNote).
std::string settingValue(const char* value) {
  return value == nullptr ? "" : std::string(withoutCarriageReturn(value));
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
  FieldReader reader(openInput(ifName));
  const long firstRecordLine = readCounts(reader);
  std::unique_ptr<Data_Vector, DeleteItems> items(new Data_Vector());
  RecordValues values(dataLength);
  LenientValues lenient;
  std::string line;
  for (int record = 0; record < numVectors; record++) {
    const std::string_view id = readRecord(reader, values, dataLength, record, numVectors, lenient);
    if (Globals::normInputVectors == 1) {
      const SquaredLength squared = squaredLengthOf(values.data(), dataLength);
      if (squared != SquaredLength::Fine) {
        refuseUnnormalisable(squared, "inputfile vector " + std::to_string(record + 1), id);
      }
      Globals::normVec(values.data());
    }
    items->addElement(DataItem::create(id, values.data(), dataLength));
    printAdded(id, line);
  }
  lenient.warnOnce(ifName, firstRecordLine);
  if (Globals::normInputVectors == 2) {
    Globals::normIntervalVector(items.get(), &intervalDivisors);
  }
  return items.release();
}

long DataLoader::readCounts(FieldReader& reader) {
  std::string_view field;
  long lines = 5;
  reader.read('\n', field);
  const int vectors = readHeaderCount(reader, lines);
  reader.read('\n', field);
  const int components = readHeaderCount(reader, lines);
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
  return lines;
}

void DataLoader::readVectorDescription(const char* dfName) {
  const std::vector<std::string> names = readNames(dfName, dataLength);
  newNames();
  for (int i = 0; i < dataLength; i++) {
    vectorDescription[i] = Globals::newText(names[static_cast<size_t>(i)]);
  }
}

Data_Vector* DataLoader::readInput(const char* ifName, const char* dfName) {
  InputFormat format = InputFormat::Vectors;
  const char* formatName = Globals::inputFormat == nullptr ? "" : Globals::inputFormat;
  if (!parseInputFormat(formatName, format)) {
    fail("inputFormat=" + settingValue(formatName) + " is not one of vectors, csv, sparse" +
         carriageReturnNote(formatName) + " (check propertyfile)");
  }
  if (format != InputFormat::Vectors && ifName == nullptr) {
    fail("no inputFile in the property file (check propertyfile)");
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
  const char* separator = Globals::separator == nullptr ? "" : Globals::separator;
  if (!parseSeparator(separator, options.csv.separator)) {
    fail("separator=" + settingValue(separator) + " is not one of , ; tab" + carriageReturnNote(separator) +
         " (check propertyfile)");
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
    addItem(items.get(), record, record.values, ifName);
    printAdded(record.id, line);
  }
  return finishItems(items.release());
}

Data_Vector* DataLoader::readRecords(const std::function<bool(std::string&, float*)>& next, const std::string& name,
                                     int components, const std::vector<std::string>& names) {
  setComponents(components);
  setNames(names);
  std::unique_ptr<Data_Vector, DeleteItems> items(new Data_Vector());
  std::vector<float> values(static_cast<size_t>(components));
  std::string id;
  std::string line;
  while (next(id, values.data())) {
    refuseUnnormalisableValues(values.data(), id,
                               [&] { return "input " + name + " vector " + std::to_string(items->size() + 1); });
    appendItem(items.get(), id, values.data());
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
  return finishItems(denseItems(kept, ifName));
}

Data_Vector* DataLoader::denseItems(RecordStore& kept, const char* ifName) {
  std::unique_ptr<Data_Vector, DeleteItems> items(new Data_Vector());
  Record record;
  // Zeros between two records: each is written in, copied into its vector
  // (which shares one allocation with its identifier) and cleared again.
  std::vector<float> dense(static_cast<size_t>(dataLength), 0.0f);
  while (kept.takeNext(record)) {
    scatterRecord(record, dense.data());
    addItem(items.get(), record, dense.data(), ifName);
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
  const size_t names = readNames(dfName, 0).size();
  return names < INT_MAX ? static_cast<int>(names) : INT_MAX;
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

template <class Where>
void DataLoader::refuseUnnormalisableValues(const float* values, std::string_view id, Where where) const {
  if (Globals::normInputVectors != 1) {
    return;
  }
  const SquaredLength squared = squaredLengthOf(values, dataLength);
  if (squared != SquaredLength::Fine) {
    refuseUnnormalisable(squared, where(), id);
  }
}

void DataLoader::addItem(Data_Vector* items, const Record& record, const float* values, const char* ifName) {
  refuseUnnormalisableValues(values, record.id, [&] {
    return "inputfile " + std::string(ifName) + ", line " + std::to_string(record.line) + ": vector";
  });
  appendItem(items, record.id, values);
}

void DataLoader::appendItem(Data_Vector* items, std::string_view id, const float* values) {
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
