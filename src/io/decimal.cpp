#include "io/decimal.h"

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Powers of ten that a double holds exactly (up to 10^22 = 2^22 * 5^22, and 5^22 < 2^53).
constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
// At most this many digits, leading zeros included, so the integer of all
// digits stays below 10^19 and fits into 64 bits.
constexpr long kMaxDigits = 19;
static_assert(kMaxDigits < sizeof kExactPowersOfTen / sizeof kExactPowersOfTen[0], "a power for every fraction");
constexpr uint64_t kMaxExactInteger = uint64_t{1} << 53;  // every integer up to here is a double

bool isDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Appends the digits at `p` to `mantissa`; returns where they end.
const char* readDigits(const char* p, uint64_t& mantissa) {
  for (; isDigit(*p); p++) {
    mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
  }
  return p;
}

// The plain decimal at the start of `text`: an optional sign, digits, an
// optional point and digits. Sets `stop` to the first character after it and
// returns true with its value when it converts directly (at least one digit,
// and both the integer of all digits and the power of ten exact doubles);
// false when it must go the general way.
inline bool plainDecimal(const char* text, const char*& stop, float& value) {
  const char* p = text;
  bool negative = *p == '-';
  if (*p == '-' || *p == '+') {
    p++;
  }
  uint64_t mantissa = 0;
  const char* integerEnd = readDigits(p, mantissa);
  long digits = integerEnd - p;
  long fractionDigits = 0;
  p = integerEnd;
  if (*p == '.') {
    p++;
    const char* fractionEnd = readDigits(p, mantissa);
    fractionDigits = fractionEnd - p;
    p = fractionEnd;
  }
  stop = p;
  digits += fractionDigits;
  // (An unsigned mantissa may have wrapped when there are too many digits;
  // it is not looked at then.)
  if (digits == 0 || digits > kMaxDigits || mantissa > kMaxExactInteger) {
    return false;
  }
  // Both operands are exact, so the one division is correctly rounded: the
  // same double that atof finds for this text.
  double exact = static_cast<double>(mantissa) / kExactPowersOfTen[fractionDigits];
  value = static_cast<float>(negative ? -exact : exact);
  return true;
}

bool isBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

bool readPlainDecimal(const char* text, const char*& stop, float& value) { return plainDecimal(text, stop, value); }

float decimalToFloat(const char* text) {
  // Anything but a plain decimal that converts directly goes the general way.
  const char* stop = nullptr;
  float value = 0.0f;
  if (plainDecimal(text, stop, value) && *stop == '\0') {
    return value;
  }
  return static_cast<float>(atof(text));
}

bool readNumber(const char* begin, const char* end, float& value) {
  // Most fields are a plain decimal alone.
  const char* stop = nullptr;
  float direct = 0.0f;
  if (plainDecimal(begin, stop, direct) && stop == end) {
    value = direct;
    return true;
  }
  while (begin < end && isBlank(*begin)) {
    begin++;
  }
  while (end > begin && isBlank(end[-1])) {
    end--;
  }
  if (begin == end) {
    return false;
  }
  if (plainDecimal(begin, stop, direct) && stop == end) {
    value = direct;
    return true;
  }
  // strtod would skip white space other than blanks and tabs before the number.
  if (isspace(static_cast<unsigned char>(*begin))) {
    return false;
  }
  // The general way wants the text alone, ended by a NUL byte; strtod reads
  // what atof reads, so the float is decimalToFloat's.
  const std::string text(begin, end);
  char* after = nullptr;
  const double general = strtod(text.c_str(), &after);
  if (after != text.c_str() + text.size()) {
    return false;
  }
  value = static_cast<float>(general);
  return true;
}

float decimalFieldToFloat(char* field, const char* limit, char delimiter, char** end) {
  float value;
  const char* stop = nullptr;
  if (delimiter != '\0' && plainDecimal(field, stop, value) && *stop == delimiter) {
    *end = const_cast<char*>(stop);
    return value;
  }
  // The general way: the field alone, ended by a NUL as a field read ends it.
  char* found = static_cast<char*>(memchr(field, delimiter, static_cast<size_t>(limit - field)));
  *end = found;
  if (found == nullptr) {
    return 0.0f;
  }
  *found = '\0';
  value = decimalToFloat(field);
  *found = delimiter;
  return value;
}
