#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
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
  const Reads expected = {{"1.5", true}, {"-2", true},   {"", true},     {"x\ty\r\nab\0c"s, true},
                          {"d", true},   {"", true},     {"rest", true}, {"of line", true},
                          {"no", true},  {"end", false}, {"", false}};
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

// A reader that takes a field in place whenever its delimiter lies in the
// bytes read already (skip), and reads it otherwise, gets the same fields;
// the unread bytes always end with a NUL.
TEST(FieldReaderTest, FieldsTakenInPlaceAreTheFieldsRead) {
  const std::string text = "1.5 -2  x\ty\r\nab\0c d\n\nrest of line\nno end"s;
  const std::string delimiters = "    \n\n \n  \n";
  const std::string name = testsupport::writeTempFile("fields_in_place", text);
  for (size_t blockSize : {1, 2, 3, 5, 8, 64, 4096}) {
    FieldReader reader(fopen(name.c_str(), "rb"), blockSize);
    Reads reads;
    int inPlace = 0;
    for (char delimiter : delimiters) {
      const char* unread = reader.unread();
      ASSERT_EQ(unread[reader.unreadSize()], '\0');
      const void* at = memchr(unread, delimiter, reader.unreadSize());
      if (at != nullptr) {
        const size_t length = static_cast<size_t>(static_cast<const char*>(at) - unread);
        reads.emplace_back(std::string(unread, length), true);
        reader.skip(length + 1);
        inPlace++;
        continue;
      }
      std::string_view field;
      const bool found = reader.read(delimiter, field);
      reads.emplace_back(std::string(field), found);
    }
    EXPECT_EQ(reads, readAll(text, delimiters, blockSize)) << "block size " << blockSize;
    if (blockSize == 4096) {
      EXPECT_EQ(inPlace, 8);  // all but the first (nothing read yet) and the two at the end of the file
    }
  }
}

}  // namespace
