// velmar --map against input that is not what it should be: what it writes, warns of and refuses, and that a
// refusal leaves every file as it was.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

using namespace std::string_literals;

const std::string kHeader = "id,map,level,column,row,distance,path\r\n";

// n rows of three components in three clusters, as a data frame with its index writes them: an empty first
// header cell, the row numbers below it.
std::string frame(int n) {
  std::string text = ",alpha,beta,gamma\n";
  for (int i = 0; i < n; i++) {
    text += std::to_string(i);
    for (int k = 0; k < 3; k++) text += "," + std::to_string(4.0 * (k == i % 3) + std::sin(3.0 * i + k));
    text += "\n";
  }
  return text;
}

// Trains on t.csv (frame(150)) with the given normalisation; the model is out/map_model.txt.
void train(const e2e::Folder& f, const std::string& norm) {
  f.write("t.csv", frame(150));
  f.mkdir("out");
  f.write("run.prop",
          "inputFile=t.csv\ninputFormat=csv\nsavePath=out\nsaveAsHTML=false\nsaveAssignments=true\n"
          "saveModel=true\nTAU_1=0.3\nTAU_2=0.05\nnormInputVectors=" +
              norm + "\n");
  ASSERT_EQ(f.run("run.prop").status, 0);
}

// Maps `input` (standard input) with the arguments after the model.
e2e::Run mapped(const e2e::Folder& f, const std::string& input, const std::string& args) {
  f.write("input", input);
  return f.run("--map out/map_model.txt " + args, 60, "input");
}

// The index is the identifier column, in training and in mapping: the training input maps back to its run.
TEST(MapHostile, ADataFramesIndexColumnHoldsTheIdentifiers) {
  e2e::Folder f;
  train(f, "NONE");
  const std::string expected = f.read("out/map_assignments.csv");
  EXPECT_EQ(expected.substr(kHeader.size(), 2), "0,");
  EXPECT_NE(expected.find("\r\n149,"), std::string::npos);
  EXPECT_EQ(f.run("--map out/map_model.txt t.csv").out, expected);
}

// Creating the output would destroy the input or the model, whichever name or stream stands for it: refused
// before anything is created. So is input of another format, and the output named stays as it was.
TEST(MapHostile, AnOutputThatIsTheInputIsRefusedBeforeAnythingIsWritten) {
  e2e::Folder f;
  train(f, "NONE");
  const std::string table = f.read("t.csv");
  const std::string model = f.read("out/map_model.txt");
  ASSERT_EQ(link(f.path("t.csv").c_str(), f.path("link.csv").c_str()), 0);
  f.write("keep.csv", "mine\n");
  const std::string itself = "output t.csv is the model or the input file itself\n";
  const std::string standard = "standard output is the model or the input file itself\n";
  struct {
    std::string args, input, err;
  } cases[] = {
      {"- t.csv", "t.csv", itself},
      {"- ./t.csv", "t.csv", "output ./t.csv is the model or the input file itself\n"},
      {"- " + f.path("t.csv"), "t.csv", "output " + f.path("t.csv") + " is the model or the input file itself\n"},
      {"- t.csv", "link.csv", itself},
      {"t.csv >>t.csv", "/dev/null", standard},
      {">>t.csv", "t.csv", standard},
      {"t.csv >>out/map_model.txt", "/dev/null", standard},
      {"t.csv keep.csv --format sparse", "/dev/null",
       "input t.csv is not sparse vectors: none of its first 151 "
       "lines lists an index:value pair (--format names the input's "
       "format)\n"},
  };
  for (const auto& c : cases) {
    const e2e::Run r = f.run("--map out/map_model.txt " + c.args, 60, c.input);
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_EQ(f.read("stderr"), c.err) << c.args;
    EXPECT_EQ(f.read("t.csv"), table) << c.args;
    EXPECT_EQ(f.read("out/map_model.txt"), model) << c.args;
    EXPECT_EQ(f.read("keep.csv"), "mine\n") << c.args;
  }
  // Devices are no files to destroy: /dev/null as input and output is no error.
  EXPECT_EQ(f.run("--map out/map_model.txt - /dev/null --format vectors").status, 0);
}

