// The table and sparse-vector readers record by record, the store that keeps records until they are made dense,
// and the loader's use of both: what is read, and the one line that refuses each kind of bad input.

#include <unistd.h>

#include <cmath>

#include "io/csvreader.h"
#include "io/decimal.h"
#include "io/recordreader.h"
#include "io/recordstore.h"
#include "io/sparsereader.h"
#include "test_support.h"

namespace {

using namespace std::string_literals;
using Floats = std::vector<float>;

// The message `step` fails with, "" when it does not fail; what it prints is dropped.
template <class Step>
std::string failureOf(Step step) {
  std::string printed;
  return testsupport::failureOf(step, printed);
}

// An unnamed temporary file holding `text`, ready to be read.
FILE* fileOf(const std::string& text) {
  FILE* file = tmpfile();
  fwrite(text.data(), 1, text.size(), file);
  rewind(file);
  return file;
}

// A file name of this process's own (the tests of other processes run alongside).
std::string ownName(const std::string& name) { return name + "." + std::to_string(getpid()); }

// Every record of a file: "id: values" (dense) or "id: index=value ..." (sparse), one string each.
template <class Reader>
std::vector<std::string> recordsOf(Reader& reader) {
  std::vector<std::string> all;
  Record r;
  while (reader.next(r)) {
    std::ostringstream s;
    s << std::string(r.id) << ":";
    for (int i = 0; i < r.count; i++) {
      if (r.indices != nullptr)
        s << " " << r.indices[i] << "=" << r.values[i];
      else
        s << " " << r.values[i];
    }
    all.push_back(s.str());
  }
  return all;
}

std::vector<std::string> table(const std::string& text, const char* idColumn = nullptr, char separator = ',') {
  CsvReader reader(fileOf(text), "t.csv", CsvOptions{separator, idColumn});
  return recordsOf(reader);
}

std::string tableFailure(const std::string& text, const char* idColumn = nullptr) {
  return failureOf([&] { table(text, idColumn); });
}

std::vector<std::string> sparse(const std::string& text, int components = 0) {
  SparseReader reader(fileOf(text), "s.txt", components);
  return recordsOf(reader);
}

TEST(CsvReaderTest, QuotesSeparatorsLineEndsAndTheIdentifierColumn) {
  using V = std::vector<std::string>;
  // The first column is text: the identifiers. Quoted fields hold separators, quotes, line ends; CR LF; a mark.
  EXPECT_EQ(table("\xEF\xBB\xBFname,a,\"b,c\"\r\n\"x,\"\"y\"\"\",1, 2\t\r\n\"two\r\nlines\",\"3\",-.5\n"),
            (V{"x,\"y\": 1 2", "two\r\nlines: 3 -0.5"}));
  // A number first: every column holds values and the rows are numbered; no line end after the last row.
  EXPECT_EQ(table("a,b\n1,2\n3,4"), (V{"1: 1 2", "2: 3 4"}));
  // A named identifier column anywhere, numbers in it; semicolons and tabs as separators.
  EXPECT_EQ(table("a,id,b\n1,7,2\n", "id"), (V{"7: 1 2"}));
  // An empty first name (a data frame's index) names the identifier column, numbers in it or not.
  EXPECT_EQ(table(",a,b\n0,1,2\nx,3,4\n"), (V{"0: 1 2", "x: 3 4"}));
  EXPECT_EQ(table("\"\";a\n7;1\n", nullptr, ';'), (V{"7: 1"}));
  EXPECT_EQ(table("id;a\nx;1.5\n", nullptr, ';'), (V{"x: 1.5"}));
  EXPECT_EQ(table("id\ta\nx\t2\n", nullptr, '\t'), (V{"x: 2"}));
  CsvReader reader(fileOf("id,\"s p\",q\nv,1,2\n"), "t.csv", CsvOptions{});
  EXPECT_EQ(reader.componentNames(), (V{"s p", "q"}));
}

// The very float the input-vector reader makes of each text, and nothing that is not one number.
TEST(CsvReaderTest, ValuesAreTheInputVectorReadersFloats) {
  const char* texts[] = {"5.1",
                         "-0",
                         "1e5",
                         "0x1p3",
                         "00012.50",
                         ".5",
                         "5.",
                         "+3",
                         "1e-50",
                         "3.4028235e38",
                         "0.1000000000000000055511151231257827",
                         "123456789012345678901234"};
  for (const char* text : texts) {
    CsvReader reader(fileOf("a,b\n1," + std::string(text) + "\n"), "t.csv", CsvOptions{});
    Record r;
    ASSERT_TRUE(reader.next(r));
    const float expected = decimalToFloat(text);
    EXPECT_EQ(memcmp(&r.values[1], &expected, sizeof expected), 0) << text;
  }
}

// Rows after the first are read straight from the line when they are plain decimals: any row reads,
// or fails, as the first data row (which is split before it is read) does, but for its line number.
TEST(CsvReaderTest, LaterRowsReadAndFailAsTheFirstDoes) {
  const std::string rows[] = {"x,1,2",
                              "x,1,2\r",
                              "x,-.5,5.",
                              "x,+3,00012.50",
                              "x,1e5,0x1p3",
                              "x, 2,3\t",
                              "x,\"3\",4",
                              "\"x,y\",1,2",
                              "x,1",
                              "x,1,2,3",
                              "x,1,",
                              "x,,2",
                              "x,1 2,3",
                              "x,1\",2",
                              "x\"y,1,2",
                              "x,1,2\r\r",
                              "x,1\r,2",
                              "x,1,nan",
                              "x,1,1e39",
                              "x,1,2,",
                              "x,1.2.3,4",
                              "x,-,1",
                              "x,1,2 ",
                              "x,123456789012345678901234,1",
                              "x,0.1000000000000000055511151231257827,1"};
  for (const std::string& row : rows) {
    std::vector<std::string> first, later;
    const std::string failedFirst = failureOf([&] { first = table("id,a,b\n" + row + "\n"); });
    const std::string failedLater = failureOf([&] { later = table("id,a,b\nw,0,0\n" + row + "\n"); });
    std::string expected = failedFirst;
    const size_t at = expected.find("line 2");
    if (at != std::string::npos) expected.replace(at, 6, "line 3");
    EXPECT_EQ(failedLater, expected) << row;
    if (failedFirst.empty()) {
      ASSERT_EQ(later.size(), 2u) << row;
      EXPECT_EQ(later[1], first[0]) << row;
    }
  }
  // A named identifier column between values, quoted or not.
  EXPECT_EQ(table("a,id,b\n1,7,2\n3,\"8\",4\n5,9,6\r\n", "id"),
            (std::vector<std::string>{"7: 1 2", "8: 3 4", "9: 5 6"}));
  // Exact floats, not only their printed form.
  for (const char* text : {"0.1", "16777217", "0.30000001192092896", "1.00000005960464477539"}) {
    CsvReader reader(fileOf("a,b\n1,0\n2," + std::string(text) + "\n"), "t.csv", CsvOptions{});
    Record r;
    ASSERT_TRUE(reader.next(r));
    ASSERT_TRUE(reader.next(r));
    const float expected = decimalToFloat(text);
    EXPECT_EQ(memcmp(&r.values[1], &expected, sizeof expected), 0) << text;
  }
}

TEST(CsvReaderTest, EveryKindOfBadTableIsOneLineWithFileLineAndColumn) {
  const std::string at = "inputfile t.csv, ";
  const std::string check = " (check inputfile)";
  const std::pair<std::string, std::string> cases[] = {
      {"", "inputfile t.csv is empty (check inputfile)"},
      {"\xEF\xBB\xBF", "inputfile t.csv is empty (check inputfile)"},
      {"id,a\n", at + "line 1: the header row is followed by no data row" + check},
      {"id,a\r\n\r\n", at + "line 2: the line is empty" + check},
      {"id,a\nx,1\n\n", at + "line 3: the line is empty" + check},
      {"id,a,b\nx,1\n", at + "line 2, column 3 (b): the row ends after 2 fields, the header row has 3" + check},
      {"id,a\nx,1,2\n", at + "line 2, column 3: the row has more fields than the 2 of the header row" + check},
      {"id,a\nx,1\ny,one\n", at + "line 3, column 2 (a): \"one\" is not a number" + check},
      {"id,a\nx,1 2\n", at + "line 2, column 2 (a): \"1 2\" is not a number" + check},
      {"id,a\nx,nan\n", at + "line 2, column 2 (a): \"nan\" is not a finite number" + check},
      {"id,a\nx,1e39\n", at + "line 2, column 2 (a): \"1e39\" is not a finite number" + check},
      {"id,a\nx, \n", at + "line 2, column 2 (a): the field is empty: a value is missing" + check},
      {"a,b\n,1\n", at + "line 2, column 1 (a): the field is empty: a value is missing" + check},
      {"id,a,a\nx,1,2\n", at + "line 1, column 3 (a): the column name repeats that of column 2" + check},
      {"id,,b\nx,1,2\n", at + "line 1, column 2: the header row gives this column no name" + check},
      {"id\nx\n",
       at + "line 1, column 1 (id): no column is left for values: the only column holds the identifiers" + check},
      {"id,a\n\"x,1\ny,2\n", at + "line 2, column 1 (id): the quoted field that starts here is never closed" + check},
      {"id,a\n\"x\"y,1\n", at + "line 2, column 1 (id): text follows the closing quote of a quoted field" + check},
      {"id,a\nx\"y,1\n", at +
                             "line 2, column 1 (id): a double quote within an unquoted field: quote the whole "
                             "field and double the quote" +
                             check},
      {"id,a\n\"x\",1\"\n", at +
                                "line 2, column 2 (a): a double quote within an unquoted field: quote the whole "
                                "field and double the quote" +
                                check},
      {"id,a\nx,1\"\n", at +
                            "line 2, column 2 (a): a double quote within an unquoted field: quote the whole "
                            "field and double the quote" +
                            check},
      // Control characters are escaped and a NUL never cuts a name or an identifier short: one line each.
      {"id,a\nx,1\ny,\x01\n", at + "line 3, column 2 (a): \"\\x01\" is not a number" + check},
      {"id,\"b\nc\"\nx,y\n", at + "line 3, column 2 (b\\nc): \"y\" is not a number" + check},
      {"id,a\nx\0y,1\n"s, at + "line 2, column 1 (id): the identifier \"x\\x00y\" holds a NUL byte" + check},
      {"id,\"a\0\"\nx,1\n"s, at + "line 1, column 2: the column name \"a\\x00\" holds a NUL byte" + check},
  };
  for (const auto& [text, message] : cases) EXPECT_EQ(tableFailure(text), message) << text;
  EXPECT_EQ(tableFailure("a,b\n1,2\n", "id"), at + "line 1: idColumn=id names no column of the header row" + check);
  EXPECT_EQ(tableFailure("a,b\n1,2\n", ""), at + "line 1: idColumn= names no column of the header row" + check);
  EXPECT_EQ(tableFailure("a,b\n1,2\n", "i\rd"),
            at + "line 1: idColumn=i\\rd names no column of the header row" + check);
  // An empty first name is an index column's: with idColumn naming another, it is a column without a name.
  EXPECT_EQ(tableFailure(",a,b\n0,1,2\n", "a"),
            at + "line 1, column 1: the header row gives this column no name" + check);
  // A long field is cut in the message, which stays one line.
  EXPECT_EQ(tableFailure("id,a\nx," + std::string(50, 'z') + "\n"),
            at + "line 2, column 2 (a): \"" + std::string(40, 'z') + "...\" is not a number" + check);
}

TEST(SparseReaderTest, IdentifiersIndicesAndTheLargestIndex) {
  using V = std::vector<std::string>;
  // Blanks and tabs between tokens, CR LF, a mark; a line without identifier is numbered; one without pairs is 0.
  SparseReader reader(fileOf("\xEF\xBB\xBF"
                             "a 1:0.5  3:2\r\n+1\t2:1e1 10:-1\n4:0x1p3\nlonely \n"),
                      "s.txt", 0);
  EXPECT_EQ(recordsOf(reader), (V{"a: 0=0.5 2=2", "+1: 1=10 9=-1", "3: 3=8", "lonely:"}));
  EXPECT_EQ(reader.largestIndex(), 10);
  EXPECT_EQ(sparse("x 4:1\n", 4), (V{"x: 3=1"}));
  EXPECT_TRUE(sparse("").empty());
}

TEST(SparseReaderTest, EveryKindOfBadLineIsOneLineWithFileLineAndColumn) {
  const std::string at = "inputfile s.txt, line ";
  const std::string check = " (check inputfile)";
  const std::pair<std::string, std::string> cases[] = {
      {"a 1:1\n\nb 2:1\n", at + "2: the line is empty, but every line must hold a vector" + check},
      {"a 1:1\n \r\n", at + "2: the line is empty, but every line must hold a vector" + check},
      {"a 2:1 2:3\n", at + "1, column 7: index 2 repeats" + check},
      {"a 1:1 3:1 2:1\n", at + "1, column 11: index 2 follows index 3, but indices must increase along a line" + check},
      {"a 0:1\n", at + "1, column 3: index 0 in \"0:1\": indices start at 1" + check},
      {"a 1:1 7\n", at + "1, column 7: \"7\" is a value without an index, expected index:value" + check},
      {"1:1 b\n", at + "1, column 5: \"b\" is a value without an index, expected index:value" + check},
      {"a :7\n", at + "1, column 3: \":7\" has no index before its colon" + check},
      {"a -1:7\n", at + "1, column 3: the index of \"-1:7\" is not a whole number" + check},
      {"a 1.5:7\n", at + "1, column 3: the index of \"1.5:7\" is not a whole number" + check},
      {"a 2147483648:1\n", at + "1, column 3: the index of \"2147483648:1\" is too large" + check},
      {"a 3:\n", at + "1, column 3: index 3 has no value after its colon" + check},
      {"a 3:x\n", at + "1, column 5: \"x\" is not a number" + check},
      {"a 3:1:2\n", at + "1, column 5: \"1:2\" is not a number" + check},
      {"a 3:inf\n", at + "1, column 5: \"inf\" is not a finite number" + check},
      {"a 1:1\nx\0y 1:1\n"s, at + "2, column 1: the identifier \"x\\x00y\" holds a NUL byte" + check},
  };
  for (const auto& c : cases) EXPECT_EQ(failureOf([&] { sparse(c.first); }), c.second) << c.first;
  EXPECT_EQ(failureOf([] { sparse("a 5:1\n", 4); }),
            at + "1, column 3: the index of \"5:1\" lies beyond the 4 components" + check);
  EXPECT_EQ(failureOf([] { sparse("a 4:1\n", 4); }), "");
}

TEST(RecordStoreTest, RecordsComeBackInOrderWhateverTheirSize) {
  RecordStore store;
  std::vector<float> big(300000);  // larger than a block
  for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<float>(i);
  const int indices[] = {0, 4, 9};
  const float values[] = {1.5f, -2, 3};
  for (int n = 0; n < 2000; n++) {
    const std::string id = "r" + std::to_string(n);
    Record r;
    r.id = id;
    r.line = n + 1;
    if (n == 700) {
      r.values = big.data();
      r.count = static_cast<int>(big.size());
    } else {
      r.values = values;
      r.indices = indices;
      r.count = n % 4;
    }
    store.add(r);
  }
  EXPECT_EQ(store.size(), 2000);
  Record r;
  for (int n = 0; n < 2000; n++) {
    ASSERT_TRUE(store.takeNext(r));
    EXPECT_EQ(r.id, "r" + std::to_string(n));
    EXPECT_EQ(r.line, n + 1);
    if (n == 700) {
      ASSERT_EQ(r.indices, nullptr);
      ASSERT_EQ(r.count, 300000);
      EXPECT_EQ(r.values[299999], 299999.0f);
    } else {
      ASSERT_EQ(r.count, n % 4);
      for (int i = 0; i < r.count; i++) EXPECT_TRUE(r.indices[i] == indices[i] && r.values[i] == values[i]);
    }
  }
  EXPECT_FALSE(store.takeNext(r));
  EXPECT_EQ(store.size(), 0);
}

// ---- The loader ----

// Reads `input` (and `description`, when not empty) with the format settings as given; names and values read.
struct Loaded {
  std::vector<std::string> names;
  Floats values;
  std::vector<std::string> ids;
};
// `quiet` drops the "added" lines (a failure's caller drops them itself).
Loaded load(const std::string& format, const std::string& input, const std::string& description = "",
            bool quiet = true) {
  testsupport::resetGlobals(0);
  Globals::inputFormat = format.c_str();
  DataLoader loader;
  const std::string in = testsupport::writeTempFile(ownName("load.in"), input);
  const std::string tv = testsupport::writeTempFile(ownName("load.tv"), description);
  if (quiet) testing::internal::CaptureStdout();
  Data_Vector* items = loader.readInput(in.c_str(), description.empty() ? nullptr : tv.c_str());
  if (quiet) testing::internal::GetCapturedStdout();
  Loaded l;
  for (int i = 0; i < Globals::vectorlength; i++) l.names.push_back(loader.getVectorDescription()[i]);
  for (int k = 0; k < items->size(); k++) {
    l.ids.push_back(items->elementAt(k)->getId());
    for (int i = 0; i < Globals::vectorlength; i++) l.values.push_back(items->elementAt(k)->value(i));
  }
  EXPECT_EQ(Globals::numofallvecs, items->size());
  deleteDataItems(items);
  return l;
}

std::string loadFailure(const std::string& format, const std::string& input, const std::string& description = "") {
  return failureOf([&] { load(format, input, description, false); });
}

const std::string kTwoNames = "h\nh\nh\nh\n0 red x\n1 blue x\n";

TEST(DataLoaderFormats, NamesCountsAndNormalisationPerFormat) {
  using S = std::vector<std::string>;
  Loaded t = load("csv", "id,red,blue\nv,3,4\nw,0,2\n", kTwoNames);
  EXPECT_EQ(t.names, (S{"red", "blue"}));
  EXPECT_EQ(t.values, (Floats{3, 4, 0, 2}));
  // Sparse: the count is the largest index (names are the numbers), the description's, or the setting's.
  Loaded s = load("sparse", "a 1:1 3:2\nb\n");
  EXPECT_EQ(s.names, (S{"1", "2", "3"}));
  EXPECT_EQ(s.values, (Floats{1, 0, 2, 0, 0, 0}));
  EXPECT_EQ(s.ids, (S{"a", "b"}));
  EXPECT_EQ(load("sparse", "a 1:1\n", kTwoNames).names, (S{"red", "blue"}));
  testsupport::resetGlobals(0);
  Globals::components = 2;  // a description naming more than that: only the first two count
  Globals::inputFormat = "sparse";
  DataLoader loader;
  testing::internal::CaptureStdout();
  deleteDataItems(loader.readInput(testsupport::writeTempFile(ownName("c.in"), "a 2:5\n").c_str(),
                                   testsupport::writeTempFile(ownName("c.tv"), kTwoNames + "2 green x\n").c_str()));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(Globals::vectorlength, 2);
  EXPECT_STREQ(loader.getVectorDescription()[1], "blue");
  // Normalisation as for the input-vector file: each vector to length 1, or each component by its largest value.
  Globals::normInputVectors = 1;
  for (const char* format : {"csv", "sparse"}) {
    testsupport::resetGlobals(0);
    Globals::normInputVectors = 1;
    Globals::inputFormat = format;
    DataLoader l;
    testing::internal::CaptureStdout();
    Data_Vector* items = l.readInput(
        testsupport::writeTempFile(ownName("n.in"), format == "csv"s ? "a,b\n3,4\n0,0\n" : "x 1:3 2:4\ny\n").c_str(),
        nullptr);
    testing::internal::GetCapturedStdout();
    const DenseValues v = items->elementAt(0)->values();
    EXPECT_EQ(Floats(v.data(), v.data() + 2), (Floats{0.6f, 0.8f})) << format;
    deleteDataItems(items);
  }
}

TEST(DataLoaderFormats, UnusableSettingsAndInputAreRefused) {
  const std::string in = testsupport::writeTempFile(ownName("load.in"), "");
  EXPECT_EQ(loadFailure("Csv", "a\n1\n"), "inputFormat=Csv is not one of vectors, csv, sparse (check propertyfile)");
  EXPECT_EQ(loadFailure("csv", "id,red,green\nv,3,4\n", kTwoNames),
            "descriptionfile names component 2 \"blue\" where the header row of " + in +
                " has \"green\" (check descriptionfile)");
  EXPECT_EQ(loadFailure("csv", "id,a,b,c\nv,3,4,5\n", kTwoNames),
            "descriptionfile ends after 2 of 3 components (check descriptionfile)");
  EXPECT_EQ(loadFailure("sparse", ""), "inputfile " + in + " holds no vectors (check inputfile)");
  EXPECT_EQ(loadFailure("sparse", "a\nb\n"),
            "inputfile " + in +
                " lists no index:value pair, and neither components nor descriptionFile gives the "
                "number of components (check inputfile)");
  EXPECT_EQ(
      loadFailure("sparse", "a 3:1\n", kTwoNames),
      "inputfile " + in + ", line 1, column 3: the index of \"3:1\" lies beyond the 2 components (check inputfile)");
  EXPECT_EQ(loadFailure("sparse", "a 1:1\n", "$h\nh\nh\nh\n"),
            "descriptionfile names no component (check descriptionfile)");
  EXPECT_EQ(failureOf([] {
              testsupport::resetGlobals(0);
              Globals::inputFormat = "csv";
              Globals::separator = "|";
              DataLoader().readInput("absent.csv", nullptr);
            }),
            "separator=| is not one of , ; tab (check propertyfile)");
  EXPECT_EQ(failureOf([] {
              testsupport::resetGlobals(0);
              Globals::inputFormat = "sparse";
              Globals::components = -1;
              DataLoader().readInput("absent.txt", nullptr);
            }),
            "components=-1 is negative (check propertyfile)");
  EXPECT_EQ(failureOf([] {
              testsupport::resetGlobals(0);
              Globals::inputFormat = "csv";
              DataLoader().readInput("absent.csv", nullptr);
            }),
            "inputfile not found (check propertyfile)");
}

}  // namespace
