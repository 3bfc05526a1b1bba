// velmar --map: the model a run saves maps the run's own input back to the very bytes of its assignments file,
// on any number of threads and cut into pieces; bad models and bad input end with one line on standard error.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "e2e_support.h"

namespace {

// n vectors of six components around five centres, a few of them far from the rest.
std::string clusters(int n) {
  std::string text = "$TYPE vectors\n$XDIM " + std::to_string(n) + "\n$YDIM 1\n$VEC_DIM 6\n";
  for (int i = 0; i < n; i++) {
    for (int k = 0; k < 6; k++) {
      const double centre = ((i % 5) * 7 + k * 3) % 11;
      text += std::to_string(centre + 2.5 * std::sin(1.7 * i + 0.9 * k) + (i % 97 == 3 ? 40.0 : 0.0)) + " ";
    }
    text += "v" + std::to_string(i) + (i % 50 == 7 ? ", \"odd\" one" : "") + "\n";
  }
  return text;
}
const char* kNames = "h\nh\nh\nh\n0 a x\n1 b x\n2 c x\n3 d x\n4 e x\n5 f x\n";
const std::string kHeader = "id,map,level,column,row,distance,path\r\n";

// Trains on data.vec with the assignments file and the model; the standard output of the run.
std::string train(const e2e::Folder& f, const std::string& data, const std::string& settings) {
  f.write("data.vec", data);
  f.write("data.tv", kNames);
  f.mkdir("out");
  f.write("run.prop",
          "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\nsaveAsHTML=false\n"
          "saveAssignments=true\nsaveModel=true\nrandomSeed=3\n" +
              settings);
  const e2e::Run r = f.run("run.prop");
  EXPECT_EQ(r.status, 0) << r.out;
  return r.out;
}

TEST(MapCommand, MapsTheTrainingInputToTheRunsAssignmentsWithEveryNormalisation) {
  for (const char* norm : {"NONE", "LENGTH", "INTERVAL"}) {
    for (const char* orientation : {"false", "true"}) {
      e2e::Folder f;
      const std::string out =
          train(f, clusters(600),
                std::string("TAU_1=0.1\nTAU_2=0.01\nnormInputVectors=") + norm + "\nORIENTATION=" + orientation + "\n");
      const std::string where = std::string(norm) + " ORIENTATION=" + orientation;
      // The model is the last file, announced like every other; nothing is left under a temporary name.
      EXPECT_NE(out.find("saving out/map_assignments.csv\nsaving out/map_model.txt\n\a"), std::string::npos) << where;
      EXPECT_EQ(f.list("out"), (std::set<std::string>{"map_assignments.csv", "map_model.txt"})) << where;
      EXPECT_GE(e2e::count(f.read("out/map_model.txt"), "\nmap "), 4) << where;
      const std::string expected = f.read("out/map_assignments.csv");
      for (int threads : {1, 2, 7}) {
        const e2e::Run r = f.run("--map out/map_model.txt data.vec mapped.csv --threads " + std::to_string(threads));
        EXPECT_EQ(r.status, 0) << where;
        EXPECT_EQ(r.out + f.read("stderr"), "") << where;
        EXPECT_EQ(f.read("mapped.csv"), expected) << where << ", " << threads << " threads";
      }
      // Standard input and output are the defaults.
      EXPECT_EQ(f.run("--map out/map_model.txt", 60, "data.vec").out, expected) << where;
    }
  }
}

// A vector whose distances to every unit of a map overflow the float range goes, in training, to the unit of the
// vector before it in that map; mapped in one stream the training input gets the same units, on every thread count.
TEST(MapCommand, VectorsBeyondTheFloatRangeTakeTheUnitOfTheVectorBefore) {
  std::string data = clusters(300);
  for (int line : {0, 41, 42, 200, 299}) {
    size_t at = 0;
    for (int k = 0; k < 4 + line; k++) at = data.find('\n', at) + 1;
    data.replace(at, data.find(' ', at) - at, line % 2 ? "1e20" : "-3e19");
  }
  e2e::Folder f;
  train(f, data, "TAU_1=0.1\nTAU_2=0.01\nMAX_CYCLES=30\n");
  const std::string expected = f.read("out/map_assignments.csv");
  EXPECT_GE(e2e::count(expected, ",inf,"), 2);
  for (const char* threads : {"1", "7"}) {
    EXPECT_EQ(f.run(std::string("--map out/map_model.txt data.vec --threads ") + threads).out, expected);
  }
}

// The command is an order-preserving filter: pieces cut at any lines, mapped apart (the header line of the CSV
// left out after the first) and joined, are one run's bytes; so is an input whose last line has no line end.
TEST(MapCommand, PiecesCutAtAnyLineMapToTheSameBytes) {
  e2e::Folder f;
  train(f, clusters(500), "TAU_1=0.1\nTAU_2=0.01\n");
  const std::string data = f.read("data.vec");
  const std::string whole = f.run("--map out/map_model.txt data.vec").out;
  ASSERT_EQ(e2e::count(whole, "\r\n"), 501);
  std::vector<size_t> cuts = {0};
  for (int line : {4, 5, 37, 38, 250, 503}) {  // after the header, twice in a row, one before the last line
    size_t at = 0;
    for (int k = 0; k < line; k++) at = data.find('\n', at) + 1;
    cuts.push_back(at);
  }
  cuts.push_back(data.size());
  std::string joined;
  for (size_t p = 0; p + 1 < cuts.size(); p++) {
    f.write("piece", data.substr(cuts[p], cuts[p + 1] - cuts[p]));
    const e2e::Run r = f.run(std::string("--map out/map_model.txt") + (p > 0 ? " --no-header" : ""), 60, "piece");
    EXPECT_EQ(r.status, 0) << "piece " << p;
    joined += r.out;
  }
  EXPECT_EQ(joined, whole);
  f.write("unended.vec", data.substr(0, data.size() - 1));
  EXPECT_EQ(f.run("--map out/map_model.txt unended.vec").out, whole);
}

// Standard error on a terminal gets a status line, erased at the end and before a failure's message; the
// mapped lines stay the same.
TEST(MapCommand, TheProgressLineGoesOnlyToATerminalOfItsOwn) {
  e2e::Folder f;
  train(f, clusters(300), "TAU_1=0.1\nTAU_2=0.02\n");
  std::string seen;
  ASSERT_EQ(f.run("--map out/map_model.txt data.vec shown.csv", 60, "/dev/null", &seen).status, 0);
  EXPECT_EQ(seen, "\r\033[K300 vectors mapped" + seen.substr(seen.find(" (")));
  EXPECT_EQ(seen.substr(seen.size() - 4), "\r\033[K");
  ASSERT_EQ(f.run("--map out/map_model.txt data.vec plain.csv").status, 0);
  EXPECT_EQ(f.read("stderr"), "");
  EXPECT_EQ(f.read("shown.csv"), f.read("plain.csv"));
  // A bad line: what was mapped before it, then the line erased and the message alone on its line.
  std::istringstream data(f.read("data.vec"));
  std::string head, line;
  for (int k = 0; k < 4 + 7 && std::getline(data, line); k++) head += line + "\n";
  f.write("bad.vec", head + "not a vector\n");
  const e2e::Run bad = f.run("--map out/map_model.txt bad.vec bad.csv", 60, "/dev/null", &seen);
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(seen.find("\r\033[K7 vectors mapped"), std::string::npos) << seen;
  EXPECT_NE(seen.find("\r\033[Kinput bad.vec line "), std::string::npos) << seen;
}

TEST(MapCommand, BadModelsAndInputEndWithOneLineOnStandardError) {
  e2e::Folder f;
  train(f, clusters(200), "TAU_1=0.1\nTAU_2=0.02\n");
  const std::string model = f.read("out/map_model.txt");
  const std::string data = f.read("data.vec");
  f.write("half.txt", model.substr(0, model.size() / 2));
  f.write("v2.txt", "velmar-model 2" + model.substr(model.find('\n')));
  std::string altered = model;
  const size_t weight = altered.find("\nunit 1 0 0 ");
  altered.replace(altered.find(' ', weight + 12), 1, " x");
  f.write("altered.txt", altered);
  // A unit without a child map made to name one that does not exist.
  std::smatch leaf;
  ASSERT_TRUE(std::regex_search(model, leaf, std::regex("\nunit (\\d+) (\\d+) (\\d+) 0 ")));
  std::string orphan = model;
  orphan.replace(static_cast<size_t>(leaf.position(0) + leaf.length(0) - 2), 1, "99");
  f.write("orphan.txt", orphan);
  const std::string orphanMessage = "model orphan.txt map " + leaf.str(1) + " unit " + leaf.str(2) + "," + leaf.str(3) +
                                    ": its child map 99 does not exist\n";
  const std::string body = data.substr(data.find("\n", data.find("$VEC_DIM")) + 1);
  const std::string first = body.substr(0, body.find('\n') + 1);
  f.write("dims.vec", "$TYPE vectors\n$XDIM 2\n$YDIM 1\n$VEC_DIM 4\n" + first);
  f.write("short.vec", first + first + "1.5 2.5 v3\n" + first);
  f.write("noid.vec", first + "1 2 3 4 5 6\n");
  f.write("inf.vec", first + "1 2 3 1e39 5 6 far away\n");
  f.write("blank.vec", first + "1 2 3 4 5 6 \n");
  f.write("empty.vec", "");
  f.write("first.vec", first);
  const std::string one = f.run("--map out/map_model.txt first.vec --no-header").out;  // the lines before a bad one
  ASSERT_EQ(e2e::count(one, "\r\n"), 1);
  struct {
    std::string args, err, out;
  } cases[] = {
      {"--map nosuch.txt data.vec", "model nosuch.txt not found\n", ""},
      {"--map half.txt data.vec", "(truncated?)", ""},
      {"--map v2.txt data.vec", "model v2.txt is of format version 2; this velmar reads version 1\n", ""},
      {"--map altered.txt data.vec", "is not a number\n", ""},
      {"--map orphan.txt data.vec", orphanMessage, ""},
      {"--map out/map_model.txt nosuch.vec", "input nosuch.vec not found\n", ""},
      {"--map out/map_model.txt dims.vec", "input dims.vec has 4 components per vector (header line 4), the model 6\n",
       ""},
      {"--map out/map_model.txt short.vec --no-header",
       "input short.vec line 3 holds 2 values, the model has 6 "
       "components\n",
       one + one},
      {"--map out/map_model.txt noid.vec --no-header",
       "input noid.vec line 2 has no identifier (each value is "
       "followed by one blank, then comes the identifier)\n",
       one},
      {"--map out/map_model.txt inf.vec --no-header",
       "input inf.vec line 2 (far away) holds a value that is not a finite number\n", one},
      {"--map out/map_model.txt blank.vec --no-header", "input blank.vec line 2 has no identifier", one},
      {"--map out/map_model.txt data.vec --separator ';'",
       "velmar --map: --separator lays out a table (csv), but the input is read as vectors (usage: ", ""},
      {"--map out/map_model.txt data.vec --format sparse --id-column id",
       "velmar --map: --id-column lays out a table (csv), but the input is read as sparse vectors (usage: ", ""},
      {"--map",
       "velmar --map: no model given (usage: velmar --map MODEL [INPUT [OUTPUT]] [--threads N] "
       "[--no-header] [--format vectors|csv|sparse] [--separator ,|;|tab] [--id-column NAME] [--strict])\n",
       ""},
      {"--map out/map_model.txt --threads", "velmar --map: --threads needs a number", ""},
      {"--map out/map_model.txt --threads -1", "--threads takes a number from 0 (every core) to 1024, not \"-1\"", ""},
      {"--map out/map_model.txt --threads 1025", "not \"1025\"", ""},
      {"--map out/map_model.txt --fast", "velmar --map: unknown option --fast", ""},
      {"--map out/map_model.txt a b c", "velmar --map: too many file names", ""},
      {"--map out/map_model.txt data.vec data.vec", "output data.vec is the model or the input file itself\n", ""},
  };
  for (const auto& c : cases) {
    const e2e::Run r = f.run(c.args);
    const std::string err = f.read("stderr");
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_EQ(e2e::count(err, "\n"), 1) << c.args << ": " << err;
    EXPECT_NE(err.find(c.err), std::string::npos) << c.args << ": " << err;
    EXPECT_EQ(r.out, c.out) << c.args;
  }
  EXPECT_EQ(f.read("data.vec"), data);  // never overwritten
  // An empty input is no error: the header line alone, or nothing at all.
  EXPECT_EQ(f.run("--map out/map_model.txt", 60, "empty.vec").out, kHeader);
  EXPECT_EQ(f.run("--map out/map_model.txt empty.vec - --no-header").out, "");
}

// INTERVAL leaves a component whose training maximum is 0 or below undivided (its divisor is 0), and so does the
// map command: iris with a fifth component, minus the petal width, maps back to its run's assignments.
TEST(MapCommand, IntervalLeavesAComponentWithoutAPositiveMaximumUndivided) {
  std::ifstream iris(VELMAR_EXAMPLES "/iris.vec");
  std::string line, data;
  for (int k = 0; std::getline(iris, line); k++) {
    if (k == 3) line = "$VEC_DIM 5";
    if (k >= 4) {
      const size_t id = line.rfind(' ');
      line.insert(id, " -" + line.substr(line.rfind(' ', id - 1) + 1, id - line.rfind(' ', id - 1) - 1));
    }
    data += line + "\n";
  }
  e2e::Folder f;
  f.write("data.vec", data);
  f.write("data.tv", "h\nh\nh\nh\n0 a x\n1 b x\n2 c x\n3 d x\n4 minus_d x\n");
  f.mkdir("out");
  f.write("run.prop",
          "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\nsaveAsHTML=false\n"
          "saveAssignments=true\nsaveModel=true\nnormInputVectors=INTERVAL\nTAU_1=0.03\nTAU_2=0.02\n");
  ASSERT_EQ(f.run("run.prop").status, 0);
  ASSERT_NE(f.read("out/map_model.txt").find("\ndivisor 3 2.5\ndivisor 4 0\n"), std::string::npos);
  const std::string expected = f.read("out/map_assignments.csv");
  EXPECT_NE(expected.find("\r\nsetosa_01,"), std::string::npos);
  EXPECT_EQ(e2e::count(expected, ",inf,"), 0);
  for (const char* threads : {"1", "2"}) {
    EXPECT_EQ(f.run(std::string("--map out/map_model.txt data.vec --threads ") + threads).out, expected) << threads;
  }
}

// The model appears under its name complete or not at all: a temporary name that cannot be created, or a final
// name that cannot be replaced, end the run with the model's own message and leave no temporary file behind.
TEST(SaveModel, FailuresEndWithTheModelsMessageAndLeaveNoPart) {
  for (const char* blocker : {"map_model.txt.part", "map_model.txt"}) {
    e2e::Folder f;
    f.write("data.vec", clusters(100));
    f.write("data.tv", kNames);
    f.mkdir("out");
    f.mkdir(std::string("out/") + blocker);
    f.write(std::string("out/") + blocker + "/keep", "x");
    f.write("run.prop",
            "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\nsaveAsHTML=false\nsaveModel=true\n");
    const e2e::Run r = f.run("run.prop");
    EXPECT_EQ(r.status, 1) << blocker;
    const std::string tail = std::string(blocker) == "map_model.txt" ? "written" : "opened";
    EXPECT_NE(r.out.find("\asaving out/map_model.txt\nModel file could not be " + tail + "\n"), std::string::npos)
        << r.out.substr(r.out.size() - 200);
    EXPECT_EQ(f.list("out"), std::set<std::string>{blocker});
  }
}

}  // namespace