// In every format the lines of the vectors before a bad one are written; messages stay one line, whatever
// control characters the input holds, and an identifier with a NUL byte is refused, never cut short.
TEST(MapHostile, TheLinesBeforeABadLineAreWrittenInEveryFormat) {
  e2e::Folder f;
  train(f, "NONE");
  const std::string good = mapped(f, "id,alpha,beta,gamma\na,1,2,3\nb,1,2,3\n", "").out;
  ASSERT_EQ(e2e::count(good, "\r\n"), 3);
  const std::string at = "inputfile -, line ";
  struct {
    std::string input, args, err, out;
  } cases[] = {
      {"id,alpha,beta,gamma\na,1,2,3\nb,1,2,3\nc,1,,3\n", "",
       at + "4, column 3 (beta): the field is empty: a value is missing (check inputfile)\n", good},
      {"id,alpha,beta,gamma\na,1,2,3\nb,1,2,3\nc\0d,1,2,3\n"s, "--threads 2",
       at + "4, column 1 (id): the identifier \"c\\x00d\" holds a NUL byte (check inputfile)\n", good},
      {"a 1:1 2:2 3:3\nb 1:1 2:2 3:3\nc 1:1 2:x\n", "--format sparse",
       at + "3, column 9: \"x\" is not a number (check inputfile)\n", good},
      {"1 2 3 a\n1 2 3 b\n1 2 3 \n", "--format vectors",
       "standard input line 3 has no identifier (each value is followed by one blank, then comes the "
       "identifier)\n",
       good},
      {"1 2 3 a\n1 2 3 b\n1 2 3 c\0d\n"s, "--format vectors",
       "standard input line 3 (c\\x00d) holds a NUL byte in its identifier\n", good},
      {"id,alpha,\"be\nta\",gamma\na,1,2,3\n", "",
       "input -: the value columns (alpha,be\\nta,gamma) are not the model's components (alpha,beta,gamma)\n", ""},
  };
  for (const auto& c : cases) {
    const e2e::Run r = mapped(f, c.input, c.args);
    EXPECT_EQ(r.status, 1) << c.input;
    EXPECT_EQ(f.read("stderr"), c.err) << c.input;
    EXPECT_EQ(r.out, c.out) << c.input;
  }
}

// Values that are not numbers read as training reads them (0, or the number they start with), with one warning
// for the whole input that names the first of them, on any number of threads; --strict refuses the first.
TEST(MapHostile, ValuesThatAreNotNumbersAreReadAsInTrainingWithAWarning) {
  e2e::Folder f;
  train(f, "NONE");
  const std::string read = mapped(f, "1 0 2 a\n1 2 3 c\n", "--format vectors").out;
  e2e::Run r = mapped(f, "1 abc 2 a\n1x 2y 3z c\n", "--format vectors");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, read);
  EXPECT_EQ(f.read("stderr"),
            "velmar: warning: standard input line 1, component 2: \"abc\" read as 0; 3 values "
            "like it\n");
  r = mapped(f, "1 abc 2 a\n1x 2y 3z c\n", "--format vectors --strict");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, kHeader);
  EXPECT_EQ(f.read("stderr"), "standard input line 1, component 2: \"abc\" is not a number\n");
  // Far into an input of many blocks' chunks, the first in input order is named.
  std::string lines = "$TYPE vectors\n$XDIM 3000\n$YDIM 1\n$VEC_DIM 3\n";
  for (int i = 0; i < 3000; i++) {
    lines += (i == 1495   ? "1 q 3"
              : i == 2900 ? "1x 2 3"
                          : std::to_string(i % 4) + " 2 3") +
             " v" + std::to_string(i) + "\n";
  }
  f.write("data.vec", lines);
  const std::string first =
      "velmar: warning: input data.vec line 1500, component 2: \"q\" read as 0; 1 value like "
      "it\n";
  for (const char* threads : {"1", "7"}) {
    EXPECT_EQ(f.run("--map out/map_model.txt data.vec --format vectors --threads "s + threads).status, 0);
    EXPECT_EQ(f.read("stderr"), first) << threads;
  }
  // Input that is all numbers maps to the same bytes under --strict, without a word.
  r = mapped(f, "1 0 2 a\n1 2 3 c\n", "--format vectors --strict");
  EXPECT_EQ(r.out + f.read("stderr"), read);
}

