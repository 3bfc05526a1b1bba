#ifndef VELMAR_IO_RECORDREADER_H
#define VELMAR_IO_RECORDREADER_H

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "io/csvreader.h"
#include "io/record.h"
#include "io/sparsereader.h"

// The formats an input file can have: the input-vector file with its four
// header lines (read by the loader itself), a table of comma-separated
// values, sparse vectors.
enum class InputFormat { Vectors, Csv, Sparse };

// "vectors", "csv" or "sparse"; false for any other text.
bool parseInputFormat(std::string_view text, InputFormat& format);
// ",", ";", "tab" or a tab character; false for any other text.
bool parseSeparator(std::string_view text, char& separator);

struct RecordReaderOptions {
  CsvOptions csv;      // tables only
  int components = 0;  // sparse only: the count no index may exceed; 0 for none
};

// Reads the vectors of a table or a sparse file one record at a time,
// whichever of the two the file is: one loop serves both, and only one
// record is held at a time. Nothing here depends on the run's settings; bad
// input ends the run as the readers describe (csvreader.h, sparsereader.h).
//
//   RecordReader reader(format, file, name, options);
//   std::vector<float> dense(components);
//   Record record;
//   while (reader.next(record)) {
//     std::fill(dense.begin(), dense.end(), 0.0f);
//     scatterRecord(record, dense.data());  // record.id names it
//   }
class RecordReader {
 public:
  // `format` is Csv or Sparse. Takes over `file` (closed when the reader is
  // destroyed); `name` names it in messages. A table's header row is read
  // here.
  RecordReader(InputFormat format, FILE* file, std::string name, const RecordReaderOptions& options);

  // A table: its value columns. Sparse vectors: the count of the options
  // (0: known only at the end, as largestIndex()).
  int components() const;
  // A table: the names of its value columns; sparse vectors have none.
  const std::vector<std::string>& componentNames() const;
  // False for a table of a header row alone (see CsvOptions::rowsRequired).
  bool hasRows() const;
  // The largest 1-based component of the records read so far.
  int largestIndex() const;

  // The next record (dense for a table, sparse for sparse vectors); false
  // after the last one.
  bool next(Record& record);

 private:
  std::unique_ptr<CsvReader> csv_;
  std::unique_ptr<SparseReader> sparse_;
  int components_;
};

#endif
