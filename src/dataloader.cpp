#include "dataloader.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "dataitem.h"
#include "globals.h"

namespace {

// Header lines 2 and 4 are "word count": the count is the atoi value of
// everything after the first blank.
int readHeaderCount(FILE* file) {
  std::string field;
  DataLoader::readField(file, ' ', field);
  DataLoader::readField(file, '\n', field);
  return atoi(field.c_str());
}

}  // namespace

DataLoader::DataLoader() : dataLength(0), numVectors(0), vectorDescription(nullptr) {}

bool DataLoader::readField(FILE* file, char delimiter, std::string& field) {
  field.clear();
  for (;;) {
    int c = getc_unlocked(file);
    if (c == EOF) {
      return false;
    }
    if (c == delimiter) {
      return true;
    }
    field.push_back(static_cast<char>(c));
  }
}

Data_Vector* DataLoader::readDataItems(const char* ifName) {
  FILE* file = Globals::openForReading(ifName);
  if (file == nullptr) {
    Globals::fail("inputfile not found (check propertyfile)");
  }
  Data_Vector* items = new Data_Vector();
  std::string field;

  readField(file, '\n', field);
  int vectors = readHeaderCount(file);
  readField(file, '\n', field);
  int components = readHeaderCount(file);

  dataLength = components;
  Globals::vectorlength = components;
  numVectors = vectors;
  Globals::numofallvecs = vectors;

  if (vectors <= 0) {
    Globals::fail("inputfile announces " + std::to_string(vectors) + " vectors (check inputfile)");
  }
  if (components <= 0) {
    Globals::fail("inputfile announces " + std::to_string(components) + " components (check inputfile)");
  }

  for (int record = 0; record < numVectors; record++) {
    float* values = Globals::newVector(dataLength);
    bool finite = true;
    for (int i = 0; i < dataLength; i++) {
      if (!readField(file, ' ', field)) {
        Globals::fail("inputfile ends after " + std::to_string(record) + " of " + std::to_string(numVectors) +
                      " vectors (check inputfile)");
      }
      values[i] = static_cast<float>(atof(field.c_str()));
      finite = finite && std::isfinite(values[i]);
    }
    readField(file, '\n', field);  // the identifier may end at the end of the file
    if (!finite) {
      Globals::fail("inputfile vector " + std::to_string(record + 1) + " (" + field +
                    ") holds a value that is not a finite number (check inputfile)");
    }
    if (Globals::normInputVectors == 1) {
      Globals::normVec(values);
    }
    items->addElement(new DataItem(Globals::newText(field), values, dataLength));
    std::cout << "added " << field << std::endl;
  }
  if (Globals::normInputVectors == 2) {
    Globals::normIntervalVector(items);
  }
  fclose(file);
  return items;
}

void DataLoader::readVectorDescription(const char* dfName) {
  FILE* file = Globals::openForReading(dfName);
  if (file == nullptr) {
    Globals::fail("descriptionfile not found (check propertyfile)");
  }
  vectorDescription = static_cast<char**>(calloc(dataLength, sizeof(char*)));
  if (vectorDescription == nullptr) {
    failOutOfMemory();
  }
  std::string field;
  for (int line = 0; line < 4; line++) {
    readField(file, '\n', field);
  }
  for (int i = 0; i < dataLength; i++) {
    bool complete = readField(file, ' ', field);
    complete = complete && readField(file, ' ', field);
    if (!complete) {
      Globals::fail("descriptionfile ends after " + std::to_string(i) + " of " + std::to_string(dataLength) +
                    " components (check descriptionfile)");
    }
    vectorDescription[i] = Globals::newText(field);
    readField(file, '\n', field);  // rest of the line; the last line may end at the end of the file
  }
  fclose(file);
}
