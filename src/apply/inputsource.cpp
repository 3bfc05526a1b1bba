#include "apply/inputsource.h"

#include <algorithm>

#include "apply/mapstream.h"
#include "base/failure.h"
#include "io/inputfailure.h"
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
    text += (k == 0 ? "" : ",") + escapedInput(names[k]);
  }
  return names.size() > 6 ? text + ",..." : text;
}

}  // namespace

ReaderSource::ReaderSource(InputFormat format, FILE* file, const std::string& name, const CsvOptions& csv,
                           const std::vector<std::string>& componentNames)
    : reader_(format, file, name, readerOptions(csv, static_cast<int>(componentNames.size()))),
      name_(name),
      components_(static_cast<int>(componentNames.size())) {
  if (format == InputFormat::Csv && reader_.hasRows() && reader_.componentNames() != componentNames) {
    fail("input " + escapedInput(name) + ": the value columns (" + listed(reader_.componentNames()) +
         ") are not the model's components (" + listed(componentNames) + ")");
  }
}

void ReaderSource::start() {
  const long most = static_cast<long>(MapStream::recordsPerBlock(components_));
  Record record;
  while (ahead_.size() < most && read(record)) {
    ahead_.add(record);
    if (record.count > 0) {
      return;
    }
  }
  if (!failure_.empty()) {
    fail(failure_);
  }
  if (ahead_.size() > 0) {
    fail(inputName(name_) + " is not sparse vectors: none of its first " + std::to_string(ahead_.size()) +
         " lines lists an index:value pair (--format names the input's format)");
  }
}

bool ReaderSource::read(Record& record) {
  bool got = false;
  if (ended_ || !readCatchingBadInput([&] { got = reader_.next(record); }, failure_)) {
    ended_ = true;
    return false;
  }
  ended_ = !got;
  return got;
}

bool ReaderSource::next(std::string& id, float* values) {
  Record record;
  if (!ahead_.takeNext(record) && !read(record)) {
    return false;
  }
  std::fill(values, values + components_, 0.0f);
  scatterRecord(record, values);
  id.assign(record.id);
  lastLine_ = record.line;
  if (record.count == 0 && valueless_++ == 0) {
    firstValueless_ = record.line;
  }
  return true;
}

std::string ReaderSource::where(long long line) const { return inputLine(name_, line); }

std::string ReaderSource::slips() const {
  if (valueless_ == 0) {
    return "";
  }
  const bool one = valueless_ == 1;
  return inputName(name_) + ": " + std::to_string(valueless_) + (one ? " line lists" : " lines list") +
         " no index:value pair and " + (one ? "was read as a vector" : "were read as vectors") +
         " of zeros (the first on line " + std::to_string(firstValueless_) + ")";
}
