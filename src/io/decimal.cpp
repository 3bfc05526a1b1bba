#include "io/decimal.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

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

// The value of a plain decimal at `text` that ends right at a `stop`
// character: true, with the value and where it ends; false when the text
// must go the general way.
inline bool plainDecimal(const char* text, char stop, float& result, const char*& end) {
  // An optional sign, digits, an optional point and digits, then the stop.
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
  digits += fractionDigits;
  // Anything else, or a value that is not exactly mantissa / 10^k with both
  // parts exact doubles, goes the general way. (An unsigned mantissa may have
  // wrapped when there are too many digits; it is not looked at then.)
  if (*p != stop || digits == 0 || digits > kMaxDigits || mantissa > kMaxExactInteger) {
    return false;
  }
  // Both operands are exact, so the one division is correctly rounded: the
  // same double that atof finds for this text.
  double value = static_cast<double>(mantissa) / kExactPowersOfTen[fractionDigits];
  result = static_cast<float>(negative ? -value : value);
  end = p;
  return true;
}

}  // namespace

float decimalToFloat(const char* text) {
  float value;
  const char* end;
  return plainDecimal(text, '\0', value, end) ? value : static_cast<float>(atof(text));
}

float decimalFieldToFloat(char* field, const char* limit, char delimiter, char** end) {
  float value;
  const char* stop;
  if (delimiter != '\0' && plainDecimal(field, delimiter, value, stop)) {
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
