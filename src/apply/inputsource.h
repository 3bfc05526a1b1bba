#ifndef VELMAR_APPLY_INPUTSOURCE_H
#define VELMAR_APPLY_INPUTSOURCE_H

#include <cstdio>
#include <string>
#include <vector>

#include "io/csvreader.h"
#include "io/recordreader.h"
#include "io/recordsource.h"

// The vectors to map from a table or from sparse vectors, read by the very
// readers (and so into the very floats) that training reads them with, and
// checked against the model: a table's value columns must be the model's
// components, by name and in order; a sparse index may not lie beyond them.
// Bad input ends the run with the readers' one-line messages.
class ReaderSource : public RecordSource {
 public:
  // `format` is Csv or Sparse; takes over `file`, named `name` in messages.
  ReaderSource(InputFormat format, FILE* file, const std::string& name, const CsvOptions& csv,
               const std::vector<std::string>& componentNames);

  bool next(std::string& id, float* values) override;

 private:
  RecordReader reader_;
  int components_;
};

#endif
