#include "io/vectorlines.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/failure.h"
#include "io/decimal.h"

namespace {

// How much the first look at the input and the header's field reads read at a time.
constexpr size_t kHeaderBytes = 1 << 16;
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
    : in_(in), name_(name), components_(components) {}

VectorLines::~VectorLines() { fclose(in_); }

std::string VectorLines::input() const { return name_ == "-" ? std::string("standard input") : "input " + name_; }

std::string VectorLines::where(long long line) const { return input() + " line " + std::to_string(line); }

std::string VectorLines::readFailure() const { return input() + " could not be read"; }

size_t VectorLines::read(char* to, size_t size) {
  if (atEnd_ || size == 0) {
    return 0;
  }
  const size_t got = fread(to, 1, size, in_);
  if (got < size) {
    atEnd_ = true;
    readFailed_ = ferror(in_) != 0;
  }
  return got;
}

bool VectorLines::field(char delimiter, std::string& text) {
  size_t scanned = 0;  // bytes of carry_ known to hold no delimiter
  for (;;) {
    const size_t at = carry_.find(delimiter, scanned);
    const bool found = at != std::string::npos;
    if (!found) {
      scanned = carry_.size();
      char more[kHeaderBytes];
      const size_t got = read(more, sizeof more);
      carry_.append(more, got);
      if (got > 0) {
        continue;
      }
    }
    text.assign(carry_, 0, found ? at : carry_.size());
    nextLine_ += countLineEnds(text.data(), text.size()) + (found && delimiter == '\n' ? 1 : 0);
    carry_.erase(0, found ? at + 1 : carry_.size());
    return found;
  }
}

void VectorLines::start() {
  if (started_) {
    return;
  }
  started_ = true;
  char first[kHeaderBytes];
  carry_.append(first, read(first, sizeof first));
  if (readFailed_) {
    fail(readFailure());
  }
  if (carry_.empty() || carry_[0] != '$') {
    return;  // bare record lines, or an empty input
  }
  // As the trainer reads them: line 1 ignored, "word count" on line 2, line
  // 3 ignored, "word count" on line 4; the last line may end the input.
  std::string line, word, vectors, components;
  const bool whole = field('\n', line) && field(' ', word) && field('\n', vectors) && field('\n', line) &&
                     field(' ', word);
  if (readFailed_) {
    fail(readFailure());
  }
  if (!whole) {
    fail(input() + " ends within its four header lines");
  }
  field('\n', components);
  const int count = atoi(vectors.c_str());
  const int announced = atoi(components.c_str());
  if (announced != components_) {
    fail(input() + " has " + std::to_string(announced) + " components per vector (header line 4), the model " +
         std::to_string(components_));
  }
  if (count < 0) {
    fail(input() + " announces " + std::to_string(count) + " vectors (header line 2)");
  }
  remaining_ = count;
}

bool VectorLines::nextBlock(Block& block, size_t bytes) {
  start();
  block.lines.clear();
  if (remaining_ == 0) {
    return false;
  }
  std::vector<char>& b = block.bytes;
  size_t end = carry_.size();
  const size_t room = (bytes > end ? bytes : end) + 1;  // one byte more, for the NUL after the last line
  if (b.size() < room) {
    b.resize(room);
  }
  memcpy(b.data(), carry_.data(), end);
  carry_.clear();
  end += read(b.data() + end, b.size() - 1 - end);
  // At least one whole line, unless the input ends without a line end.
  for (size_t scanned = 0; memchr(b.data() + scanned, '\n', end - scanned) == nullptr && !atEnd_;) {
    scanned = end;
    if (end + 1 >= b.size()) {
      b.resize(2 * b.size());
    }
    end += read(b.data() + end, b.size() - 1 - end);
  }
  if (readFailed_) {
    return false;
  }
  char* base = b.data();
  const void* lastEnd = memrchr(base, '\n', end);
  const size_t limit = lastEnd != nullptr ? static_cast<size_t>(static_cast<const char*>(lastEnd) - base) + 1 : end;
  carry_.assign(base + limit, end - limit);
  for (size_t at = 0; at < limit && remaining_ != 0;) {
    const void* stop = memchr(base + at, '\n', limit - at);
    const size_t lineEnd = stop != nullptr ? static_cast<size_t>(static_cast<const char*>(stop) - base) : limit;
    base[lineEnd] = '\0';  // the line end, or the byte kept free after the last one read
    block.lines.push_back(Line{base + at, lineEnd - at});
    at = lineEnd + 1;
    if (remaining_ > 0) {
      remaining_--;
    }
  }
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
      if (readFailed_) {
        fail(readFailure());
      }
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
