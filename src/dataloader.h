#ifndef VELMAR_DATALOADER_H
#define VELMAR_DATALOADER_H

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "vector.h"

class DataItem;
class FieldReader;
class RecordStore;
struct Record;

// Reads the input-vector file and the description file that names the
// vector components. Both use four header lines and then one record per line.
class DataLoader {
 public:
  DataLoader();
  // Releases the component names.
  ~DataLoader();

  DataLoader(const DataLoader&) = delete;
  DataLoader& operator=(const DataLoader&) = delete;

  // Reads the input vectors and the component names in the format that
  // Globals::inputFormat names: an input-vector file and its description file
  // as readDataItems and readVectorDescription do, one after the other; a
  // table (csv) or sparse vectors, whose description file is optional. Ends
  // the run on unusable settings or input.
  Data_Vector* readInput(const char* ifName, const char* dfName);

  // The vectors next(id, values) hands out one at a time (false: no more),
  // in order, of `components` components named by `names` (one each): the
  // vectors, normalisation and counts that a file of the same values gives,
  // with an "added" line per vector. `name` names the vectors in messages.
  Data_Vector* readRecords(const std::function<bool(std::string&, float*)>& next, const std::string& name,
                           int components, const std::vector<std::string>& names);

  // Reads every input vector, in file order, and sets the component and
  // vector counts here and in Globals. Ends the run on unusable input.
  Data_Vector* readDataItems(const char* ifName);
  // Reads one name per component; call after readDataItems.
  void readVectorDescription(const char* dfName);

  // The component names, index = component; owned by the loader.
  char** getVectorDescription() { return vectorDescription; }
  bool providesVectorDescription() const { return true; }
  // With INTERVAL normalisation, what every component was divided by (0:
  // not divided); empty otherwise.
  const std::vector<float>& getIntervalDivisors() const { return intervalDivisors; }

 private:
  // Header lines 1 to 4: the vector count from line 2, the component count
  // from line 4; ends the run when either is not positive. Returns the line
  // the first record starts on.
  long readCounts(FieldReader& reader);
  // A table: the names come from its header row; a description file, if
  // given, must name the same components.
  Data_Vector* readTable(const char* ifName, const char* dfName);
  // Sparse vectors: the component count is the components setting, else the
  // number of names of the description file, else the largest index; the
  // names come from the description file, else they are the 1-based indices.
  Data_Vector* readSparse(const char* ifName, const char* dfName);
  // Reads every sparse vector of the file into `kept`, each with its "added"
  // line; returns the largest index. `components` (0: none) bounds the indices.
  int keepSparseRecords(const char* ifName, int components, RecordStore& kept);
  // The kept records (read from `ifName`) as vectors of dataLength
  // components (LENGTH-normalised when that is set), in order.
  Data_Vector* denseItems(RecordStore& kept, const char* ifName);
  // The number of component names the description file holds.
  int countNames(const char* dfName);
  void setComponents(int components);
  // Room for dataLength names, all null.
  void newNames();
  // Names the components by `names` (one each), or by their 1-based numbers.
  void setNames(const std::vector<std::string>& names);
  void numberNames();
  // Ends the run when `vectors` dense vectors of dataLength components (one
  // more while they are made, and the names numberNames would make) would
  // take more than the machine's memory: a short sparse file can name a
  // component two billion.
  void refuseDenseBeyondMemory(long vectors, bool namesToMake) const;
  // Appends the vector of the record (read from `ifName`) to the list,
  // LENGTH-normalised when that is set (the run ends when that cannot be).
  void addItem(Data_Vector* items, const Record& record, const float* values, const char* ifName);
  // Ends the run when LENGTH normalisation is on and cannot scale `values` to
  // length 1; where() names the vector, worked out only then.
  template <class Where>
  void refuseUnnormalisableValues(const float* values, std::string_view id, Where where) const;
  // Appends the vector, LENGTH-normalised when that is set (and checked).
  void appendItem(Data_Vector* items, std::string_view id, const float* values);
  // Sets the vector counts and applies INTERVAL normalisation, when set.
  Data_Vector* finishItems(Data_Vector* items);

  int dataLength;
  int numVectors;
  char** vectorDescription;
  std::vector<float> intervalDivisors;
  std::vector<float> lengthScratch;  // a vector being scaled to length 1
};

#endif
