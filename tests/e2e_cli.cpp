// Command line, refusals and unwritable output files: each failure is one message line on stdout and status 1.

#include <gtest/gtest.h>

#include "e2e_support.h"

namespace {

const std::string kBase = "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\nrandomSeed=7\n";

TEST(CommandLine, UsageVersionAndMissingFiles) {
  e2e::Folder f;
  f.write("-v", kBase);  // "-v" is the version switch even when such a file exists
  f.write("empty.prop", "");
  const std::tuple<std::string, std::string, int> cases[] = {
      {"", "Usage: velmar propertyfile\n", 1},
      {"-v x", "Usage: velmar propertyfile\n", 1},
      {"-v", "velmar: Version 1.4\n", 0},
      {"nosuch.prop", "propertyfile nosuch.prop not found\n", 1},
      {"empty.prop", "inputfile not found (check propertyfile)\n", 1}};
  for (const auto& [args, out, status] : cases) {
    e2e::Run r = f.run(args);
    EXPECT_EQ(r.out, out) << args;
    EXPECT_EQ(r.status, status) << args;
  }
  EXPECT_EQ(f.read("stderr"), "velmar: warning: no inputFile in the property file\n");  // of empty.prop
}

// Refused settings and data are reported right after the input has been read, equal vectors right after MQE0.
// An output file that cannot be created ends the run with its writer's message; earlier files stay on disk.
TEST(Failures, EndTheRunWithOneLineAtTheRightPoint) {
  struct {
    std::string props, tail;                  // standard output must end with `tail`
    std::string data = e2e::clusterData(30);  // the input file
    std::string blocker = "", kept = "";      // a folder in place of an output file in "out"; a file kept there
  } cases[] = {
      {kBase + "EXPAND_CYCLES=0\n", "added v29\nEXPAND_CYCLES must be at least 1 (check propertyfile)\n"},
      {kBase + "TAU_2=0\n", "added v29\nTAU_2 must be greater than 0 (check propertyfile)\n"},
      {"inputFile=data.vec\ndescriptionFile=data.tv\n", "added v29\nsavePath not set (check propertyfile)\n"},
      {kBase + "INITIAL_X_SIZE=1\nINITIAL_Y_SIZE=1\n",
       "added v29\nINITIAL_X_SIZE and INITIAL_Y_SIZE of 1 need MAX_CYCLES or a TAU_1 above 1 (check propertyfile)\n"},
      {kBase, "added v1\ninputfile ends after 2 of 10 vectors (check inputfile)\n",
       "$TYPE vectors\n$XDIM 10\n$YDIM 1\n$VEC_DIM 2\n1 2 v0\n3 4 v1\n"},
      {kBase, "\n\asaving out/map_1_1_0_0.html\nHTML file could not be opened\n", e2e::clusterData(30),
       "map_1_1_0_0.html"},
      {kBase + "saveAsHTML=false\nsaveAsCartix=true\n",
       "\n\asaving out/map_1_1_0_0.mapdescr\nCartix map file could not be opened\n", e2e::clusterData(30),
       "map_1_1_0_0.mapdescr"},
      {kBase + "saveAsCartix=true\n", "\nsaving out/map_1_1_0_0.wgt\nCartix wgt file could not be opened\n",
       e2e::clusterData(30), "map_1_1_0_0.wgt", "map_1_1_0_0.mapdescr"},
      {kBase + "saveAsCartix=true\n", "\nsaving out/map_1_1_0_0.unit\nCartix node file could not be opened\n",
       e2e::clusterData(30), "map_1_1_0_0.unit", "map_1_1_0_0.wgt"},
      {kBase + "printMQE=true\n", "\nMQE file could not be opened\n", e2e::clusterData(30), "map_1_1_0_0.mqe"},
  };
  for (const auto& c : cases) {
    e2e::Folder f;
    f.write("data.vec", c.data);
    f.write("data.tv", e2e::kDescription);
    f.mkdir("out");
    f.mkdir("out/" + c.blocker);
    f.write("run.prop", c.props);
    e2e::Run r = f.run("run.prop");
    EXPECT_EQ(r.status, 1) << c.tail;
    EXPECT_EQ(r.out.substr(r.out.size() - std::min(r.out.size(), c.tail.size())), c.tail);
    EXPECT_TRUE(c.kept.empty() || f.list("out").count(c.kept)) << c.kept;
  }
}

// The "added" lines are not flushed one by one; many of them, then a failure,
// must still come out complete and in order.
TEST(Failures, EveryAddedLineComesBeforeTheMessage) {
  e2e::Folder f;
  std::string data = e2e::clusterData(3000);
  // The first value of the last vector starts with "inf".
  f.write("data.vec", data.replace(data.rfind("\n", data.size() - 2) + 1, 1, "inf"));
  f.write("data.tv", e2e::kDescription);
  f.write("run.prop", kBase);
  f.mkdir("out");
  std::string expected = "inputFile = data.vec\ndescriptionFile = data.tv\nsavePath = out\nrandomSeed = 7\n";
  for (int i = 0; i < 2999; i++) expected += "added v" + std::to_string(i) + "\n";
  expected += "inputfile vector 3000 (v2999) holds a value that is not a finite number (check inputfile)\n";
  e2e::Run r = f.run("run.prop");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, expected);
}

}  // namespace
