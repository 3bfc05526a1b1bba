#include <unistd.h>

#include <cmath>

#include "io/descriptionfile.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;
using testsupport::writeTempFile;
using Floats = std::vector<float>;

std::string echo;  // the "added" lines printed by the last read

// Reads `text` as an input file, keeping what it prints in `echo`.
Data_Vector* read(DataLoader& loader, const std::string& name, const std::string& text) {
  testing::internal::CaptureStdout();
  Data_Vector* items = loader.readDataItems(writeTempFile(name, text).c_str());
  echo = testing::internal::GetCapturedStdout();
  return items;
}

// Every component of every vector read, in file order.
Floats values(Data_Vector* items) {
  Floats all;
  for (int k = 0; k < items->size(); k++)
    for (int i = 0; i < Globals::vectorlength; i++) all.push_back(items->elementAt(k)->value(i));
  return all;
}

TEST(DataLoaderTest, RecordsAreReadFieldByFieldAndNormalisedAsSet) {
  testsupport::resetGlobals(0);
  DataLoader loader;
  // Two blanks before the count; two blanks between values make an empty field (warned of); no final newline.
  Data_Vector* items = nullptr;
  EXPECT_EQ(testsupport::warningsOf(
                [&] { items = read(loader, "in_rec.txt", "t\nn  3\nt\nd 2\n1.5 -2 first item\r\n3  4 x\n5 6 last"); }),
            std::vector<std::string>{testsupport::tempDir() + "in_rec.txt line 6, component 2: \"\" read as 0"});
  EXPECT_EQ(values(items), (Floats{1.5f, -2, 3, 0, 5, 6}));
  EXPECT_EQ(echo, "added first item\r\nadded 4 x\nadded last\n");
  // A count line without a word before the number shifts the header: the counts come from lines 3 and 5, and
  // the records start on line 6, where a value runs into the next line.
  Data_Vector* shifted = nullptr;
  EXPECT_EQ(
      testsupport::warningsOf([&] { shifted = read(loader, "in_shift.txt", "title\n3\nn 1\nd 1\nx 2\n7 a\n8 b\n"); }),
      std::vector<std::string>{testsupport::tempDir() + "in_shift.txt line 6, component 2: \"a\\n8\" read as 0"});
  EXPECT_EQ(values(shifted), (Floats{7, 0}));
  Globals::normInputVectors = 1;  // each record to length 1 unless it is all zero
  EXPECT_EQ(values(read(loader, "in_len.txt", "t\nn 2\nt\nd 2\n3 4 a\n0 0 z\n")), (Floats{0.6f, 0.8f, 0, 0}));
  Globals::normInputVectors = 2;  // each component by its largest value over the file where that is above 0
  EXPECT_EQ(values(read(loader, "in_int.txt", "t\nn 2\nt\nd 2\n2 -1 a\n4 -3 b\n")), (Floats{0.5f, -1, 1, -3}));
}

// Values are read as the C library reads numbers, whatever they look like, and one warning names the first
// that is not a number alone (tabs around it aside) and counts them; the identifier is taken whole.
TEST(DataLoaderTest, ValuesAndIdentifiersAreTakenAsTheyStand) {
  testsupport::resetGlobals(0);
  DataLoader loader;
  Data_Vector* items = nullptr;
  const std::vector<std::string> warnings = testsupport::warningsOf([&] {
    items = read(loader, "in_odd.txt",
                 "t\nn 2\nt\nd 9\n1e5 0x1p3 -0 00012.50 .5 5. +3 \t7 2\0x id\ttail\r\n"
                 "- . + x 1.5.5 99999999999999999999999 0.1 -.5  last"s);
  });
  EXPECT_EQ(values(items), (Floats{1e5f, 8, 0, 12.5f, 0.5f, 5, 3, 7, 2, 0, 0, 0, 0, 1.5f, 1e23f, 0.1f, -0.5f, 0}));
  EXPECT_TRUE(std::signbit(items->elementAt(0)->value(2)));
  EXPECT_STREQ(items->elementAt(0)->getId(), "id\ttail\r");
  EXPECT_EQ(echo, "added id\ttail\r\nadded last\n"s);
  EXPECT_EQ(warnings,
            std::vector<std::string>{testsupport::tempDir() +
                                     "in_odd.txt line 5, component 9: \"2\\x00x\" read as 2; 7 values like it"});
  // Names: the second field of each line, cut at a NUL byte; two blanks give an empty name.
  read(loader, "in_three.txt", "t\nn 1\nt\nd 3\n1 2 3 v\n");
  loader.readVectorDescription(writeTempFile("d_odd.txt", "h\nh\nh\nh\n0 a\0b r\n1  x\n2 c\r y"s).c_str());
  EXPECT_STREQ(loader.getVectorDescription()[0], "a");
  EXPECT_STREQ(loader.getVectorDescription()[1], "");
  EXPECT_STREQ(loader.getVectorDescription()[2], "c\r");
}

// Unusable files end the run with status 1 and one line, sent to the standard error that the check reads.
#define EXPECT_READ_FAILS(statement, message) \
  EXPECT_EXIT(                                \
      {                                       \
        dup2(2, 1);                           \
        statement;                            \
      },                                      \
      ::testing::ExitedWithCode(1), message)

