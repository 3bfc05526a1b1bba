// Data whose vectors are all equal (one vector, or identical rows) have an MQE0 of 0: the first-layer map's bound
// is 0 and every unit with any error at all is expanded. Such runs train: with a cycle cap every map ends by it,
// without one the stop rules end every map (an error of exactly 0, or the rounding floor). A loaded MQE0 that is
// negative or not a number is refused.

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "e2e_support.h"

namespace {

std::string equalVectors(int n) {
  std::string text = "$TYPE vectors\n$XDIM " + std::to_string(n) + "\n$YDIM 1\n$VEC_DIM 3\n";
  for (int i = 0; i < n; i++) text += "0.25 7 1.5 v" + std::to_string(i) + "\n";
  return text;
}

const char* kNames = "$TYPE template\n$XDIM 3\n$YDIM 3\n$VEC_DIM 3\n0 a x\n1 b x\n2 c x\n";

// The value after `key` on each line of `text` that starts with it.
std::vector<std::string> values(const std::string& text, const std::string& key) {
  std::vector<std::string> found;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(key, 0) == 0) found.push_back(line.substr(key.size()));
  }
  return found;
}

TEST(Degenerate, EqualVectorsTrainWithAndWithoutACap) {
  const std::string starts[] = {"", "INITIAL_X_SIZE=2\nINITIAL_Y_SIZE=4\nEXPAND_CYCLES=4\n",
                                "INITIAL_X_SIZE=4\nINITIAL_Y_SIZE=1\nORIENTATION=true\n"};
  for (int n : {1, 5}) {
    for (const char* norm : {"NONE", "LENGTH", "INTERVAL"}) {
      for (int cap : {0, 24}) {
        for (bool loaded : {false, true}) {
          for (const std::string& start : starts) {
            SCOPED_TRACE(std::to_string(n) + " vectors, " + norm + ", cap " + std::to_string(cap) +
                         (loaded ? ", loaded MQE0, " : ", ") + start);
            e2e::Folder f;
            f.write("data.vec", equalVectors(n));
            f.write("data.tv", kNames);
            f.write("mqe0", "$MEAN_VEC 0.25 7 1.5 $MQE0 0\n");
            f.mkdir("out");
            f.write("run.prop", std::string("inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\n") +
                                    "saveAsCartix=true\nsaveAssignments=true\nnormInputVectors=" + norm + "\n" +
                                    (cap > 0 ? "MAX_CYCLES=" + std::to_string(cap) + "\n" : "") +
                                    (loaded ? "MQE0_FILE=mqe0\n" : "") + start);
            const e2e::Run r = f.run("run.prop", 20);
            ASSERT_EQ(r.status, 0) << r.out.substr(r.out.size() > 1500 ? r.out.size() - 1500 : 0);
            // MQE0 is 0, but for rounding in the mean of several vectors scaled to length 1.
            const std::string mqe0 = values(r.out, "MQE: ").front();
            EXPECT_TRUE(mqe0 == "0" || (n > 1 && std::string(norm) == "LENGTH" && std::stod(mqe0) < 1e-12)) << mqe0;
            const std::string firstMap = f.read("out/map_1_1_0_0.mapdescr");
            const long long cycles = std::stoll(values(firstMap, "$ITERATIONS_TOTAL ").at(0));
            const long long period = n * (start.find("EXPAND_CYCLES=4") != std::string::npos ? 4 : 25);
            EXPECT_EQ(cycles % period, 0);
            if (cap > 0) {  // the cap of n x cap cycles is tested at growth checks only
              EXPECT_LE(cycles, std::max<long long>(period, (n * cap + period - 1) / period * period));
            }
            const size_t check = r.out.find("MQE ; ");  // the first growth check, after its row of dots
            ASSERT_NE(check, std::string::npos);
            const std::string line = r.out.substr(check, r.out.find('\n', check) - check);
            if (mqe0 == "0") {
              EXPECT_EQ(line.substr(line.find(", to go")), ", to go : 0");  // TAU_1 x 0
            }
            // Every vector is assigned exactly once, to a unit of a map that exists.
            const std::string csv = f.read("out/map_assignments.csv");
            EXPECT_EQ(e2e::count(csv, "\r\n"), n + 1);
            for (int i = 0; i < n; i++) EXPECT_EQ(e2e::count(csv, "\r\nv" + std::to_string(i) + ","), 1);
            EXPECT_EQ(f.read("stderr"), "");
          }
        }
      }
    }
  }
}

