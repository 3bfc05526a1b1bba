#include "mapsize.h"

#include <unistd.h>

#include <climits>

#include "neuron.h"
#include "vector.h"

double mapBytesNeeded(long long units, int components) {
  const double perUnit = static_cast<double>(sizeof(Neuron)) + static_cast<double>(sizeof(Data_Vector)) +
                         static_cast<double>(sizeof(float)) * static_cast<double>(components) +
                         static_cast<double>(sizeof(Neuron*) + sizeof(float*) + sizeof(double));
  return static_cast<double>(units) * perUnit;
}

double physicalMemoryBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) {
    return 0.0;
  }
  return static_cast<double>(pages) * static_cast<double>(pageSize);
}

bool mapFitsInMemory(long long columns, long long rows, int components) {
  // Both sides are at most INT_MAX, so the product cannot overflow.
  const long long units = columns * rows;
  if (units > INT_MAX) {
    return false;
  }
  const double memory = physicalMemoryBytes();
  return memory <= 0.0 || mapBytesNeeded(units, components) <= memory;
}
