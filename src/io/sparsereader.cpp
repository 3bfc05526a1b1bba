#include "io/sparsereader.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <utility>

#include "io/decimal.h"
#include "io/inputfailure.h"

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool isSeparator(char c) { return c == ' ' || c == '\t'; }

const char* skipSeparators(const char* p, const char* end) {
  while (p < end && isSeparator(*p)) {
    p++;
  }
  return p;
}

const char* tokenEnd(const char* p, const char* end) {
  while (p < end && !isSeparator(*p)) {
    p++;
  }
  return p;
}

}  // namespace

SparseReader::SparseReader(FILE* file, std::string name, int components)
    : reader_(file), name_(std::move(name)), limit_(components > 0 ? components : INT_MAX) {
  // A record without pairs still points to its (empty) indices: it is sparse.
  indices_.reserve(16);
  values_.reserve(16);
}

bool SparseReader::next(Record& record) {
  std::string_view line;
  const bool ended = reader_.read('\n', line);
  if (!ended && line.empty()) {
    return false;
  }
  lineNumber_++;
  if (lineNumber_ == 1 && line.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    line.remove_prefix(kByteOrderMark.size());
    if (!ended && line.empty()) {
      return false;
    }
  }
  if (!line.empty() && line.back() == '\r') {
    line.remove_suffix(1);
  }
  lineStart_ = line.data();
  const char* const end = line.data() + line.size();
  const char* p = skipSeparators(line.data(), end);
  if (p == end) {
    failAt(nullptr, "the line is empty, but every line must hold a vector");
  }
  const char* stop = tokenEnd(p, end);
  if (memchr(p, ':', static_cast<size_t>(stop - p)) == nullptr) {
    record.id = std::string_view(p, static_cast<size_t>(stop - p));
    if (record.id.find('\0') != std::string_view::npos) {
      failAt(p, "the identifier " + shownInput(record.id) + " holds a NUL byte");
    }
    p = skipSeparators(stop, end);
  } else {
    rowId_ = std::to_string(lineNumber_);
    record.id = rowId_;
  }
  indices_.clear();
  values_.clear();
  while (p < end) {
    stop = tokenEnd(p, end);
    readPair(p, stop);
    p = skipSeparators(stop, end);
  }
  record.values = values_.data();
  record.indices = indices_.data();
  record.count = static_cast<int>(indices_.size());
  record.line = lineNumber_;
  return true;
}

void SparseReader::readPair(const char* begin, const char* end) {
  const std::string_view token(begin, static_cast<size_t>(end - begin));
  const char* colon = static_cast<const char*>(memchr(begin, ':', token.size()));
  if (colon == nullptr) {
    failAt(begin, shownInput(token) + " is a value without an index, expected index:value");
  }
  if (colon == begin) {
    failAt(begin, shownInput(token) + " has no index before its colon");
  }
  long long index = 0;
  for (const char* p = begin; p < colon; p++) {
    if (*p < '0' || *p > '9') {
      failAt(begin, "the index of " + shownInput(token) + " is not a whole number");
    }
    index = index * 10 + (*p - '0');
    if (index > limit_) {
      failAt(begin, limit_ == INT_MAX ? "the index of " + shownInput(token) + " is too large"
                                      : "the index of " + shownInput(token) + " lies beyond the " +
                                            std::to_string(limit_) + " components");
    }
  }
  if (index == 0) {
    failAt(begin, "index 0 in " + shownInput(token) + ": indices start at 1");
  }
  const int previous = indices_.empty() ? 0 : indices_.back() + 1;
  if (index == previous) {
    failAt(begin, "index " + std::to_string(index) + " repeats");
  }
  if (index < previous) {
    failAt(begin, "index " + std::to_string(index) + " follows index " + std::to_string(previous) +
                      ", but indices must increase along a line");
  }
  float value = 0.0f;
  if (colon + 1 == end) {
    failAt(begin, "index " + std::to_string(index) + " has no value after its colon");
  }
  if (!readNumber(colon + 1, end, value)) {
    failAt(colon + 1,
           shownInput(std::string_view(colon + 1, static_cast<size_t>(end - colon - 1))) + " is not a number");
  }
  if (!std::isfinite(value)) {
    failAt(colon + 1,
           shownInput(std::string_view(colon + 1, static_cast<size_t>(end - colon - 1))) + " is not a finite number");
  }
  indices_.push_back(static_cast<int>(index) - 1);
  values_.push_back(value);
  if (index > largest_) {
    largest_ = static_cast<int>(index);
  }
}

void SparseReader::failAt(const char* at, const std::string& what) const {
  failInputAt(name_, lineNumber_, at == nullptr ? 0 : at - lineStart_ + 1, {}, what);
}
