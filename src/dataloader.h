#ifndef VELMAR_DATALOADER_H
#define VELMAR_DATALOADER_H

#include <vector>

#include "vector.h"

class FieldReader;

// Reads the input-vector file and the description file that names the
// vector components. Both use four header lines and then one record per line.
class DataLoader {
 public:
  DataLoader();
  // Releases the component names.
  ~DataLoader();

  DataLoader(const DataLoader&) = delete;
  DataLoader& operator=(const DataLoader&) = delete;

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
  // from line 4; ends the run when either is not positive.
  void readCounts(FieldReader& reader);

  int dataLength;
  int numVectors;
  char** vectorDescription;
  std::vector<float> intervalDivisors;
};

#endif
