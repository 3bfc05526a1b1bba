#ifndef VELMAR_APPLY_INPUTSOURCE_H
#define VELMAR_APPLY_INPUTSOURCE_H

#include <cstdio>
#include <string>
#include <vector>

#include "io/csvreader.h"
#include "io/recordreader.h"
#include "io/recordsource.h"
#include "io/recordstore.h"

// The vectors to map from a table or from sparse vectors, read by the very
// readers (and so into the very floats) that training reads them with, and
// checked against the model: a table's value columns must be the model's
// components, by name and in order; a sparse index may not lie beyond them.
// A bad record is handed on as the failure of next(), with the readers'
// one-line message, so that the records before it are mapped first.
//
// A line that lists no index:value pair is a vector of zeros. Input of
// another format read as sparse vectors (a table, say) is all such lines:
// start() refuses it when no line of the first block lists a pair, and the
// warning of slips() counts them otherwise. (A table's row always holds its
// values.)
class ReaderSource : public RecordSource {
 public:
  // `format` is Csv or Sparse; takes over `file`, named `name` in messages.
  ReaderSource(InputFormat format, FILE* file, const std::string& name, const CsvOptions& csv,
               const std::vector<std::string>& componentNames);

  // Reads ahead until a record holds a value, at most a block of records
  // (MapStream::recordsPerBlock), and refuses the input when none does; a
  // bad record before the first that holds a value is refused at once.
  // Call it before anything is written.
  void start();

  bool next(std::string& id, float* values) override;
  const std::string& failure() const override { return failure_; }
  long long lastLine() const override { return lastLine_; }
  std::string where(long long line) const override;
  std::string slips() const override;

 private:
  RecordReader reader_;
  std::string name_;
  int components_;
  RecordStore ahead_;   // records read by start() and not yet handed out
  bool ended_ = false;  // the reader met the end or a bad record
  std::string failure_;
  long long lastLine_ = 0;
  long long valueless_ = 0;  // records handed out that hold no value
  long long firstValueless_ = 0;

  // The next record from the reader; false at the end or at a bad record.
  bool read(Record& record);
};

#endif
