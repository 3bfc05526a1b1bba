#include "io/inputfailure.h"

#include "base/failure.h"

namespace {

thread_local int openCatches = 0;

}  // namespace

inputfailure::CatchOpen::CatchOpen() { openCatches++; }

inputfailure::CatchOpen::~CatchOpen() { openCatches--; }

void failInputAt(const std::string& file, long line, long column, std::string_view columnName,
                 const std::string& what) {
  std::string message = "inputfile " + escapedInput(file) + ", line " + std::to_string(line);
  if (column > 0) {
    message += ", column " + std::to_string(column);
    if (!columnName.empty()) {
      message += " (" + escapedInput(columnName, 40) + ")";
    }
  }
  message += ": " + what + " (check inputfile)";
  if (openCatches > 0) {
    throw inputfailure::BadInput{message};
  }
  fail(message);
}

std::string escapedInput(std::string_view text, size_t most) {
  static const char kHex[] = "0123456789abcdef";
  std::string shown;
  for (size_t i = 0; i < text.size() && i < most; i++) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 32 && c != 127) {
      shown.push_back(static_cast<char>(c));
    } else if (c == '\n' || c == '\r' || c == '\t') {
      shown += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
    } else {
      shown += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
    }
  }
  if (text.size() > most) {
    shown += "...";
  }
  return shown;
}

std::string shownInput(std::string_view text) { return "\"" + escapedInput(text, 40) + "\""; }
