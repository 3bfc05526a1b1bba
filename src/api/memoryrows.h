#ifndef VELMAR_API_MEMORYROWS_H
#define VELMAR_API_MEMORYROWS_H

#include <string>
#include <vector>

#include "api/velmar.h"

// The rows of a matrix handed in from memory, each as the floats a
// command-line run reads from its decimal text: the value as a double,
// rounded to the nearest float. Any row can be read at any time, from any
// thread.
class MemoryRows {
 public:
  // Checks the matrix: a positive number of rows and columns, and for a
  // sparse one row starts that do not fall and indices that increase within
  // each row and lie below the column count. Ends the call (fail) otherwise;
  // `what` names the matrix in messages.
  MemoryRows(const velmar::Vectors& vectors, const std::string& what);

  long long rows() const { return rows_; }
  int columns() const { return static_cast<int>(columns_); }
  // Row r's values into `out` (columns() of them). False when one of them
  // is not a finite number.
  bool read(long long r, float* out) const;

 private:
  const velmar::DenseMatrix* dense_;
  const velmar::SparseMatrix* sparse_;
  long long rows_;
  long long columns_;

  void checkSparse(const std::string& what) const;
};

// The rows of a MemoryRows one after the other, as the records of an input
// file: identifiers from `ids` (empty: 1, 2, ...). A value that is not a
// finite number ends the run, as it does in a file.
class MemoryRecords {
 public:
  MemoryRecords(const MemoryRows& rows, const std::vector<std::string>& ids, const std::string& name);
  // The next record's identifier and values; false after the last.
  bool next(std::string& id, float* values);

 private:
  const MemoryRows& rows_;
  const std::vector<std::string>& ids_;
  std::string name_;
  long long next_ = 0;
};

#endif
