#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/fieldreader.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;
using Reads = std::vector<std::pair<std::string, bool>>;  // each field with what read returned

// Reads `text` with one delimiter per entry of `delimiters`, in blocks of `blockSize` bytes.
Reads readAll(const std::string& text, const std::string& delimiters, size_t blockSize) {
  // One file per test: ctest runs the tests of this file side by side.
  const std::string name = std::string("fields_") + testing::UnitTest::GetInstance()->current_test_info()->name();
  FieldReader reader(fopen(testsupport::writeTempFile(name, text).c_str(), "rb"), blockSize);
  Reads reads;
  for (char delimiter : delimiters) {
    std::string_view field;
    bool found = reader.read(delimiter, field);
    EXPECT_EQ(field.data()[field.size()], '\0') << "field " << reads.size() << " is not followed by a NUL";
    reads.emplace_back(std::string(field), found);
  }
  return reads;
}

// Fields run to their delimiter across line ends, two delimiters make an
// empty field, tabs, carriage returns and NUL bytes are data, and the last
// field ends at the end of the file; with any block size, the smallest ones
// cutting every field at a block end.
TEST(FieldReaderTest, FieldsAreTheBytesUpToTheirDelimiter) {
  const std::string text = "1.5 -2  x\ty\r\nab\0c d\n\nrest of line\nno end"s;
  const Reads expected = {{"1.5", true},  {"-2", true}, {"", true},      {"x\ty\r\nab\0c"s, true},
                          {"d", true},    {"", true},   {"rest", true},  {"of line", true},
                          {"no", true},   {"end", false}, {"", false}};
  for (size_t blockSize : {1, 2, 3, 5, 8, 64, 4096}) {
    EXPECT_EQ(readAll(text, "    \n\n \n  \n", blockSize), expected) << "block size " << blockSize;
  }
}

TEST(FieldReaderTest, EmptyFileAndFieldsLongerThanTheBuffer) {
  EXPECT_EQ(readAll("", "\n ", 16), (Reads{{"", false}, {"", false}}));
  std::string longField(100000, 'x');
  longField[777] = '\n';
  const Reads expected = {{longField, true}, {"y", true}, {longField, false}};
  for (size_t blockSize : {1, 7, 4096}) {
    EXPECT_EQ(readAll(longField + " y " + longField, "   ", blockSize), expected) << "block size " << blockSize;
  }
}

}  // namespace
