#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "io/decimal.h"

namespace {

uint32_t bits(float f) {
  uint32_t b;
  memcpy(&b, &f, sizeof b);
  return b;
}

// The number of texts whose conversion differs from (float)atof in any bit
// (the sign of zero and the payload of nan included), by decimalToFloat or,
// where it takes the text as a number, by readNumber; the first few are listed.
// Each text also stands as a field followed by a blank and more text: read
// by decimalFieldToFloat it must give what decimalToFloat gives for the
// field alone (the text up to its first blank), and end at that blank.
int mismatches(const std::vector<std::string>& texts) {
  int wrong = 0;
  for (const std::string& text : texts) {
    float expected = static_cast<float>(atof(text.c_str()));
    float got = decimalToFloat(text.c_str());
    float read = expected;
    readNumber(text.data(), text.data() + text.size(), read);
    if (bits(got) != bits(expected) || bits(read) != bits(expected)) {
      if (++wrong <= 10) ADD_FAILURE() << "\"" << text << "\": " << got << ", " << read << " instead of " << expected;
    }
    std::string line = text + " 7 rest";
    const size_t blank = text.find(' ');
    const std::string field = text.substr(0, blank);
    char* end = nullptr;
    const float inLine = decimalFieldToFloat(line.data(), line.data() + line.size(), ' ', &end);
    if (bits(inLine) != bits(decimalToFloat(field.c_str())) || end != line.data() + field.size() ||
        line != text + " 7 rest") {
      if (++wrong <= 10) ADD_FAILURE() << "\"" << text << "\" in a line: " << inLine;
    }
  }
  return wrong;
}

// readNumber takes a text with exactly one number, blanks and tabs around it allowed, and nothing else.
TEST(DecimalTest, ReadNumberTakesExactlyOneNumber) {
  using namespace std::string_literals;
  for (const std::string& text : {"5"s, "-0"s, " 5"s, "5\t"s, " \t-1.5e3  "s, "0x1p3"s, "inf"s, "nan"s, "1e39"s,
                                  "00012.50"s, ".5"s, "5."s, "+3"s, std::string(30, '7')}) {
    float value = 0.5f;
    EXPECT_TRUE(readNumber(text.data(), text.data() + text.size(), value)) << text;
  }
  for (const std::string& text :
       {""s, " "s, "-"s, "+"s, "."s, "5x"s, "1,5"s, "1.2.3"s, "5 5"s, "\r5"s, "5\r"s, "\n5"s, "--5"s, "1e"s, "0x"s,
        "5\0"s
        "1"s,
        "\"5\""s}) {
    float value = 0.5f;
    EXPECT_FALSE(readNumber(text.data(), text.data() + text.size(), value)) << text;
    EXPECT_EQ(value, 0.5f) << text;
  }
  // Only the given characters count, whatever follows them.
  const char* digits = "12345";
  float value = 0.0f;
  EXPECT_TRUE(readNumber(digits, digits + 2, value));
  EXPECT_EQ(value, 12.0f);
}

TEST(DecimalTest, AFieldWithoutItsDelimiterGivesNoEnd) {
  char text[] = "12.5";
  char* end = text;
  EXPECT_EQ(decimalFieldToFloat(text, text + 4, ' ', &end), 0.0f);
  EXPECT_EQ(end, nullptr);
}

// The exact decimal text of a double that has at most `places` binary digits after the point.
std::string exactText(double value, int places) {
  char text[128];
  snprintf(text, sizeof text, "%.*f", places, value);
  return text;
}

// Signs of zero, texts with no number or more than one, blanks, exponents,
// hexadecimal, inf and nan, digits past what a double holds, float limits.
TEST(DecimalTest, OddTextsConvertAsTheLibraryDoes) {
  const std::vector<std::string> texts = {"",
                                          "-",
                                          "+",
                                          ".",
                                          "-.",
                                          "+.",
                                          "..5",
                                          "0",
                                          "-0",
                                          "+0",
                                          "-0.0",
                                          "-.000",
                                          "-0.",
                                          "00012.50",
                                          ".5",
                                          "-.5",
                                          "5.",
                                          "+3",
                                          "--5",
                                          "+-5",
                                          "1.2.3",
                                          "5x",
                                          "5 ",
                                          " 5",
                                          "\t5",
                                          "5\t",
                                          "5\r",
                                          "\r5",
                                          "1e5",
                                          "1E5",
                                          "-1e-5",
                                          "1e39",
                                          "-1e39",
                                          "1e-50",
                                          "0x1p3",
                                          "0X10",
                                          "inf",
                                          "-inf",
                                          "INF",
                                          "infinity",
                                          "nan",
                                          "-nan",
                                          "NAN(12)",
                                          "1,5",
                                          "١",
                                          "\xff"
                                          "5",
                                          "0.1",
                                          "0.2",
                                          "0.3",
                                          "3.14159",
                                          "-2.71828",
                                          "123456789",
                                          "16777216",
                                          "16777217",
                                          "16777217.0",
                                          "16777219",
                                          "33554435",
                                          "9007199254740992",
                                          "9007199254740993",
                                          "9007199254740993.0",
                                          "1234567890123456789",
                                          "9999999999999999999",
                                          "10000000000000000000",
                                          "12345678901234567890",
                                          "18446744073709551616",
                                          "0.0000000000000000001",
                                          "0.00000000000000000001",
                                          "000000000000000000000000001",
                                          "1.00000005960464477539062",
                                          "1.000000059604644775390625",
                                          "1.0000000596046447753906251",
                                          "340282356779733661637539395458142568447.9",
                                          "340282356779733661637539395458142568448",
                                          "3.4028235e38",
                                          "0.000000000000000000000000000000000000011754942",
                                          std::string(400, '9'),
                                          "0." + std::string(300, '0') + "1",
                                          "-" + std::string(30, '0') + "7.25"};
  EXPECT_EQ(mismatches(texts), 0);
}

// Random plain decimals: 1 to 25 digits, the point anywhere or missing, signs, leading zeros.
TEST(DecimalTest, RandomDecimalsConvertAsTheLibraryDoes) {
  std::mt19937_64 random(20240607);
  auto below = [&](int n) { return static_cast<int>(random() % static_cast<uint64_t>(n)); };
  std::vector<std::string> texts;
  for (int n = 0; n < 400000; n++) {
    std::string text;
    int sign = below(4);
    if (sign == 1) text += '-';
    if (sign == 2) text += '+';
    int digits = 1 + below(25);
    int zeros = below(3) == 0 ? below(6) : 0;
    std::string number(zeros, '0');
    for (int i = 0; i < digits; i++) number += static_cast<char>('0' + below(10));
    int point = below(number.size() + 2);  // past the end: no point at all
    if (point <= static_cast<int>(number.size())) number.insert(point, ".");
    texts.push_back(text + number);
  }
  EXPECT_EQ(mismatches(texts), 0);
}

// Values at and next to the midpoint of two neighbouring floats, where a
// double that is off by one unit would round to the other float.
TEST(DecimalTest, MidpointsBetweenFloatsConvertAsTheLibraryDoes) {
  std::mt19937_64 random(7);
  std::vector<std::string> texts;
  for (int n = 0; n < 40000; n++) {
    int exponent = static_cast<int>(random() % 40) - 10;  // binades from 2^-10 to 2^29
    float low = std::ldexp(1.0f + static_cast<float>(random() % (1 << 23)) / (1 << 23), exponent);
    double mid = (static_cast<double>(low) + static_cast<double>(std::nextafter(low, FLT_MAX))) / 2.0;
    int places = exponent >= 24 ? 0 : 24 - exponent;  // the midpoint needs this many bits after the point
    std::string text = exactText(mid, places);        // ends in 5 when it has a fraction
    std::string over = places > 0 ? text : text + ".";
    std::string under = places > 0 ? text.substr(0, text.size() - 1) + "4" : exactText(mid - 1.0, 0) + ".";
    texts.push_back(text);
    texts.push_back("-" + text);
    // Just above and just below, by ever smaller amounts: the digit counts
    // pass the point where the digits no longer fit a double exactly.
    for (int extra = 1; extra <= 12; extra++) {
      texts.push_back(over + std::string(extra - 1, '0') + "1");
      texts.push_back(under + std::string(extra, '9'));
    }
  }
  EXPECT_EQ(mismatches(texts), 0);
}

}  // namespace
