#include "apply/inputsource.h"

#include <algorithm>

#include "base/failure.h"
#include "io/record.h"

namespace {

RecordReaderOptions readerOptions(const CsvOptions& csv, int components) {
  RecordReaderOptions options;
  options.csv = csv;
  options.csv.rowsRequired = false;  // a header row alone maps to no lines
  options.components = components;
  return options;
}

std::string listed(const std::vector<std::string>& names) {
  std::string text;
  for (size_t k = 0; k < names.size() && k < 6; k++) {
    text += (k == 0 ? "" : ",") + names[k];
  }
  return names.size() > 6 ? text + ",..." : text;
}

}  // namespace

ReaderSource::ReaderSource(InputFormat format, FILE* file, const std::string& name, const CsvOptions& csv,
                           const std::vector<std::string>& componentNames)
    : reader_(format, file, name, readerOptions(csv, static_cast<int>(componentNames.size()))),
      components_(static_cast<int>(componentNames.size())) {
  if (format == InputFormat::Csv && reader_.hasRows() && reader_.componentNames() != componentNames) {
    fail("input " + name + ": the value columns (" + listed(reader_.componentNames()) +
         ") are not the model's components (" + listed(componentNames) + ")");
  }
}

bool ReaderSource::next(std::string& id, float* values) {
  Record record;
  if (!reader_.next(record)) {
    return false;
  }
  std::fill(values, values + components_, 0.0f);
  scatterRecord(record, values);
  id.assign(record.id);
  return true;
}
