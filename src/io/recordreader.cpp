#include "io/recordreader.h"

#include <utility>

bool parseInputFormat(std::string_view text, InputFormat& format) {
  if (text == "vectors") {
    format = InputFormat::Vectors;
  } else if (text == "csv") {
    format = InputFormat::Csv;
  } else if (text == "sparse") {
    format = InputFormat::Sparse;
  } else {
    return false;
  }
  return true;
}

bool parseSeparator(std::string_view text, char& separator) {
  if (text == "," || text == ";") {
    separator = text[0];
  } else if (text == "tab" || text == "\t") {
    separator = '\t';
  } else {
    return false;
  }
  return true;
}

RecordReader::RecordReader(InputFormat format, FILE* file, std::string name, const RecordReaderOptions& options)
    : components_(options.components) {
  if (format == InputFormat::Csv) {
    csv_ = std::make_unique<CsvReader>(file, std::move(name), options.csv);
    components_ = csv_->components();
  } else {
    sparse_ = std::make_unique<SparseReader>(file, std::move(name), options.components);
  }
}

int RecordReader::components() const { return components_; }

const std::vector<std::string>& RecordReader::componentNames() const {
  static const std::vector<std::string> none;
  return csv_ ? csv_->componentNames() : none;
}

bool RecordReader::hasRows() const { return !csv_ || csv_->hasRows(); }

int RecordReader::largestIndex() const { return csv_ ? components_ : sparse_->largestIndex(); }

bool RecordReader::next(Record& record) { return csv_ ? csv_->next(record) : sparse_->next(record); }
