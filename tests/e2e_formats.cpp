// The other input formats train the very hierarchy of the input-vector file holding the same numbers: the iris
// table against iris.vec, sparse vectors against their dense file, byte for byte in every output (apart from where
// the input file's name is written and the clock), and bad input is refused before anything is written.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <sstream>

#include "e2e_support.h"

namespace {

std::string readExample(const std::string& name) {
  std::ifstream in(std::string(VELMAR_EXAMPLES) + "/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

const std::string kIrisSettings =
    "savePath=out\nnormInputVectors=INTERVAL\nTAU_1=0.03\nTAU_2=0.02\nsaveAsCartix=true\nsaveOverview=true\n"
    "saveAssignments=true\nprintMQE=true\n";

// What may differ between two runs on the same numbers: the echo of the property file, the processor time, the
// clock and the input file's name.
std::string comparable(const std::string& name, const std::string& text) {
  static const std::regex dropped(
      "(\\$STORAGE_DATE|\\$TRAINING_TIME|\\$URL_TRAINING_VEC|\\$URL_MAPPED_INPUT_VEC) [^\\n]*\\n"
      "|<tr><th>(Input file|Training time)</th><td>[^<]*</td></tr>");
  if (name != "console") return std::regex_replace(text, dropped, "");
  const size_t added = text.find("added "), bell = text.find('\a');
  if (added == std::string::npos || bell == std::string::npos) return text;
  const size_t timeLine = text.rfind('\n', bell - 2) + 1;
  return text.substr(added, timeLine - added) + text.substr(bell);
}

// Runs the trainer in a fresh folder holding `files`, with `props`; the status and every output, comparable.
std::map<std::string, std::string> trainOn(const std::map<std::string, std::string>& files, const std::string& props) {
  e2e::Folder f;
  for (const auto& [name, text] : files) f.write(name, text);
  f.write("run.prop", props);
  f.mkdir("out");
  const e2e::Run run = f.run("run.prop");
  std::map<std::string, std::string> outputs{{"console", comparable("console", run.out)},
                                             {"status", std::to_string(run.status)}};
  for (const std::string& name : f.list("out")) outputs[name] = comparable(name, f.read("out/" + name));
  return outputs;
}

void expectSameOutputs(const std::map<std::string, std::string>& got, const std::map<std::string, std::string>& want) {
  ASSERT_EQ(want.at("status"), "0") << want.at("console");
  EXPECT_GT(want.size(), 10u);
  std::set<std::string> gotNames, wantNames;
  for (const auto& entry : got) gotNames.insert(entry.first);
  for (const auto& entry : want) wantNames.insert(entry.first);
  ASSERT_EQ(gotNames, wantNames) << got.at("console");
  for (const auto& [name, text] : want) {
    EXPECT_TRUE(got.at(name) == text)
        << name << " differs from byte "
        << std::mismatch(text.begin(), text.end(), got.at(name).begin(), got.at(name).end()).first - text.begin();
  }
}

// The iris table of examples/ as it is, and written the other way round: semicolons, CR LF, a byte-order mark,
// the identifiers quoted and last (named by idColumn), numbers quoted or with blanks around them, and a
// description file that names the same columns.
TEST(Formats, TheIrisTableTrainsTheHierarchyOfTheVectorFile) {
  const std::string vec = readExample("iris.vec"), tv = readExample("iris.tv"), csv = readExample("iris.csv");
  const auto want =
      trainOn({{"iris.vec", vec}, {"iris.tv", tv}}, "inputFile=iris.vec\ndescriptionFile=iris.tv\n" + kIrisSettings);
  expectSameOutputs(trainOn({{"iris.csv", csv}}, "inputFile=iris.csv\ninputFormat=csv\n" + kIrisSettings), want);

  std::istringstream rows(csv);
  std::string other = "\xEF\xBB\xBFsepal_length;sepal_width;petal_length;petal_width;name\r\n", row;
  std::getline(rows, row);
  for (int n = 0; std::getline(rows, row); n++) {
    std::vector<std::string> fields;
    std::istringstream split(row);
    for (std::string field; std::getline(split, field, ',');) fields.push_back(field);
    const std::string first = n % 3 == 0 ? "\"" + fields[1] + "\"" : n % 3 == 1 ? " " + fields[1] + "\t" : fields[1];
    other += first + ";" + fields[2] + ";" + fields[3] + ";" + fields[4] + ";\"" + fields[0] + "\"\r\n";
  }
  expectSameOutputs(trainOn({{"iris.semi", other}, {"iris.tv", tv}},
                            "inputFile=iris.semi\ninputFormat=csv\nseparator=;\nidColumn=name\n"
                            "descriptionFile=iris.tv\n" +
                                kIrisSettings),
                    want);
}

// Vectors of `components` components (then zeros up to `written`), about half of them 0; as an input-vector file and as
// sparse lines (one zero written out, which changes nothing).
struct Collection {
  std::string dense, sparse;
};
Collection collection(int vectors, int components, int written) {
  Collection c{
      "$TYPE vectors\n$XDIM " + std::to_string(vectors) + "\n$YDIM 1\n$VEC_DIM " + std::to_string(written) + "\n", ""};
  char value[32];
  for (int i = 0; i < vectors; i++) {
    const std::string id = "doc" + std::to_string(i);
    c.sparse += id;
    for (int k = 0; k < written; k++) {
      const bool zero = k >= components || ((i + k) % 3 != 0 && (i * 7 + k) % 5 != 0);
      snprintf(value, sizeof value, "%.3f", zero ? 0.0 : 1.0 + std::fabs(std::sin(3.0 * i + k)) * (1 + i % 4));
      c.dense += (zero ? "0" : std::string(value)) + " ";
      if (!zero) c.sparse += " " + std::to_string(k + 1) + ":" + value;
      if (i == 5 && k == 2) c.sparse += " 3:0";
    }
    c.dense += id + "\n";
    c.sparse += "\n";
  }
  return c;
}

std::string description(int components, bool numbered) {
  std::string text = "$TYPE template\n$XDIM 3\n$YDIM 1\n$VEC_DIM " + std::to_string(components) + "\n";
  for (int k = 0; k < components; k++) {
    text += std::to_string(k) + " " + (numbered ? std::to_string(k + 1) : "term" + std::to_string(k)) + " x\n";
  }
  return text;
}

// With names from a description file, and without: then the components are named by their numbers and the
// components setting counts two more than the largest index (two components 0 throughout).
TEST(Formats, SparseVectorsTrainTheHierarchyOfTheirDenseFile) {
  const std::string settings =
      "savePath=out\nnormInputVectors=LENGTH\nTAU_1=0.1\nTAU_2=0.02\nsaveAsCartix=true\nsaveOverview=true\n"
      "saveAssignments=true\nLABELS_NUM=3\n";
  const Collection named = collection(90, 12, 12);
  expectSameOutputs(trainOn({{"docs.sparse", named.sparse}, {"docs.tv", description(12, false)}},
                            "inputFile=docs.sparse\ninputFormat=sparse\ndescriptionFile=docs.tv\n" + settings),
                    trainOn({{"docs.vec", named.dense}, {"docs.tv", description(12, false)}},
                            "inputFile=docs.vec\ndescriptionFile=docs.tv\n" + settings));

  const Collection wider = collection(90, 12, 14);
  expectSameOutputs(
      trainOn({{"docs.sparse", wider.sparse}}, "inputFile=docs.sparse\ninputFormat=sparse\ncomponents=14\n" + settings),
      trainOn({{"docs.vec", wider.dense}, {"docs.tv", description(14, true)}},
              "inputFile=docs.vec\ndescriptionFile=docs.tv\n" + settings));
}

// A refusal is one line and status 1, before any file is written; the examples of the README run.
TEST(Formats, BadInputIsRefusedBeforeAnyFileAndTheExamplesRun) {
  e2e::Folder f;
  f.mkdir("out");
  f.write("bad.csv", "id,a,b\nx,1,2\ny,3,\n");
  f.write("run.prop", "inputFile=bad.csv\ninputFormat=csv\nsavePath=out\nsaveAsCartix=true\n");
  const e2e::Run run = f.run("run.prop");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.substr(run.out.find("added x")),
            "added x\ninputfile bad.csv, line 3, column 3 (b): the field is empty: a value is missing "
            "(check inputfile)\n");
  EXPECT_TRUE(f.list("out").empty());

  for (const char* example : {"iris_csv.prop", "docs.prop"}) {
    e2e::Folder g;
    for (const char* name : {"iris.csv", "docs.sparse", "docs.tv", example}) g.write(name, readExample(name));
    g.mkdir("output");
    const e2e::Run ok = g.run(example);
    EXPECT_EQ(ok.status, 0) << ok.out;
    EXPECT_FALSE(g.list("output", "_overview.html").empty()) << example;
  }
}

}  // namespace