namespace {

// A table and sparse vectors map back as the input-vector file does: the model of a run on either format maps
// that very file to the run's assignments file (the format recorded in the model is the default), on one and on
// two threads; a header row alone maps to the header line alone; a table whose columns are not the model's
// components is refused.
TEST(MapCommand, TablesAndSparseVectorsMapThroughTheReadersOfTraining) {
  e2e::Folder f;
  std::string table = "name;a;b;c;d;e;f\r\n", sparse;
  std::istringstream lines(clusters(400));
  std::string line;
  for (int skip = 0; skip < 4; skip++) std::getline(lines, line);
  for (int i = 0; std::getline(lines, line); i++) {
    std::istringstream fields(line);
    std::string id = "\"r" + std::to_string(i) + "\"", values, pairs;
    for (int k = 0; k < 6; k++) {
      std::string v;
      fields >> v;
      values += ";" + v;
      if (k % 2 == i % 2) pairs += " " + std::to_string(k + 1) + ":" + v;
    }
    table += id + values + "\r\n";
    sparse += "s" + std::to_string(i) + pairs + "\n";
  }
  f.write("data.csv", table);
  f.write("data.sparse", sparse);
  f.write("data.tv", kNames);
  f.mkdir("out");
  const std::string common =
      "descriptionFile=data.tv\nsavePath=out\nsaveAsHTML=false\nsaveAssignments=true\n"
      "saveModel=true\nTAU_1=0.1\nTAU_2=0.01\nnormInputVectors=INTERVAL\n";
  for (const std::string format : {"csv", "sparse"}) {
    SCOPED_TRACE(format);
    f.write("run.prop", common + "inputFormat=" + format + "\ninputFile=data." + format + "\nseparator=;\n");
    ASSERT_EQ(f.run("run.prop").status, 0);
    const std::string expected = f.read("out/map_assignments.csv");
    for (const char* threads : {"1", "2"}) {
      const e2e::Run r = f.run("--map out/map_model.txt data." + format + " --threads " + threads);
      EXPECT_EQ(r.status, 0) << f.read("stderr");
      EXPECT_EQ(r.out, expected) << threads << " threads";
    }
    std::filesystem::rename(f.path("out/map_model.txt"), f.path(format + ".model"));
  }
  // The format and its layout can be given: here a header row alone, with commas.
  f.write("empty.csv", "name,a,b,c,d,e,f\n");
  e2e::Run r = f.run("--map sparse.model empty.csv --format csv --separator ,");
  EXPECT_EQ(r.out, kHeader);
  EXPECT_EQ(r.status, 0);
  f.write("other.csv", "name,a,b,c,d,e,g\nx,1,2,3,4,5,6\n");
  r = f.run("--map csv.model other.csv --separator ,");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(f.read("stderr"),
            "input other.csv: the value columns (a,b,c,d,e,g) are not the model's components "
            "(a,b,c,d,e,f)\n");
  r = f.run("--map csv.model other.csv --format table");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(f.read("stderr").find("--format takes vectors, csv or sparse, not \"table\""), std::string::npos);
}

}  // namespace