TEST(Degenerate, ALoadedMqe0ThatIsNegativeOrNotANumberIsRefused) {
  for (const char* mqe0 : {"-1", "-2.5", "nan"}) {
    e2e::Folder f;
    f.write("data.vec", equalVectors(3));
    f.write("data.tv", kNames);
    f.write("mqe0", std::string("$MEAN_VEC 0.25 7 1.5 $MQE0 ") + mqe0 + "\n");
    f.mkdir("out");
    f.write("run.prop", "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\nMQE0_FILE=mqe0\n");
    const e2e::Run r = f.run("run.prop");
    EXPECT_EQ(r.status, 1) << mqe0;
    EXPECT_EQ(r.out.substr(r.out.rfind("MQE: ")),
              std::string("MQE: ") + (mqe0[0] == 'n' ? "nan" : mqe0) +
                  "\nMQE0 must not be negative or not a number (check MQE0 file)\n");
    EXPECT_TRUE(f.list("out").empty());
  }
}

// Vectors whose components are all 0 are kept with no entries at all. Among other vectors, first or later,
// they train like any vector, in maps that search densely (few components) and sparsely (many, few listed),
// on one thread and on two, with every normalisation.
TEST(Degenerate, AllZeroVectorsAmongOthersTrain) {
  for (int components : {3, 200}) {
    std::string data = "$TYPE vectors\n$XDIM 40\n$YDIM 1\n$VEC_DIM " + std::to_string(components) + "\n";
    std::string names = "$TYPE template\n$XDIM 3\n$YDIM 3\n$VEC_DIM " + std::to_string(components) + "\n";
    for (int c = 0; c < components; c++) names += std::to_string(c) + " t" + std::to_string(c) + " x\n";
    for (int i = 0; i < 40; i++) {
      for (int c = 0; c < components; c++) {
        const bool listed = i % 7 != 0 && (components < 10 || (c * 7 + i) % 40 < 2);
        data += listed ? std::to_string(1 + (c + i) % 5) + " " : "0 ";
      }
      data += "v" + std::to_string(i) + "\n";
    }
    for (const char* norm : {"NONE", "LENGTH", "INTERVAL"}) {
      std::string first;
      for (int threads : {1, 2}) {
        SCOPED_TRACE(std::to_string(components) + " components, " + norm + ", " + std::to_string(threads) + " threads");
        e2e::Folder f;
        f.write("data.vec", data);
        f.write("data.tv", names);
        f.mkdir("out");
        f.write("run.prop", std::string("inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\n") +
                                "saveAsHTML=false\nsaveAssignments=true\nTAU_1=0.3\nTAU_2=0.1\nnormInputVectors=" +
                                norm + "\nthreads=" + std::to_string(threads) + "\n");
        const e2e::Run r = f.run("run.prop", 30);
        ASSERT_EQ(r.status, 0) << r.out.substr(r.out.size() > 1500 ? r.out.size() - 1500 : 0);
        const std::string csv = f.read("out/map_assignments.csv");
        for (int i = 0; i < 40; i++) EXPECT_EQ(e2e::count(csv, "\r\nv" + std::to_string(i) + ","), 1) << i;
        if (first.empty()) first = csv;
        EXPECT_EQ(csv, first);
      }
    }
  }
}

}  // namespace
