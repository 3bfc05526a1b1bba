// The class file: CSV as RFC 4180 writes it, each way a file can be wrong refused with one line, and the match
// of its identifiers to the input vectors.

#include <cmath>
#include <cstring>
#include <random>
#include <stdexcept>

#include "base/failure.h"
#include "io/classfile.h"
#include "output/knownclasses.h"
#include "output/markup.h"
#include "test_support.h"
#include "training/progressline.h"

namespace {

struct Refused : std::runtime_error {
  using std::runtime_error::runtime_error;
};

void throwRefused(const std::string& message) { throw Refused(message); }

// The message a parse fails with, "" when it succeeds.
std::string refusal(const std::string& text) {
  setFailHandler(throwRefused);
  testing::internal::CaptureStdout();
  std::string message;
  try {
    parseClassFile(text);
  } catch (const Refused& r) {
    message = r.what();
  }
  const std::string printed = testing::internal::GetCapturedStdout();
  setFailHandler(nullptr);
  EXPECT_EQ(printed, message.empty() ? "" : message + "\n");
  EXPECT_EQ(message.find('\n'), std::string::npos) << "one line";
  return message;
}

std::vector<std::pair<std::string, std::string>> pairs(const std::string& text) {
  std::vector<std::pair<std::string, std::string>> out;
  for (const ClassEntry& e : parseClassFile(text)) out.emplace_back(e.id, e.className);
  return out;
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(ClassFileTest, ReadsQuotedFieldsLineEndsAndTheByteOrderMark) {
  EXPECT_EQ(pairs("id,class\na,x\nb,y\n"), (Pairs{{"a", "x"}, {"b", "y"}}));
  EXPECT_EQ(pairs("id,class\r\na,x\r\nb,y"), (Pairs{{"a", "x"}, {"b", "y"}}));  // CR LF, no final line end
  EXPECT_EQ(pairs("\xEF\xBB\xBFid,class\na,x\n"), (Pairs{{"a", "x"}}));
  EXPECT_EQ(pairs("\"id\",\"class\"\n\"a, b\",\"say \"\"hi\"\"\"\n\"two\nlines\",\"\"\n"),
            (Pairs{{"a, b", "say \"hi\""}, {"two\nlines", ""}}));
  EXPECT_EQ(pairs("id,class\n\na,x\n\n\n"), (Pairs{{"a", "x"}}));                  // empty lines are skipped
  EXPECT_EQ(pairs("id,class\n"), Pairs{});                                         // a header alone: nobody has a class
  EXPECT_EQ(pairs("id,class\n a ,x\r\n"), (Pairs{{" a ", "x"}}));                  // blanks are data
  EXPECT_EQ(pairs("id,class\na,x\na,x\nb,y\n"), (Pairs{{"a", "x"}, {"b", "y"}}));  // a repetition that agrees
}

TEST(ClassFileTest, EveryMalformedFileIsRefusedWithItsLine) {
  EXPECT_EQ(refusal(""), "classfile is empty: it needs a header line and a line per identifier (check classfile)");
  EXPECT_EQ(refusal("\n\n"), refusal(""));
  EXPECT_EQ(refusal("id\na,x\n"),
            "classfile line 1: 1 field where two are expected (identifier,class) (check classfile)");
  EXPECT_EQ(refusal("id,class\na,x\nb,y,z\n"),
            "classfile line 3: 3 fields where two are expected (identifier,class) (check classfile)");
  EXPECT_EQ(refusal("id,class\na\n"),
            "classfile line 2: 1 field where two are expected (identifier,class) (check classfile)");
  EXPECT_EQ(refusal("id,class\n\"a,x\n"), "classfile line 2: a quoted field is not closed (check classfile)");
  EXPECT_EQ(refusal("id,class\n\"a\"b,x\n"),
            "classfile line 2: a quoted field must be followed by a comma or the end of the line (check classfile)");
  EXPECT_EQ(refusal("id,class\na\"b,x\n"),
            "classfile line 2: a double quote inside a field that is not quoted (check classfile)");
  // The line counts the line ends inside quoted fields.
  EXPECT_EQ(refusal("id,class\n\"a\nb\",x\nc\n"),
            "classfile line 4: 1 field where two are expected (identifier,class) (check classfile)");
  EXPECT_EQ(refusal("id,class\na,x\nb,y\na,z\n"),
            "classfile line 4: identifier \"a\" has class \"z\" here and \"x\" on line 2 (check classfile)");
  // Texts in a message stay on one line and short.
  const std::string message = refusal("id,class\n\"a\nb\",x\n\"a\nb\"," + std::string(200, 'y') + "\n");
  EXPECT_NE(message.find("identifier \"a b\" has class \"yyy"), std::string::npos) << message;
  EXPECT_LT(message.size(), 200u);
}

TEST(ClassFileTest, AMissingFileIsRefused) {
  setFailHandler(throwRefused);
  testing::internal::CaptureStdout();
  EXPECT_THROW(readClassFile("/nonexistent/classes.csv"), Refused);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "classfile not found (check propertyfile)\n");
  setFailHandler(nullptr);
}

TEST(KnownClassesTest, VectorsWithoutAClassAreNoneAndUnknownIdentifiersAreCounted) {
  testsupport::resetGlobals(1);
  Data_Vector items;
  items.addElement(testsupport::item("b", {1}));
  items.addElement(testsupport::item("a", {2}));
  items.addElement(testsupport::item("lost", {3}));
  items.addElement(testsupport::item("a", {4}));  // a repeated identifier: each vector gets the class
  const KnownClasses k(parseClassFile("id,class\nghost,z\na,x\nb,y\nc,x\n"), &items);
  EXPECT_EQ(k.names(), (std::vector<std::string>{"x", "y", "(none)"}));  // file order, "(none)" last
  EXPECT_EQ(k.classOf(items.elementAt(0)), 1);
  EXPECT_EQ(k.classOf(items.elementAt(1)), 0);
  EXPECT_EQ(k.classOf(items.elementAt(2)), 2);
  EXPECT_EQ(k.classOf(items.elementAt(3)), 0);
  EXPECT_EQ(k.unknownIdentifiers(), 2);  // ghost, c
  EXPECT_EQ(k.vectorsWithoutClass(), 1);
  EXPECT_EQ(k.classesGiven(), 2);  // z names no vector: not a class of this run
  EXPECT_EQ(k.vectorsPerClass(), (std::vector<long long>{2, 1, 1}));
  const KnownClasses named(parseClassFile("id,class\na,(none)\n"), &items);
  EXPECT_EQ(named.names(), (std::vector<std::string>{"(none)"}));  // the file's own "(none)" is the same class
  for (int k = 0; k < items.size(); k++) delete items.elementAt(k);
}

TEST(JsonFloatTest, FewestDigitsThatGiveTheFloatBack) {
  EXPECT_EQ(jsonFloat(0.1f), "0.1");
  EXPECT_EQ(jsonFloat(1.0), "1");
  EXPECT_EQ(jsonFloat(0.97333336), "0.97333336");
  EXPECT_EQ(jsonFloat(1e-45), "1e-45");
  EXPECT_EQ(jsonFloat(HUGE_VAL), "null");
  EXPECT_EQ(jsonFloat(std::nan("")), "null");
  std::mt19937 rng(5);
  for (int k = 0; k < 10000; k++) {
    uint32_t bits = static_cast<uint32_t>(rng());
    float f;
    memcpy(&f, &bits, sizeof f);
    if (!std::isfinite(f)) continue;
    const std::string text = jsonFloat(f);
    ASSERT_EQ(strtof(text.c_str(), nullptr), f) << text;
  }
}

// Identifiers and names are bytes; the summary must stay valid JSON: well-formed UTF-8 passes, every other byte
// becomes U+FFFD.
TEST(JsonTextTest, KeepsWellFormedUtf8AndReplacesEveryOtherByte) {
  EXPECT_EQ(jsonText("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"), "\"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80\"");
  const std::string bad[] = {"\xFF", "\xC3", "\xC0\x80", "\xE0\x80\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80"};
  for (const std::string& b : bad) {
    const std::string got = jsonText("a" + b + "b");
    EXPECT_EQ(got.substr(0, 2), "\"a") << b;
    EXPECT_EQ(got.find_first_not_of("\xEF\xBF\xBD", 2), got.size() - 2) << b;  // only replacement characters between
  }
  EXPECT_EQ(jsonText("q\"\n"), "\"q\\\"\\u000a\"");
}

TEST(ProgressLineTest, NamesTheMapItsChecksItsErrorAndTheTime) {
  EXPECT_EQ(ProgressLine::text({2, 7, 3, 4, 1, 0.0123f, 0.01f}, 12.345),
            "level 2, map 7 (3 x 4 units), 1 growth check, MQE 0.0123, bound 0.01, 12.3 s");
  EXPECT_EQ(ProgressLine::text({1, 1, 2, 2, 0, HUGE_VALF, 0.8f}, 0.0),
            "level 1, map 1 (2 x 2 units), 0 growth checks, MQE -, bound 0.8, 0.0 s");
}

}  // namespace
