#include "training/mapsize.h"

#include <unistd.h>

#include <climits>

double physicalMemoryBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages <= 0 || pageSize <= 0) {
    return 0.0;
  }
  return static_cast<double>(pages) * static_cast<double>(pageSize);
}

bool mapFitsInMemory(long long columns, long long rows, double bytesPerUnit) {
  // Both sides are at most INT_MAX, so the product cannot overflow.
  const long long units = columns * rows;
  if (units > INT_MAX) {
    return false;
  }
  const double memory = physicalMemoryBytes();
  return memory <= 0.0 || static_cast<double>(units) * bytesPerUnit <= memory;
}
