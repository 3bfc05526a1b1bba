#include "settings/propertyslips.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "base/warning.h"
#include "io/inputfailure.h"
#include "io/settingtext.h"
#include "settings/settingtable.h"

namespace {

std::string at(long line) { return "propertyfile line " + std::to_string(line) + ": "; }

// What was applied of a text read: up to its first NUL byte.
std::string_view applied(std::string_view text) { return text.substr(0, text.find('\0')); }

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The value without a final carriage return and the blanks and tabs around
// it, which no conversion of a number minds.
std::string_view bare(std::string_view value) {
  value = withoutCarriageReturn(value);
  while (!value.empty() && isBlank(value.front())) value.remove_prefix(1);
  while (!value.empty() && isBlank(value.back())) value.remove_suffix(1);
  return value;
}

// Lower case, without blanks, tabs and carriage returns: how a slip is
// matched to what it probably meant.
std::string folded(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (!isBlank(c) && c != '\r') out.push_back(static_cast<char>(tolower(static_cast<unsigned char>(c))));
  }
  return out;
}

// The setting whose key `key` matches ignoring case and blanks, or nullptr.
const Setting* resembling(std::string_view key) {
  const std::string wanted = folded(key);
  for (const Setting& s : settingTable()) {
    if (!wanted.empty() && folded(s.key) == wanted) return &s;
  }
  return nullptr;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// How many characters of `text` the C library reads as a whole number.
size_t wholeNumberLength(std::string_view text) {
  const size_t sign = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  size_t end = sign;
  while (end < text.size() && isDigit(text[end])) end++;
  return end > sign ? end : 0;
}

// How many characters of `text` the C library reads as a number (exponents,
// "inf" and hexadecimal included).
size_t numberLength(std::string_view text) {
  if (text.empty() || isspace(static_cast<unsigned char>(text[0]))) return 0;
  const std::string copy(text);
  char* end = nullptr;
  strtod(copy.c_str(), &end);
  return static_cast<size_t>(end - copy.c_str());
}

// Warns when the value is not a number alone: `length` characters of it are.
void warnUnlessNumber(const std::string& pair, std::string_view value, size_t length, const Setting& s) {
  if (length > 0 && length == value.size()) return;
  warn(pair + " is read as " + currentValue(s).value_or("") +
       (length == 0 ? " (not a number)" : " (the text after the number is ignored)"));
}

// A switch value that reads as false but does not say "off".
bool looksOn(std::string_view value) {
  const std::string word = folded(value);
  return value != "true" && word != "false" && word != "no" && word != "off" && word != "0" && !word.empty();
}

std::string shownPair(std::string_view key, std::string_view value) {
  return shownInput(std::string(key) + "=" + std::string(value));
}

void warnUnknownKey(std::string_view key, std::string_view value, long line) {
  if (key.empty()) {
    warn(at(line) + shownPair(key, value) + " has no key and is ignored");
    return;
  }
  std::string message = at(line) + "unknown key " + shownInput(key) + " is ignored";
  if (const Setting* meant = resembling(key)) message += std::string("; did you mean ") + meant->key + "?";
  warn(message);
}

// A key that holds line ends: the lines before its last one had no "=".
void warnJoinedLines(std::string_view key, long line) {
  const long joined = std::count(key.begin(), key.end(), '\n');
  const std::string keyLine = std::to_string(line + joined);
  const std::string_view last = applied(key.substr(key.rfind('\n') + 1));
  std::string message =
      "propertyfile " +
      (joined == 1 ? "line " + std::to_string(line) + " has"
                   : "lines " + std::to_string(line) + " to " + std::to_string(line + joined - 1) + " have") +
      " no \"=\" and ran into the key of line " + keyLine + ": " + shownInput(key) + " is no key";
  if (findSetting(last) != nullptr) {
    message += ", so " + std::string(last) + " on line " + keyLine + " is not applied";
  } else {
    message += " and is ignored";
  }
  warn(message);
}

void warnValue(const Setting& s, std::string_view value, long line) {
  const std::string pair = at(line) + shownPair(s.key, value);
  switch (s.kind) {
    case SettingKind::Integer:
    case SettingKind::Seed:
      warnUnlessNumber(pair, bare(value), wholeNumberLength(bare(value)), s);
      break;
    case SettingKind::Real:
      warnUnlessNumber(pair, bare(value), numberLength(bare(value)), s);
      break;
    case SettingKind::Switch:
      if (looksOn(value)) warn(pair + " is read as false: a switch is on only for exactly \"true\"");
      break;
    case SettingKind::Normalisation: {
      const auto& names = kNormalisationNames;
      if (std::none_of(std::begin(names), std::end(names), [&](const char* name) { return value == name; })) {
        std::string message =
            pair + " is none of NONE, LENGTH, INTERVAL and leaves the setting " + currentValue(s).value_or("");
        for (const char* name : names) {
          if (folded(value) == folded(name)) message += std::string("; did you mean ") + name + "?";
        }
        warn(message);
      }
      break;
    }
    case SettingKind::Text:
      break;
  }
}

}  // namespace

void PropertySlips::pair(std::string_view key, std::string_view value, long line) {
  if (key.find('\n') != std::string_view::npos) {
    warnJoinedLines(key, line);
  } else if (const Setting* s = findSetting(applied(key))) {
    warnValue(*s, applied(value), line);
  } else {
    warnUnknownKey(applied(key), applied(value), line);
  }
  if (!value.empty() && value.back() == '\r' && carriageReturns_++ == 0) {
    firstCarriageReturnLine_ = line + std::count(key.begin(), key.end(), '\n');
    firstCarriageReturnKey_ = std::string(applied(key.substr(key.rfind('\n') + 1)));
  }
}

void PropertySlips::unpairedTail(std::string_view text, long line) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) {
    return;
  }
  line += std::count(text.begin(), text.begin() + static_cast<long>(first), '\n');
  warn("propertyfile line " + std::to_string(line) + " has no \"=\": " + shownInput(text.substr(first)) +
       " is ignored");
}

void PropertySlips::finish() const {
  if (carriageReturns_ == 0) {
    return;
  }
  warn(at(firstCarriageReturnLine_) + "the value of " + shownInput(firstCarriageReturnKey_) +
       " ends in a carriage return, which stays part of it (the file has CR LF line ends)" +
       (carriageReturns_ > 1 ? "; " + std::to_string(carriageReturns_) + " values like it" : ""));
}