TEST(DataLoaderDeathTest, UnusableFilesEndTheRunWithOneLine) {
  testsupport::resetGlobals(0);
  DataLoader loader;
  EXPECT_READ_FAILS(loader.readDataItems(writeTempFile("in_short.txt", "t\nn 3\nt\nd 2\n1 2 a\n3 4 b\n").c_str()),
                    "\ninputfile ends after 2 of 3 vectors \\(check inputfile\\)\n$");
  EXPECT_READ_FAILS(loader.readDataItems(writeTempFile("in_zero.txt", "t\nn 0\nt\nd 2\n").c_str()),
                    "^inputfile announces 0 vectors \\(check inputfile\\)\n$");
  EXPECT_READ_FAILS(loader.readDataItems(writeTempFile("in_inf.txt", "t\nn 2\nt\nd 1\n1 a\n1e39 big\n").c_str()),
                    "\ninputfile vector 2 \\(big\\) holds a value that is not a finite number \\(check inputfile\\)");
  read(loader, "in_ok.txt", "t\nn 1\nt\nd 2\n1 2 v\n");
  EXPECT_READ_FAILS(loader.readVectorDescription(nullptr),
                    "^velmar: warning: no descriptionFile in the property file\ndescriptionfile not found \\(check "
                    "propertyfile\\)\n$");
  // An identifier that every output would cut short at its NUL byte.
  EXPECT_READ_FAILS(loader.readDataItems(writeTempFile("in_nul.txt", "t\nn 2\nt\nd 1\n1 a\n2 x\0y\n"s).c_str()),
                    "\ninputfile vector 2 has the identifier \"x\\\\x00y\", whose NUL byte would cut it short in every "
                    "output \\(check inputfile\\)\n$");
  // Vectors that cannot be scaled to length 1 in float: too large, and too small, for the sum of their squares.
  Globals::normInputVectors = 1;
  EXPECT_READ_FAILS(loader.readDataItems(writeTempFile("in_big.txt", "t\nn 2\nt\nd 3\n1 2 3 a\n0 -2e19 1 b\n").c_str()),
                    "\ninputfile vector 2 \\(\"b\"\\) cannot be scaled to length 1 \\(normInputVectors=LENGTH\\): "
                    "its components are too large for the sum of their squares in float; scale the data down");
  EXPECT_READ_FAILS(loader.readDataItems(writeTempFile("in_tiny.txt", "t\nn 1\nt\nd 2\n1e-24 -1e-30 a\n").c_str()),
                    "^inputfile vector 1 \\(\"a\"\\) cannot be scaled .* too small .*; scale the data up");
  Globals::inputFormat = "sparse";
  EXPECT_READ_FAILS(DataLoader().readInput(writeTempFile("in_big.sparse", "a 1:1\nb 2:3e19\n").c_str(), nullptr),
                    "in_big.sparse, line 2: vector \\(\"b\"\\) cannot be scaled .* too large");
  EXPECT_READ_FAILS(loader.readVectorDescription(writeTempFile("d_short.txt", "h\nh\nh\nh\n0 a r\n").c_str()),
                    "^descriptionfile ends after 1 of 2 components \\(check descriptionfile\\)\n$");
}

using Names = std::vector<std::string>;

// The message a read of the names fails with.
std::string namesFailure(const std::string& text, int count) {
  std::string printed;
  return testsupport::failureOf([&] { descriptionNames(text, count); }, printed);
}

// A file whose first line begins with "$", or in which a line from the fifth on (of as many as are wanted) holds
// three fields, has four header lines; any other is a list of names, one a line.
TEST(DescriptionFileTest, HeaderFormAndListAreToldApartAndMisreadLinesRefused) {
  EXPECT_EQ(descriptionNames("h\nh\nh\nh\n0 a x\n1 b y\nshort\n", 2), (Names{"a", "b"}));  // the rest not read
  EXPECT_EQ(descriptionNames("$T\n\n\n\n0 a x\n1 b y\n\n\n", 0), (Names{"a", "b"}));       // empty lines at the end
  EXPECT_EQ(descriptionNames("sepal length\r\nwidth\r\n\r\n", 0), (Names{"sepal length", "width"}));
  EXPECT_EQ(descriptionNames("a\nb\nc\nd\ne f\ng\n", 6), (Names{"a", "b", "c", "d", "e f", "g"}));
  // A component line of two fields would run its name into the next line; a list's empty line would shift names.
  EXPECT_EQ(namesFailure("h\n\n\n\n0 a x\n1 b\n2 c x\n", 3),
            "descriptionfile line 6 holds 2 fields where a component line needs at least three, separated by "
            "single blanks: number, name, more (check descriptionfile)");
  EXPECT_EQ(namesFailure("a\n\nb\n", 0),
            "descriptionfile line 2 is empty where the list of component names needs a name (check descriptionfile)");
  EXPECT_EQ(namesFailure("a\nb\n", 3), "descriptionfile ends after 2 of 3 components (check descriptionfile)");
  EXPECT_EQ(namesFailure("$T\nh\n", 0), "descriptionfile names no component (check descriptionfile)");
}

}  // namespace
