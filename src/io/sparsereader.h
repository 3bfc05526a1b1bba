#ifndef VELMAR_IO_SPARSEREADER_H
#define VELMAR_IO_SPARSEREADER_H

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "io/fieldreader.h"
#include "io/record.h"

// Reads sparse vectors, one a line: an optional identifier, then the
// non-zero components as "index:value" with 1-based indices in increasing
// order, all separated by blanks or tabs:
//   doc17 3:0.25 18:1 4012:0.5
// A first token without a colon is the identifier (a class label of the
// common sparse format is kept so); without one, the vectors are numbered
// 1, 2, ... Values are read exactly as the input-vector reader reads them
// (decimalToFloat). Lines end with LF or CR LF; a byte-order mark at the
// start is skipped. The file is read in blocks (FieldReader), each line in
// place.
//
// Anything else ends the run with one line naming the file, the line and the
// column, the byte at which the token starts (failInputAt): an empty line, an
// identifier that holds a NUL byte, a value without an index, an index that is not a whole number, is 0, repeats,
// is smaller than the one before or lies beyond the component count, a
// missing value, a value that is not a number or not finite.
class SparseReader {
 public:
  // Takes over `file` (open for reading; closed when the reader is
  // destroyed); `name` names it in messages. `components` is the count that
  // no index may exceed; 0 allows every index up to 2147483647.
  SparseReader(FILE* file, std::string name, int components);

  SparseReader(const SparseReader&) = delete;
  SparseReader& operator=(const SparseReader&) = delete;

  // The next line as a sparse record (0-based components); false after the
  // last line.
  bool next(Record& record);

  // The largest 1-based index of the lines read so far; 0 when none had one.
  int largestIndex() const { return largest_; }

 private:
  // Reads the token "index:value" from `begin` to `end` into the record.
  void readPair(const char* begin, const char* end);
  [[noreturn]] void failAt(const char* at, const std::string& what) const;

  FieldReader reader_;
  std::string name_;
  int limit_;
  long lineNumber_ = 0;
  const char* lineStart_ = nullptr;  // for the column of a message
  int largest_ = 0;
  std::vector<int> indices_;
  std::vector<float> values_;
  std::string rowId_;  // the vector's number, when the line has no identifier
};

#endif
