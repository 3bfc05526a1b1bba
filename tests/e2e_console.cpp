// A quiet console: the report without the per-vector lines and the progress dots, and every file as a normal run
// writes it but for the record of the setting, which the model command still reads.

#include <gtest/gtest.h>

#include <regex>

#include "e2e_support.h"

namespace {

const char* kProps =
    "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\nrandomSeed=3\nTAU_1=0.1\nTAU_2=0.01\n"
    "saveOverview=true\nsaveAssignments=true\nsaveSummary=true\nsaveModel=true\n";

// The report but the processor time (the line before the first BEL).
std::string withoutTime(const std::string& out) {
  const size_t bell = out.find('\a');
  return out.substr(0, out.rfind('\n', bell - 2)) + out.substr(bell);
}

TEST(Console, QuietLeavesOutTheAddedLinesAndTheDotsAlone) {
  e2e::Folder f;
  f.write("data.vec", e2e::clusterData(90));
  f.write("data.tv", e2e::kDescription);
  f.write("run.prop", kProps);
  f.write("quiet.prop", std::string(kProps) + "quiet=true\n");
  f.mkdir("out");
  const e2e::Run normal = f.run("run.prop");
  ASSERT_EQ(normal.status, 0) << normal.out;
  std::filesystem::rename(f.path("out"), f.path("normal"));
  f.mkdir("out");
  const e2e::Run quiet = f.run("quiet.prop");
  ASSERT_EQ(quiet.status, 0) << quiet.out;

  std::string expected = std::regex_replace(normal.out, std::regex("(^|\n)added [^\n]*"), "$1");
  expected = std::regex_replace(expected, std::regex("\n\n+"), "\n");
  expected = std::regex_replace(expected, std::regex("\n\\.+"), "\n");
  expected.insert(expected.find("calculating MQE0"), "quiet = true\n");
  EXPECT_NE(normal.out.find("\n.........................MQE ; "), std::string::npos);
  EXPECT_EQ(withoutTime(quiet.out), withoutTime(expected));
  EXPECT_EQ(f.read("stderr"), "");

  // The same files; the records of the settings name quiet only when it is on.
  for (const std::string& name : f.list("normal")) {
    std::string written = f.read("out/" + name), before = f.read("normal/" + name);
    if (name == "map_model.txt") {
      EXPECT_EQ(written.find("setting quiet=true\n"), before.find("setting threads=1\n") + 18);
      written.erase(written.find("setting quiet=true\n"), 19);
    } else if (name == "map_summary.json") {
      EXPECT_EQ(before.find("quiet"), std::string::npos);
      EXPECT_NE(written.find(",\n    \"quiet\": true\n  },"), std::string::npos);
      written.erase(written.find(",\n    \"quiet\": true"), 19);
      written = std::regex_replace(written, std::regex("\"trainingSeconds\": [^,]*"), "");
      before = std::regex_replace(before, std::regex("\"trainingSeconds\": [^,]*"), "");
    } else if (name.find("overview") != std::string::npos) {
      written = std::regex_replace(written, std::regex("Training time</th><td>[^<]*"), "");
      before = std::regex_replace(before, std::regex("Training time</th><td>[^<]*"), "");
    }
    EXPECT_EQ(written, before) << name;
  }
  // The model with its new setting line still maps the input to the run's assignments.
  const e2e::Run mapped = f.run("--map out/map_model.txt data.vec mapped.csv");
  EXPECT_EQ(mapped.status, 0) << f.read("stderr");
  EXPECT_EQ(f.read("mapped.csv"), f.read("out/map_assignments.csv"));
}

}  // namespace
