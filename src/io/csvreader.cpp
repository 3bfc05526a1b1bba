#include "io/csvreader.h"

#include <cmath>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "base/failure.h"
#include "io/decimal.h"
#include "io/inputfailure.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

constexpr const char* kStrayQuote =
    "a double quote within an unquoted field: quote the whole field and double the quote";

std::string fieldCount(int fields) { return std::to_string(fields) + (fields == 1 ? " field" : " fields"); }

bool isBlank(std::string_view text) { return text.find_first_not_of(" \t") == std::string_view::npos; }

}  // namespace

CsvReader::CsvReader(FILE* file, std::string name, const CsvOptions& options)
    : reader_(file), name_(std::move(name)), separator_(options.separator) {
  if (!readRow()) {
    fail("inputfile " + escapedInput(name_) + " is empty (check inputfile)");
  }
  readHeader(options.idColumn);
  if (readRow()) {
    pending_ = true;
    if (idColumn_ < 0 && options.idColumn == nullptr) {
      settleIdColumn();
    }
  } else if (options.rowsRequired) {
    failAt(1, 0, "the header row is followed by no data row");
  } else {
    noRows_ = true;
  }
  for (int c = 0; c < static_cast<int>(columnNames_.size()); c++) {
    if (c != idColumn_) {
      componentNames_.push_back(columnNames_[c]);
    }
  }
  if (componentNames_.empty()) {
    failAt(1, idColumn_ + 1, "no column is left for values: the only column holds the identifiers");
  }
  values_.resize(componentNames_.size());
}

void CsvReader::readHeader(const char* idColumn) {
  for (int c = 0; c < static_cast<int>(fields_.size()); c++) {
    const std::string_view name = textAt(c);
    // An empty first name is the header of an index column, as data frames
    // write it: the identifiers, unless idColumn names another column.
    if (name.empty() && (c > 0 || idColumn != nullptr)) {
      failAt(rowLine_, c + 1, "the header row gives this column no name");
    }
    if (name.find('\0') != std::string_view::npos) {
      failAt(rowLine_, c + 1, "the column name " + shownInput(name) + " holds a NUL byte");
    }
    columnNames_.emplace_back(name);
  }
  if (columnNames_[0].empty()) {
    idColumn_ = 0;
  }
  std::unordered_map<std::string_view, int> firstColumn;
  for (int c = 0; c < static_cast<int>(columnNames_.size()); c++) {
    const auto [seen, added] = firstColumn.emplace(columnNames_[c], c);
    if (!added) {
      failAt(rowLine_, c + 1, "the column name repeats that of column " + std::to_string(seen->second + 1));
    }
  }
  if (idColumn != nullptr) {
    const auto named = firstColumn.find(idColumn);
    if (named == firstColumn.end()) {
      failAt(rowLine_, 0, "idColumn=" + escapedInput(idColumn) + " names no column of the header row");
    }
    idColumn_ = named->second;
  }
}

// Without idColumn, the first column holds the identifiers when its first
// value is text: neither a number nor empty (an empty value is refused as a
// missing one).
void CsvReader::settleIdColumn() {
  const std::string_view first = fields_[0];
  float value = 0.0f;
  if (!isBlank(first) && !readNumber(first.data(), first.data() + first.size(), value)) {
    idColumn_ = 0;
  }
}

bool CsvReader::next(Record& record) {
  if (noRows_) {
    return false;
  }
  std::string_view id;
  bool plain = false;
  if (!pending_) {
    std::string_view line;
    if (!readLine(line)) {
      return false;
    }
    rowLine_ = lineNumber_;
    plain = readPlainRow(line, id);
    if (!plain) {
      splitRow(line);
    }
  }
  pending_ = false;
  rowNumber_++;
  if (!plain) {
    id = readSplitRow();
  }
  if (idColumn_ >= 0) {
    if (id.find('\0') != std::string_view::npos) {
      failAt(rowLine_, idColumn_ + 1, "the identifier " + shownInput(id) + " holds a NUL byte");
    }
    record.id = id;
  } else {
    rowId_ = std::to_string(rowNumber_);
    record.id = rowId_;
  }
  record.values = values_.data();
  record.indices = nullptr;
  record.count = components();
  record.line = rowLine_;
  return true;
}

bool CsvReader::readPlainRow(std::string_view line, std::string_view& rowId) {
  const char* p = line.data();
  const char* end = p + line.size();
  if (end > p && end[-1] == '\r') {
    end--;
  }
  const int columns = static_cast<int>(columnNames_.size());
  float* value = values_.data();
  for (int c = 0; c < columns; c++) {
    const char* fieldEnd = p;
    if (c == idColumn_) {
      while (fieldEnd < end && *fieldEnd != separator_) {
        if (*fieldEnd++ == '"') {
          return false;
        }
      }
      rowId = std::string_view(p, static_cast<size_t>(fieldEnd - p));
    } else if (!readPlainDecimal(p, fieldEnd, *value++)) {
      return false;
    }
    // Each field ends at its separator, the last one at the line's end.
    if (c + 1 == columns) {
      return fieldEnd == end;
    }
    if (fieldEnd >= end || *fieldEnd != separator_) {
      return false;
    }
    p = fieldEnd + 1;
  }
  return false;
}

