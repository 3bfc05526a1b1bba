#include "io/descriptionfile.h"

#include <algorithm>

#include "base/failure.h"
#include "io/settingtext.h"

namespace {

constexpr size_t kHeaderLines = 4;

// The lines of the text without their newlines; a last line without one counts.
std::vector<std::string_view> splitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (size_t at = 0; at < text.size();) {
    const size_t end = std::min(text.find('\n', at), text.size());
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

bool isEmpty(std::string_view line) { return withoutCarriageReturn(line).empty(); }

// One past the last line that holds a wanted name, the names starting at `from`.
size_t namesEnd(const std::vector<std::string_view>& lines, size_t from, int count) {
  size_t end = lines.size();
  if (count > 0) {
    return std::min(end, from + static_cast<size_t>(count));
  }
  while (end > from && isEmpty(lines[end - 1])) {
    end--;
  }
  return end;
}

long fields(std::string_view line) { return std::count(line.begin(), line.end(), ' ') + 1; }

bool hasHeaderLines(const std::vector<std::string_view>& lines, int count) {
  if (!lines.empty() && !lines[0].empty() && lines[0][0] == '$') {
    return true;
  }
  const size_t end = namesEnd(lines, kHeaderLines, count);
  for (size_t i = kHeaderLines; i < end; i++) {
    if (fields(lines[i]) >= 3) {
      return true;
    }
  }
  return false;
}

[[noreturn]] void refuseLine(size_t index, const std::string& what) {
  fail("descriptionfile line " + std::to_string(index + 1) + " " + what + " (check descriptionfile)");
}

// The second field of a component line.
std::string componentName(std::string_view line, size_t index) {
  if (fields(line) < 3) {
    refuseLine(index, "holds " + std::to_string(fields(line)) + (fields(line) == 1 ? " field" : " fields") +
                          " where a component line needs at least three, separated by single blanks: number, "
                          "name, more");
  }
  const size_t first = line.find(' ');
  return std::string(line.substr(first + 1, line.find(' ', first + 1) - first - 1));
}

std::string listedName(std::string_view line, size_t index) {
  if (isEmpty(line)) {
    refuseLine(index, "is empty where the list of component names needs a name");
  }
  return std::string(withoutCarriageReturn(line));
}

}  // namespace

std::vector<std::string> descriptionNames(std::string_view text, int count) {
  const std::vector<std::string_view> lines = splitLines(text);
  const bool header = hasHeaderLines(lines, count);
  const size_t from = header ? kHeaderLines : 0;
  std::vector<std::string> names;
  for (size_t i = from; i < namesEnd(lines, from, count); i++) {
    names.push_back(header ? componentName(lines[i], i) : listedName(lines[i], i));
  }
  if (names.size() < static_cast<size_t>(count)) {
    fail("descriptionfile ends after " + std::to_string(names.size()) + " of " + std::to_string(count) +
         " components (check descriptionfile)");
  }
  if (names.empty()) {
    fail("descriptionfile names no component (check descriptionfile)");
  }
  return names;
}
