#include "io/vectorlines.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/failure.h"
#include "io/decimal.h"

namespace {

// How much is read at a time before the first block asks for more.
constexpr size_t kFirstBytes = 1 << 16;
// The block size of next(), which hands out one line at a time.
constexpr size_t kSingleBytes = 1 << 16;

long long countLineEnds(const char* text, size_t length) {
  long long n = 0;
  for (const char* p = text; (p = static_cast<const char*>(memchr(p, '\n', length - (p - text)))) != nullptr; p++) {
    n++;
  }
  return n;
}

// Why a line with fewer blanks than components is no record: `found` values
// each followed by a blank, then `rest` (up to the line end).
std::string shortLine(int found, const char* rest, int components) {
  char* stop = nullptr;
  strtod(rest, &stop);
  const int values = found + (stop != rest && *stop == '\0' ? 1 : 0);
  if (values == components) {
    return "has no identifier (each value is followed by one blank, then comes the identifier)";
  }
  return "holds " + std::to_string(values) + " value" + (values == 1 ? "" : "s") + ", the model has " +
         std::to_string(components) + " component" + (components == 1 ? "" : "s");
}

}  // namespace

VectorLines::VectorLines(FILE* in, const std::string& name, int components)
    : in_(in), name_(name), components_(components), buffer_(kFirstBytes + 1) {}

VectorLines::~VectorLines() { fclose(in_); }

std::string VectorLines::where(long long line) const {
  return (name_ == "-" ? std::string("standard input") : "input " + name_) + " line " + std::to_string(line);
}

bool VectorLines::fill() {
  if (atEnd_) {
    return false;
  }
  if (begin_ > 0) {
    memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ + 1 >= buffer_.size()) {
    buffer_.resize(buffer_.size() * 2);
  }
  const size_t got = fread(buffer_.data() + end_, 1, buffer_.size() - 1 - end_, in_);
  if (got == 0) {
    atEnd_ = true;
    if (ferror(in_) != 0) {
      fail((name_ == "-" ? std::string("standard input") : "input " + name_) + " could not be read");
    }
    return false;
  }
  end_ += got;
  return true;
}

bool VectorLines::field(char delimiter, std::string& text) {
  size_t scanned = 0;  // bytes after begin_ known to hold no delimiter
  for (;;) {
    const char* base = buffer_.data();
    const void* hit = memchr(base + begin_ + scanned, delimiter, end_ - begin_ - scanned);
    if (hit != nullptr) {
      const size_t stop = static_cast<size_t>(static_cast<const char*>(hit) - base);
      text.assign(base + begin_, stop - begin_);
      nextLine_ += countLineEnds(base + begin_, stop - begin_) + (delimiter == '\n' ? 1 : 0);
      begin_ = stop + 1;
      return true;
    }
    scanned = end_ - begin_;
    if (!fill()) {
      text.assign(buffer_.data() + begin_, end_ - begin_);
      nextLine_ += countLineEnds(text.data(), text.size());
      begin_ = end_;
      return false;
    }
  }
}

void VectorLines::start() {
  if (started_) {
    return;
  }
  started_ = true;
  if (end_ == begin_ && !fill()) {
    return;  // an empty input: no records
  }
  if (buffer_[begin_] != '$') {
    return;
  }
  // As the trainer reads them: line 1 ignored, "word count" on line 2, line
  // 3 ignored, "word count" on line 4; the last line may end the input.
  std::string line, word, vectors, components;
  const bool whole = field('\n', line) && field(' ', word) && field('\n', vectors) && field('\n', line) &&
                     field(' ', word);
  const std::string input = name_ == "-" ? std::string("standard input") : "input " + name_;
  if (!whole) {
    fail(input + " ends within its four header lines");
  }
  field('\n', components);
  const int count = atoi(vectors.c_str());
  const int announced = atoi(components.c_str());
  if (announced != components_) {
    fail(input + " has " + std::to_string(announced) + " components per vector (header line 4), the model " +
         std::to_string(components_));
  }
  if (count < 0) {
    fail(input + " announces " + std::to_string(count) + " vectors (header line 2)");
  }
  remaining_ = count;
}

bool VectorLines::nextBlock(Block& block, size_t bytes) {
  start();
  block.lines.clear();
  if (remaining_ == 0) {
    return false;
  }
  while (end_ - begin_ < bytes && fill()) {
  }
  // At least one whole line, unless the input ends without a line end.
  for (size_t scanned = 0; memchr(buffer_.data() + begin_ + scanned, '\n', end_ - begin_ - scanned) == nullptr;) {
    scanned = end_ - begin_;
    if (!fill()) {
      break;
    }
  }
  char* base = buffer_.data();
  const void* lastEnd = memrchr(base + begin_, '\n', end_ - begin_);
  const size_t limit = lastEnd != nullptr ? static_cast<size_t>(static_cast<const char*>(lastEnd) - base) + 1 : end_;
  size_t at = begin_;
  while (at < limit && remaining_ != 0) {
    const void* stop = memchr(base + at, '\n', limit - at);
    const size_t lineEnd = stop != nullptr ? static_cast<size_t>(static_cast<const char*>(stop) - base) : limit;
    base[lineEnd] = '\0';  // the line end, or the byte kept free after the last one read
    block.lines.push_back(Line{base + at, lineEnd - at});
    at = lineEnd + 1;
    if (remaining_ > 0) {
      remaining_--;
    }
  }
  begin_ = at < limit ? at : limit;
  block.firstLine = nextLine_;
  nextLine_ += static_cast<long long>(block.lines.size());
  return !block.lines.empty();
}

bool VectorLines::parse(const Line& line, int components, float* values, std::string_view& id, std::string& why) {
  char* p = line.text;
  const char* const end = line.text + line.length;
  bool finite = true;
  for (int i = 0; i < components; i++) {
    char* blank;
    values[i] = decimalFieldToFloat(p, end, ' ', &blank);
    if (blank == nullptr) {
      why = shortLine(i, p, components);
      return false;
    }
    finite = finite && std::isfinite(values[i]);
    p = blank + 1;
  }
  id = std::string_view(p, static_cast<size_t>(end - p));
  if (!finite) {
    why = "(" + std::string(id.substr(0, id.find('\0'))) + ") holds a value that is not a finite number";
    return false;
  }
  return true;
}

bool VectorLines::next(std::string& id, float* values) {
  while (singleAt_ >= single_.lines.size()) {
    if (!nextBlock(single_, kSingleBytes)) {
      return false;
    }
    singleAt_ = 0;
  }
  const long long line = single_.firstLine + static_cast<long long>(singleAt_);
  std::string_view text;
  std::string why;
  if (!parse(single_.lines[singleAt_++], components_, values, text, why)) {
    fail(where(line) + " " + why);
  }
  id.assign(text);
  return true;
}
