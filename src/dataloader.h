#ifndef VELMAR_DATALOADER_H
#define VELMAR_DATALOADER_H

#include <cstdio>
#include <string>

#include "vector.h"

// Reads the input-vector file and the description file that names the
// vector components. Both use four header lines and then one record per line.
class DataLoader {
 public:
  DataLoader();

  // Reads every input vector, in file order, and sets the component and
  // vector counts here and in Globals. Ends the run on unusable input.
  Data_Vector* readDataItems(const char* ifName);
  // Reads one name per component; call after readDataItems.
  void readVectorDescription(const char* dfName);

  char** getVectorDescription() { return vectorDescription; }
  bool providesVectorDescription() const { return true; }

  int getDataLength() const { return dataLength; }
  int getNumVectors() const { return numVectors; }

  // Reads the characters up to the next `delimiter`, which is consumed, into
  // `field`. Skips nothing beforehand. Returns false when the end of the file
  // came first (the characters read so far are still in `field`).
  static bool readField(FILE* file, char delimiter, std::string& field);

 private:
  int dataLength;
  int numVectors;
  char** vectorDescription;
};

#endif