// LENGTH cannot scale a vector whose sum of squares overflows or underflows float: it is refused with its line
// after the lines before it; a vector of zeros and vectors near either limit map as before.
TEST(MapHostile, VectorsWhoseLengthFloatCannotFormAreRefused) {
  e2e::Folder f;
  train(f, "LENGTH");
  const std::string good = mapped(f, "1 2 3 a\n1e19 0 0 b\n0 0 0 z\n1e-18 0 1e-18 s\n", "--format vectors").out;
  ASSERT_EQ(e2e::count(good, "\r\n"), 5) << f.read("stderr");
  const std::string beyond =
      "cannot be scaled to length 1 (LENGTH): the sum of its squares lies beyond the float "
      "range\n";
  struct {
    std::string input, args, err;
  } cases[] = {
      {"1 2 3 a\n1e19 0 0 b\n0 0 0 z\n1e-18 0 1e-18 s\n2e19 0 0 c\n", "--format vectors",
       "standard input line 5 (c) " + beyond},
      {"1 2 3 a\n1e19 0 0 b\n0 0 0 z\n1e-18 0 1e-18 s\n0 1e-23 0 d\n", "--format vectors --threads 3",
       "standard input line 5 (d) cannot be scaled to length 1 (LENGTH): the sum of its squares lies below the "
       "normal float range\n"},
      {"id,alpha,beta,gamma\na,1,2,3\nb,1e19,0,0\nz,0,0,0\ns,1e-18,0,1e-18\nc,0,0,-3e19\n", "--format csv",
       "standard input line 6 (c) " + beyond},
  };
  for (const auto& c : cases) {
    const e2e::Run r = mapped(f, c.input, c.args);
    EXPECT_EQ(r.status, 1) << c.input;
    EXPECT_EQ(f.read("stderr"), c.err) << c.input;
    EXPECT_EQ(r.out, good) << c.input;
  }
}

// Through a model of sparse vectors, a table holds no index:value pair: refused (above). Lines without one among
// sparse vectors are vectors of zeros, counted in a warning at the end.
TEST(MapHostile, SparseLinesWithoutAPairAreCounted) {
  e2e::Folder f;
  std::string sparse;
  for (int i = 0; i < 60; i++) {
    sparse += "s" + std::to_string(i) + " " + std::to_string(1 + i % 3) + ":" + std::to_string(1 + i % 7) + "\n";
  }
  f.write("t.sparse", sparse);
  f.mkdir("out");
  f.write("run.prop",
          "inputFile=t.sparse\ninputFormat=sparse\ncomponents=3\nsavePath=out\nsaveAsHTML=false\n"
          "saveModel=true\nTAU_1=0.5\n");
  ASSERT_EQ(f.run("run.prop").status, 0);
  const e2e::Run r = mapped(f, "a 1:1\nb\nc 2:1\nd\n", "");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(e2e::count(r.out, "\r\n"), 5);
  EXPECT_EQ(f.read("stderr"),
            "velmar: warning: standard input: 2 lines list no index:value pair and were read as "
            "vectors of zeros (the first on line 2)\n");
}

}  // namespace
