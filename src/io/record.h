#ifndef VELMAR_IO_RECORD_H
#define VELMAR_IO_RECORD_H

#include <string_view>

// One input vector as a reader hands it out: its identifier and its values,
// either every component in order (dense) or only the listed ones (sparse).
// What it points to belongs to the reader (or store) that filled it and
// stays valid until that one's next call.
struct Record {
  std::string_view id;
  const float* values = nullptr;  // `count` values
  // nullptr: `values` holds every component, in order. Otherwise the 0-based
  // component of each value, strictly increasing; unlisted components are 0.
  const int* indices = nullptr;
  int count = 0;
  long line = 0;  // the line of the file on which the record starts
};

// Writes the record's values into the vector `dense`: a dense record's in
// order, a sparse record's each at its component, leaving the others as they
// are (so `dense` should hold zeros). Every component of the record must lie
// within `dense`.
void scatterRecord(const Record& record, float* dense);

#endif