// The values and identifier of the row split into fields_.
std::string_view CsvReader::readSplitRow() {
  const int columns = static_cast<int>(columnNames_.size());
  const int fields = static_cast<int>(fields_.size());
  if (fields < columns) {
    failAt(rowLine_, fields + 1,
           "the row ends after " + fieldCount(fields) + ", the header row has " + std::to_string(columns));
  }
  if (fields > columns) {
    failAt(rowLine_, columns + 1, "the row has more fields than the " + std::to_string(columns) + " of the header row");
  }
  float* value = values_.data();
  for (int c = 0; c < columns; c++) {
    if (c != idColumn_) {
      *value++ = valueAt(c);
    }
  }
  return idColumn_ >= 0 ? textAt(idColumn_) : std::string_view();
}

bool CsvReader::readRow() {
  std::string_view line;
  if (!readLine(line)) {
    return false;
  }
  rowLine_ = lineNumber_;
  splitRow(line);
  return true;
}

void CsvReader::splitRow(std::string_view line) {
  if (line.empty() || line == "\r") {
    failAt(rowLine_, 0, "the line is empty");
  }
  rowQuoted_ = !splitPlain(line);
  if (rowQuoted_) {
    splitQuoted(line);
  }
}

bool CsvReader::readLine(std::string_view& line) {
  const bool ended = reader_.read('\n', line);
  if (!ended && line.empty()) {
    return false;
  }
  lineNumber_++;
  if (atStart_) {
    atStart_ = false;
    if (line.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
      line.remove_prefix(kByteOrderMark.size());
      if (!ended && line.empty()) {
        return false;
      }
    }
  }
  return true;
}

bool CsvReader::splitPlain(std::string_view line) {
  if (line.back() == '\r') {
    line.remove_suffix(1);
  }
  fields_.clear();
  const char* p = line.data();
  const char* const end = p + line.size();
  for (;;) {
    if (p < end && *p == '"') {
      return false;
    }
    const char* separator = static_cast<const char*>(memchr(p, separator_, static_cast<size_t>(end - p)));
    const char* stop = separator != nullptr ? separator : end;
    fields_.emplace_back(p, static_cast<size_t>(stop - p));
    if (separator == nullptr) {
      return true;
    }
    p = separator + 1;
  }
}

void CsvReader::splitQuoted(std::string_view line) {
  rowText_.clear();
  fieldStarts_.clear();
  for (long column = 1;; column++) {
    fieldStarts_.push_back(rowText_.size());
    if (!line.empty() && line.front() == '"') {
      line = readQuoted(line.substr(1), column);
      if (line.empty() || line == "\r") {
        break;
      }
      if (line.front() != separator_) {
        failAt(lineNumber_, column, "text follows the closing quote of a quoted field");
      }
      line.remove_prefix(1);
    } else {
      const size_t stop = line.find(separator_);
      std::string_view field = line.substr(0, stop);
      if (stop == std::string_view::npos && !field.empty() && field.back() == '\r') {
        field.remove_suffix(1);
      }
      if (field.find('"') != std::string_view::npos) {
        failAt(lineNumber_, column, kStrayQuote);
      }
      rowText_.append(field);
      if (stop == std::string_view::npos) {
        break;
      }
      line.remove_prefix(stop + 1);
    }
    rowText_.push_back('\0');
  }
  rowText_.push_back('\0');
  // rowText_ is complete: the fields can point into it now.
  fields_.clear();
  for (size_t f = 0; f < fieldStarts_.size(); f++) {
    const size_t end = f + 1 < fieldStarts_.size() ? fieldStarts_[f + 1] - 1 : rowText_.size() - 1;
    fields_.emplace_back(rowText_.data() + fieldStarts_[f], end - fieldStarts_[f]);
  }
}

std::string_view CsvReader::readQuoted(std::string_view rest, long column) {
  const long opened = lineNumber_;
  for (;;) {
    const size_t quote = rest.find('"');
    if (quote == std::string_view::npos) {
      // The field runs on over the line end, which belongs to it.
      rowText_.append(rest);
      rowText_.push_back('\n');
      if (!readLine(rest)) {
        failAt(opened, column, "the quoted field that starts here is never closed");
      }
      continue;
    }
    rowText_.append(rest.substr(0, quote));
    if (quote + 1 < rest.size() && rest[quote + 1] == '"') {
      rowText_.push_back('"');
      rest.remove_prefix(quote + 2);
      continue;
    }
    return rest.substr(quote + 1);
  }
}

float CsvReader::valueAt(int column) const {
  const std::string_view text = fields_[column];
  float value = 0.0f;
  if (!readNumber(text.data(), text.data() + text.size(), value) || !std::isfinite(value)) {
    refuseValue(column);
  }
  return value;
}

void CsvReader::refuseValue(int column) const {
  const std::string_view text = fields_[column];
  if (isBlank(text)) {
    failAt(rowLine_, column + 1, "the field is empty: a value is missing");
  }
  textAt(column);  // a stray quote is named as such
  float value = 0.0f;
  if (readNumber(text.data(), text.data() + text.size(), value)) {
    failAt(rowLine_, column + 1, shownInput(text) + " is not a finite number");
  }
  failAt(rowLine_, column + 1, shownInput(text) + " is not a number");
}

std::string_view CsvReader::textAt(int column) const {
  const std::string_view text = fields_[column];
  // A quoted row's fields were checked as they were split.
  if (!rowQuoted_ && text.find('"') != std::string_view::npos) {
    failAt(rowLine_, column + 1, kStrayQuote);
  }
  return text;
}

void CsvReader::failAt(long line, long column, const std::string& what) const {
  const bool named = column > 0 && column <= static_cast<long>(columnNames_.size());
  failInputAt(name_, line, column, named ? std::string_view(columnNames_[column - 1]) : std::string_view(), what);
}