// Where line `n` (from 0) of a text starts.
size_t lineStart(const std::string& text, int n) {
  size_t at = 0;
  for (int k = 0; k < n; k++) at = text.find('\n', at) + 1;
  return at;
}

// An input of several blocks: the blocks are written in order while the next ones are placed and read, a bad
// line in a later block still leaves every line before it written, and an output that cannot be written ends
// the run with one line.
TEST(MapCommand, BlocksAreWrittenInOrderWhileTheNextArePlaced) {
  e2e::Folder f;
  train(f, clusters(500), "TAU_1=0.1\nTAU_2=0.01\n");
  const std::string data = f.read("data.vec");
  const std::string body = data.substr(lineStart(data, 4));
  const std::string mapped = f.run("--map out/map_model.txt data.vec").out;
  const std::string lines = mapped.substr(kHeader.size());
  std::string big = "$TYPE vectors\n$XDIM 150000\n$YDIM 1\n$VEC_DIM 6\n", expected = kHeader;
  for (int copy = 0; copy < 300; copy++) {  // about 10 MB: three blocks and more
    big += body;
    expected += lines;
  }
  f.write("big.vec", big);
  e2e::Run r = f.run("--map out/map_model.txt big.vec big.csv --threads 2");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(f.read("big.csv"), expected);

  const size_t bad = lineStart(big, 4 + 500 * 250);  // in the third block
  f.write("bad.vec", big.substr(0, bad) + "1 2 x3 4 5 6 worse\n" + big.substr(bad));
  r = f.run("--map out/map_model.txt bad.vec bad.csv --threads 2 --strict");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(f.read("bad.csv"), expected.substr(0, kHeader.size() + lines.size() * 250));

  r = f.run("--map out/map_model.txt big.vec /dev/full --threads 2");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(f.read("stderr"), "output /dev/full could not be written\n");
}
