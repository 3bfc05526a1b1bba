// The model file read back to the very same model, every alteration of it refused with one line, the reading of
// vectors to map, and the map stream's bytes whatever the threads or the record source.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <tuple>

#include "apply/mapstream.h"
#include "base/failure.h"
#include "base/workers.h"
#include "io/modelfile.h"
#include "io/outputfile.h"
#include "io/vectorlines.h"
#include "test_support.h"

namespace {

struct Refused : std::runtime_error {
  using std::runtime_error::runtime_error;
};
void throwRefused(const std::string& message) { throw Refused(message); }

// The message `step` fails with, "" when it does not fail.
template <class Step>
std::string refusal(Step step) {
  std::ostringstream sink;
  setFailStream(&sink);
  setFailHandler(throwRefused);
  std::string message;
  try {
    step();
  } catch (const Refused& refused) {
    message = refused.what();
  }
  setFailHandler(nullptr);
  setFailStream(nullptr);
  return message;
}

uint32_t bits(float f) {
  uint32_t b;
  memcpy(&b, &f, sizeof b);
  return b;
}

// Two components, INTERVAL, a first-layer map of 2 x 1 units whose second unit has a 1 x 2 child map; names,
// settings and weights that are hard to write: blanks, "%", "=", an empty name, the float limits, -0.
Model sampleModel() {
  Model m;
  m.componentNames = {"a b%", ""};
  m.normalisation = 2;
  m.intervalDivisors = {2.5f, 0.0f};
  m.mqe0 = 1.0f / 3.0f;
  m.vectors = 12;
  m.settings = {{"HTML_PREFIX", "x=y z", true}, {"MQE0_FILE", "", false}, {"DATAFILE_EXTENSION", "", true}};
  Model::Map first;
  first = {1, 1, 2, 1, 0, 0, 0, {0, 2}, {FLT_MIN / 8, -0.0f, FLT_MAX, 0.1f}};
  Model::Map child = {2, 2, 1, 2, 1, 1, 0, {0, 0}, {-FLT_MAX, 1e-45f, 16777217.0f, -2.75f}};
  m.maps = {first, child};
  return m;
}

TEST(ModelFile, ReadsBackTheVerySameModel) {
  const Model m = sampleModel();
  const std::string text = modelText(m);
  const Model back = parseModel(text, "sample");
  EXPECT_EQ(back.componentNames, m.componentNames);
  EXPECT_EQ(back.normalisation, 2);
  ASSERT_EQ(back.intervalDivisors.size(), 2u);
  EXPECT_EQ(bits(back.intervalDivisors[0]), bits(2.5f));
  EXPECT_EQ(bits(back.mqe0), bits(m.mqe0));
  EXPECT_EQ(back.vectors, 12);
  ASSERT_EQ(back.settings.size(), 3u);
  EXPECT_EQ(back.settings[0].value, "x=y z");
  EXPECT_FALSE(back.settings[1].set);
  EXPECT_TRUE(back.settings[2].set);
  ASSERT_EQ(back.maps.size(), 2u);
  for (size_t k = 0; k < 2; k++) {
    EXPECT_EQ(back.maps[k].childGid, m.maps[k].childGid);
    EXPECT_EQ(back.maps[k].parentGid, m.maps[k].parentGid);
    for (size_t i = 0; i < m.maps[k].weights.size(); i++) {
      EXPECT_EQ(bits(back.maps[k].weights[i]), bits(m.maps[k].weights[i])) << k << " " << i;
    }
  }
  EXPECT_EQ(modelText(back), text);
  EXPECT_NE(text.find("\ncomponent 0 a%20b%25\ncomponent 1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nsetting MQE0_FILE\nsetting DATAFILE_EXTENSION=\n"), std::string::npos);
  EXPECT_NE(text.find("\nunit 1 1 0 2 3.4028235e+38 0.1\n"), std::string::npos);
  // Random floats of every binade come back bit for bit.
  Model wide = m;
  std::mt19937 random(5);
  for (float& w : wide.maps[1].weights) {
    uint32_t b = random() & 0x7f7fffffu;
    memcpy(&w, &b, sizeof w);
  }
  for (int round = 0; round < 2000; round++) {
    for (float& w : wide.maps[0].weights) {
      uint32_t b = random();
      memcpy(&w, &b, sizeof w);
      if (!std::isfinite(w)) w = 1.0f;
    }
    const Model again = parseModel(modelText(wide), "wide");
    for (size_t i = 0; i < 4; i++) ASSERT_EQ(bits(again.maps[0].weights[i]), bits(wide.maps[0].weights[i]));
  }
}

// A text the reader takes, written again, reads back to that same text: a key whose last byte is a CR (which a
// line end in CR LF would otherwise swallow), a key holding "=" or "%", raw bytes in a name, other spellings of
// numbers, the infinite MQE0 of a run whose squared distances overflowed.
TEST(ModelFile, WhatItAcceptsWritesBackToTheSameText) {
  const std::string text = modelText(sampleModel());
  const std::pair<std::string, std::string> changes[] = {
      {"setting HTML_PREFIX=", "setting KEY\r\r\nsetting HTML_PREFIX="},
      {"setting HTML_PREFIX=", "setting K%3Dy%25=v\r\nsetting HTML_PREFIX="},
      {"setting MQE0_FILE\n", "setting \xc3\xa9\r\r\n"},
      {"component 1\n", "component 1 \xc3\xa9\r\r\n"},
      {"unit 2 0 1 0 16777216 -2.75", "unit 2 0 1 00 1.6777216e7 -2.750"},
      {"mqe0 0.33333334", "mqe0 inf"},
  };
  for (const auto& [from, to] : changes) {
    std::string changed = text;
    changed.replace(changed.find(from), from.size(), to);
    std::string written;
    ASSERT_EQ(refusal([&] { written = modelText(parseModel(changed, "m")); }), "") << to;
    std::string again;
    ASSERT_EQ(refusal([&] { again = modelText(parseModel(written, "written")); }), "") << to;
    EXPECT_EQ(again, written) << to;
  }
  Model keyed = sampleModel();
  keyed.settings.push_back({"a=b\r", "c", true});
  const Model back = parseModel(modelText(keyed), "keyed");
  EXPECT_EQ(back.settings.back().key, "a=b\r");
  EXPECT_EQ(back.settings.back().value, "c");
}

TEST(ModelFile, EveryCutAndAlterationIsRefusedWithOneLine) {
  const std::string text = modelText(sampleModel());
  // Every proper prefix: a model cut anywhere is never taken for a smaller one.
  for (size_t size = 0; size < text.size() - 1; size++) {
    const std::string message = refusal([&] { parseModel(text.substr(0, size), "cut"); });
    ASSERT_FALSE(message.empty()) << "cut after " << size << " bytes";
    ASSERT_EQ(message.find('\n'), std::string::npos) << message;
  }
  EXPECT_EQ(refusal([&] { parseModel(text.substr(0, text.rfind("end")), "cut"); }),
            "model cut ends after line 19, before its \"end\" line (truncated?)");
  const auto altered = [&](const std::string& from, const std::string& to) {
    std::string changed = text;
    const size_t at = changed.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    changed.replace(at, from.size(), to);
    return refusal([&] { parseModel(changed, "m"); });
  };
  const std::pair<std::pair<std::string, std::string>, std::string> cases[] = {
      {{"velmar-model 1", "velmar-model 2"}, "model m is of format version 2; this velmar reads version 1"},
      {{"velmar-model 1", "some-model 1"}, "model m is not a velmar model"},
      {{"components 2", "components 3"}, "model m line 5: \"component\" expected, found \"normalisation\""},
      {{"unit 2 0 1 0 16777216 -2.75", "unit 2 0 1 0 16777216"},
       "model m line 19: \"unit\" takes 6 value(s), the "
       "line holds 5"},
      {{"-2.75", "-2.75x"}, "model m line 19: \"-2.75x\" is not a number"},
      {{"unit 1 0 0 0", "unit 1 0 0 3"}, "model m map 1 unit 0,0: its child map 3 does not exist"},
      {{"map 2 2 1 2 1 1 0", "map 2 2 1 2 2 1 0"}, "model m map 2: its parent map 2 is not listed before it"},
      {{"unit 2 0 0 0", "unit 2 0 0 1"}, "model m map 2 unit 0,0: its child map 1 hangs below another unit"},
      {{"unit 1 1 0 2", "unit 1 1 0 0"}, "model m map 2: unit 1,0 of map 1 does not name it as its child"},
      {{"map 2 2 1 2", "map 2 3 1 2"}, "model m map 2 is not one level below its parent map"},
      {{"unit 2 0 1", "unit 2 1 1"}, "model m line 19: unit column 0 expected, found \"1\""},
      {{"maps 2", "maps  2"}, "model m line 13: fields must be separated by exactly one blank"},
      {{"divisor 1 0", "divisor 1 -1"}, "model m line 7: a divisor is a finite number, 0 or above"},
      {{"a%20b%25", "a%2"}, "model m line 3: \"%\" must be followed by two hexadecimal digits"},
      {{"end\n", "end\nmore\n"}, "model m line 21: text after the end line"},
      {{"normalisation INTERVAL", "normalisation SOME"},
       "model m line 5: normalisation NONE, LENGTH or INTERVAL "
       "expected"},
      // Numbers no run writes: weights that are not finite, an MQE0 below 0 or NaN, whole numbers with a sign.
      {{"-2.75", "nan"}, "model m line 19: \"nan\" is not a finite number"},
      {{"16777216", "-infinity"}, "model m line 19: \"-infinity\" is not a finite number"},
      {{"mqe0 0.33333334", "mqe0 -inf"}, "model m line 8: MQE0 is 0 or above (or infinite), not \"-inf\""},
      {{"mqe0 0.33333334", "mqe0 -1"}, "model m line 8: MQE0 is 0 or above (or infinite), not \"-1\""},
      {{"mqe0 0.33333334", "mqe0 nan"}, "model m line 8: MQE0 is 0 or above (or infinite), not \"nan\""},
      {{"unit 1 0 0 0", "unit 1 0 0 -0"}, "model m line 15: \"-0\" is not a map number"},
      {{"map 2 2 1 2", "map 2 +2 1 2"}, "model m line 17: \"+2\" is not a level"},
      {{"maps 2", "maps 2\t"}, "model m line 13: \"2\\t\" is not a map count"},
  };
  for (const auto& [change, message] : cases) {
    EXPECT_EQ(altered(change.first, change.second), message) << change.first << " -> " << change.second;
  }
  // A map listed twice; a unit of a child map naming the first-layer map as its child (a cycle).
  Model twice = sampleModel();
  twice.maps[1].gid = 1;
  EXPECT_EQ(refusal([&] { parseModel(modelText(twice), "m"); }), "model m lists map 1 twice");
  Model cycle = sampleModel();
  cycle.maps[1].childGid[1] = 1;
  EXPECT_EQ(refusal([&] { parseModel(modelText(cycle), "m"); }),
            "model m map 2 unit 0,1: its child map 1 hangs below another unit");
  // A file ended by CR LF reads as well; a missing file is one line.
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  EXPECT_EQ(refusal([&] { parseModel(crlf, "crlf"); }), "");
  EXPECT_EQ(refusal([] { readModelFile("/nonexistent/model.txt"); }), "model /nonexistent/model.txt not found");
}

// The text as an open file, under a name of this test's own (tests run side by side).
FILE* fileOf(const std::string& text) {
  const std::string name = std::string("lines-") + testing::UnitTest::GetInstance()->current_test_info()->name() + "-" +
                           std::to_string(getpid()) + ".vec";
  return fopen(testsupport::writeTempFile(name, text).c_str(), "rb");
}

// All record lines of a text, a block of `bytes` at a time.
std::vector<std::string> allLines(const std::string& text, size_t bytes, long long& firstLine) {
  VectorLines lines(fileOf(text), "lines.vec", 2);
  VectorLines::Block block;
  std::vector<std::string> got;
  firstLine = 0;
  while (lines.nextBlock(block, bytes)) {
    if (firstLine == 0) firstLine = block.firstLine;
    for (const auto& line : block.lines) got.emplace_back(line.text, line.length);
  }
  return got;
}

TEST(VectorLinesTest, HeaderOrBareLinesInBlocksOfWholeLines) {
  const std::vector<std::string> records = {"1 2 a", "3 4 b c\r", "5 6 ", "7 8 d"};
  std::string bare;
  for (const auto& r : records) bare += r + "\n";
  long long first = 0;
  for (size_t bytes : {1, 3, 7, 1000}) {
    EXPECT_EQ(allLines(bare, bytes, first), records) << bytes;
    EXPECT_EQ(first, 1);
    // The header's count is read as the trainer reads it, and what follows it is ignored.
    EXPECT_EQ(allLines("$TYPE v\n$XDIM  3\n$YDIM 1\n$VEC_DIM 2\n" + bare, bytes, first),
              std::vector<std::string>(records.begin(), records.begin() + 3));
    EXPECT_EQ(first, 5);
    EXPECT_EQ(allLines(bare.substr(0, bare.size() - 1), bytes, first), records);  // no final line end
  }
  EXPECT_EQ(allLines("", 10, first), std::vector<std::string>());
  EXPECT_EQ(allLines("$TYPE v\n$XDIM 0\n$YDIM 1\n$VEC_DIM 2\n1 2 a\n", 10, first), std::vector<std::string>());
  EXPECT_EQ(refusal([&] { allLines("$TYPE v\n$XDIM 3\n$YDIM 1\n$VEC_DIM 3\n1 2 a\n", 10, first); }),
            "input lines.vec has 3 components per vector (header line 4), the model 2");
  EXPECT_EQ(refusal([&] { allLines("$TYPE v\n$XDIM 3\n", 10, first); }),
            "input lines.vec ends within its four header lines");
  // A folder opens for reading but cannot be read.
  EXPECT_EQ(refusal([] { VectorLines(fopen("/", "rb"), "/", 2).start(); }), "input / could not be read");
}

TEST(VectorLinesTest, ParsesARecordAsTheTrainerReadsIt) {
  VectorLines::Lenient lenient;
  bool strict = false;
  const auto parsed = [&](std::string text, std::string& id, std::string& why) {
    float values[3] = {};
    std::string_view view;
    const bool ok = VectorLines::parse({text.data(), text.size()}, 7, 3, strict, values, view, lenient, why);
    id = std::string(view);
    return ok ? std::to_string(values[0]) + " " + std::to_string(values[1]) + " " + std::to_string(values[2]) : "";
  };
  std::string id, why;
  EXPECT_EQ(parsed("1.5 -2 3e2 name with blanks\r", id, why), "1.500000 -2.000000 300.000000");
  EXPECT_EQ(id, "name with blanks\r");
  EXPECT_EQ(parsed("\t1\t 0x10 -0 i", id, why), "1.000000 16.000000 -0.000000");  // numbers, tabs around allowed
  EXPECT_EQ(lenient.count, 0);
  // Not a number: 0, or the number it starts with, as in training; counted, the first one kept.
  EXPECT_EQ(parsed("1 x 3x i", id, why), "1.000000 0.000000 3.000000");
  EXPECT_EQ(parsed("1  2 i", id, why), "1.000000 0.000000 2.000000");
  EXPECT_EQ(lenient.count, 3);
  EXPECT_EQ(std::make_tuple(lenient.line, lenient.component, lenient.text, lenient.value),
            std::make_tuple(7LL, 2, std::string("x"), 0.0f));
  strict = true;
  EXPECT_EQ(parsed("1 2x 3 i", id, why), "");
  EXPECT_EQ(why, ", component 2: \"2x\" is not a number");
  EXPECT_EQ(parsed("1 2 3", id, why), "");
  EXPECT_EQ(why, "has no identifier (each value is followed by one blank, then comes the identifier)");
  for (const char* empty : {"1 2 3 ", "1 2 3 \r"}) {
    EXPECT_EQ(parsed(empty, id, why), "");
    EXPECT_EQ(why, "has no identifier (each value is followed by one blank, then comes the identifier)");
  }
  EXPECT_EQ(parsed("1 2 id", id, why), "");
  EXPECT_EQ(why, "holds 2 values, the model has 3 components");
  EXPECT_EQ(parsed("", id, why), "");
  EXPECT_EQ(why, "holds 0 values, the model has 3 components");
  EXPECT_EQ(parsed("1 nan 3 v\r", id, why), "");
  EXPECT_EQ(why, "(v\\r) holds a value that is not a finite number");
  EXPECT_EQ(parsed(std::string("1 2 3 a\0b", 9), id, why), "");  // never cut short
  EXPECT_EQ(why, "(a\\x00b) holds a NUL byte in its identifier");
}

std::string streamFile() { return testsupport::writeTempFile("stream-" + std::to_string(getpid()) + ".csv", ""); }
std::string streamName() {
  static const std::string name = streamFile();
  return name;
}
// What the last mapping wrote, also when it failed.
std::string lastWritten() {
  std::ifstream in(streamName());
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The bytes the stream writes for `input` through `model`.
std::string mapped(const Model& model, const std::string& input, int threads, bool oneAtATime) {
  const MappingModel prepared(model);
  const std::string name = streamName();
  {
    OutputFile out(name, "test output");
    Workers team(threads);
    MapStream stream(prepared, team, out);
    VectorLines lines(fileOf(input), "lines.vec", 2);
    if (oneAtATime) {
      stream.run(static_cast<RecordSource&>(lines));
    } else {
      stream.run(lines);
    }
    out.close();
  }
  std::ifstream in(name);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A first-layer map of units (0, 0) and (10, 10), the second with a child map of units (9, 9) and (11, 12).
Model twoLevelModel() {
  Model model;
  model.componentNames = {"x", "y"};
  model.maps = {{1, 1, 2, 1, 0, 0, 0, {0, 2}, {0, 0, 10, 10}}, {2, 2, 1, 2, 1, 1, 0, {0, 0}, {9, 9, 11, 12}}};
  return model;
}

// Every count of vectors is cut into chunks for the threads, the last one often uneven: each vector's line is
// the one it gets alone, worked out here by hand, whatever the count, the threads or the source.
TEST(MapStreamTest, EveryVectorOfEveryPieceIsMappedOnce) {
  const auto line = [](int x, int y, int k) {
    const auto d = [&](int ux, int uy) { return (x - ux) * (x - ux) + (y - uy) * (y - uy); };
    const std::string id = "id" + std::to_string(k);
    if (d(0, 0) <= d(10, 10)) return id + ",1,1,0,0," + std::to_string(d(0, 0)) + ",\"0,0\"\r\n";
    const bool first = d(9, 9) <= d(11, 12);
    return id + ",2,2,0," + (first ? "0," : "1,") + std::to_string(first ? d(9, 9) : d(11, 12)) + ",\"1,0/0," +
           (first ? "0" : "1") + "\"\r\n";
  };
  for (int count : {1, 255, 257, 4095, 4097, 5001}) {
    std::string input, expected;
    for (int k = 0; k < count; k++) {
      const int x = k * 7 % 23 - 3;
      const int y = k * 5 % 17;
      input += std::to_string(x) + " " + std::to_string(y) + " id" + std::to_string(k) + "\n";
      expected += line(x, y, k);
    }
    for (int threads : {1, 2, 7}) {
      EXPECT_EQ(mapped(twoLevelModel(), input, threads, false), expected) << count << " on " << threads;
      EXPECT_EQ(mapped(twoLevelModel(), input, threads, true), expected) << count << " on " << threads;
    }
  }
}

TEST(MapStreamTest, SameBytesOnEveryThreadCountAndFromEverySource) {
  const Model model = twoLevelModel();
  std::string input;
  for (int i = 0; i < 3000; i++) {
    input += std::to_string(i % 7 * 2) + " " + std::to_string(i % 5 * 3) + " id" + std::to_string(i) + "\n";
  }
  const std::string one = mapped(model, input, 1, false);
  // (0, 0) is unit 0,0 itself; (2, 3) lies nearer to it than to (10, 10); (10, 6) goes to (10, 10), then to (9, 9).
  EXPECT_EQ(one.substr(0, one.find("\r\n", one.find("\r\n") + 2) + 2),
            "id0,1,1,0,0,0,\"0,0\"\r\nid1,1,1,0,0,13,\"0,0\"\r\n");
  EXPECT_NE(one.find("\r\nid12,2,2,0,0,10,\"1,0/0,0\"\r\n"), std::string::npos);
  EXPECT_EQ(std::count(one.begin(), one.end(), '\n'), 3000);
  for (int threads : {2, 7}) EXPECT_EQ(mapped(model, input, threads, false), one) << threads;
  EXPECT_EQ(mapped(model, input, 3, true), one);
  // A bad line far into the input: the lines of every vector before it are written, whatever the threads.
  std::string bad = input;
  size_t at = 0;
  for (int k = 0; k < 2000; k++) at = bad.find('\n', at) + 1;
  bad.insert(at, "1 x\n");
  const std::string before = one.substr(0, [&] {
    size_t end = 0;
    for (int k = 0; k < 2000; k++) end = one.find('\n', end) + 1;
    return end;
  }());
  for (int threads : {1, 7}) {
    std::string written;
    EXPECT_EQ(refusal([&] { written = mapped(model, bad, threads, false); }),
              "input lines.vec line 2001 holds 1 value, the model has 2 components");
    EXPECT_EQ(lastWritten(), before) << threads;
  }
}

}  // namespace
