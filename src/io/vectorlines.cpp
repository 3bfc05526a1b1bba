#include "io/vectorlines.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/failure.h"
#include "io/decimal.h"
#include "io/inputfailure.h"

namespace {

// How much the first look at the input and the header's field reads read at a time.
constexpr size_t kHeaderBytes = 1 << 16;
// The block size of next(), which hands out one line at a time.
constexpr size_t kSingleBytes = 1 << 16;

constexpr const char* kNoIdentifier =
    "has no identifier (each value is followed by one blank, then comes the identifier)";

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
    return kNoIdentifier;
  }
  return "holds " + std::to_string(values) + " value" + (values == 1 ? "" : "s") + ", the model has " +
         std::to_string(components) + " component" + (components == 1 ? "" : "s");
}

// A value that is not a plain decimal: the field from `field` to `blank`
// read alone, as the trainer reads it (atof, whose double strtod gives).
// `number` tells whether the field is one number, tabs around it allowed,
// as the table reader takes one (readNumber).
float generalValue(char* field, char* blank, bool& number) {
  *blank = '\0';
  char* after = nullptr;
  const double value = strtod(field, &after);
  *blank = ' ';
  const char* first = field;
  while (first < blank && *first == '\t') first++;
  const char* last = blank;
  while (last > first && last[-1] == '\t') last--;
  number = first < last && !isspace(static_cast<unsigned char>(*first)) && after == last;
  return static_cast<float>(value);
}

std::string shortestFloat(float value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

}  // namespace

void VectorLines::Lenient::add(const Lenient& other) {
  if (other.count == 0) {
    return;
  }
  const long long total = count + other.count;
  if (count == 0 || other.line < line || (other.line == line && other.component < component)) {
    *this = other;
  }
  count = total;
}

VectorLines::VectorLines(FILE* in, const std::string& name, int components, bool strict)
    : in_(in), name_(name), components_(components), strict_(strict) {}

VectorLines::~VectorLines() { fclose(in_); }

std::string VectorLines::where(long long line) const { return inputLine(name_, line); }

std::string VectorLines::failureAt(long long line, const std::string& why) const {
  return where(line) + (why.front() == ',' ? "" : " ") + why;
}

std::string VectorLines::readFailure() const { return inputName(name_) + " could not be read"; }

std::string VectorLines::slips() const {
  if (lenient_.count == 0) {
    return "";
  }
  const long long others = lenient_.count - 1;
  std::string text = where(lenient_.line) + ", component " + std::to_string(lenient_.component) + ": " +
                     shownInput(lenient_.text) + " read as " + shortestFloat(lenient_.value);
  if (others > 0) {
    text += "; " + std::to_string(others) + (others == 1 ? " value" : " values") + " like it";
  }
  return text;
}

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
  const bool whole =
      field('\n', line) && field(' ', word) && field('\n', vectors) && field('\n', line) && field(' ', word);
  if (readFailed_) {
    fail(readFailure());
  }
  if (!whole) {
    fail(inputName(name_) + " ends within its four header lines");
  }
  field('\n', components);
  const int count = atoi(vectors.c_str());
  const int announced = atoi(components.c_str());
  if (announced != components_) {
    fail(inputName(name_) + " has " + std::to_string(announced) + " components per vector (header line 4), the model " +
         std::to_string(components_));
  }
  if (count < 0) {
    fail(inputName(name_) + " announces " + std::to_string(count) + " vectors (header line 2)");
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

bool VectorLines::parse(const Line& line, long long lineNumber, int components, bool strict, float* values,
                        std::string_view& id, Lenient& lenient, std::string& why) {
  char* p = line.text;
  char* const end = line.text + line.length;
  bool finite = true;
  for (int i = 0; i < components; i++) {
    const char* stop = nullptr;
    char* blank = nullptr;
    // Most values are plain decimals, read at once; the others the general way.
    if (readPlainDecimal(p, stop, values[i]) && *stop == ' ') {
      blank = const_cast<char*>(stop);
    } else {
      blank = static_cast<char*>(memchr(p, ' ', static_cast<size_t>(end - p)));
      if (blank == nullptr) {
        why = shortLine(i, p, components);
        return false;
      }
      bool number = false;
      values[i] = generalValue(p, blank, number);
      if (!number) {
        const std::string_view text(p, static_cast<size_t>(blank - p));
        if (strict) {
          why = ", component " + std::to_string(i + 1) + ": " + shownInput(text) + " is not a number";
          return false;
        }
        if (lenient.count++ == 0) {
          lenient.line = lineNumber;
          lenient.component = i + 1;
          lenient.text.assign(text);
          lenient.value = values[i];
        }
      }
    }
    finite = finite && std::isfinite(values[i]);
    p = blank + 1;
  }
  id = std::string_view(p, static_cast<size_t>(end - p));
  if (id.empty() || id == "\r") {
    why = kNoIdentifier;
    return false;
  }
  if (id.find('\0') != std::string_view::npos) {
    why = "(" + escapedInput(id) + ") holds a NUL byte in its identifier";
    return false;
  }
  if (!finite) {
    why = "(" + escapedInput(id) + ") holds a value that is not a finite number";
    return false;
  }
  return true;
}

bool VectorLines::next(std::string& id, float* values) {
  while (singleAt_ >= single_.lines.size()) {
    if (!nextBlock(single_, kSingleBytes)) {
      if (readFailed_) {
        failure_ = readFailure();
      }
      return false;
    }
    singleAt_ = 0;
  }
  lastLine_ = single_.firstLine + static_cast<long long>(singleAt_);
  std::string_view text;
  std::string why;
  if (!parse(single_.lines[singleAt_++], lastLine_, components_, strict_, values, text, lenient_, why)) {
    failure_ = failureAt(lastLine_, why);
    return false;
  }
  id.assign(text);
  return true;
}
