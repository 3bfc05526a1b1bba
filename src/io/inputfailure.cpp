#include "io/inputfailure.h"

#include "base/failure.h"

namespace {

// Control characters as "?", at most 40 bytes, then "...".
std::string printable(std::string_view text) {
  constexpr size_t kShown = 40;
  std::string shown;
  for (size_t i = 0; i < text.size() && i < kShown; i++) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    shown.push_back(c < 32 || c == 127 ? '?' : static_cast<char>(c));
  }
  if (text.size() > kShown) {
    shown += "...";
  }
  return shown;
}

}  // namespace

void failInputAt(const std::string& file, long line, long column, std::string_view columnName,
                 const std::string& what) {
  std::string message = "inputfile " + file + ", line " + std::to_string(line);
  if (column > 0) {
    message += ", column " + std::to_string(column);
    if (!columnName.empty()) {
      message += " (" + printable(columnName) + ")";
    }
  }
  fail(message + ": " + what + " (check inputfile)");
}

std::string shownInput(std::string_view text) { return "\"" + printable(text) + "\""; }
