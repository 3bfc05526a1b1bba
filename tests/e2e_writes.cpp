// Output that cannot be written (a file linked to /dev/full, a full console) fails the run with status 1.

#include <gtest/gtest.h>

#include <regex>

#include "e2e_support.h"

namespace {

const std::string kBase = "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\nrandomSeed=7\n";

struct RunFolder {
  e2e::Folder f;
  explicit RunFolder(const std::string& props, const std::string& fullFile = "") {
    f.write("data.vec", e2e::clusterData(30));
    f.write("data.tv", e2e::kDescription);
    f.mkdir("out");
    f.write("run.prop", kBase + props);
    if (!fullFile.empty()) std::filesystem::create_symlink("/dev/full", f.path("out/" + fullFile));
  }
};

// A page, a map-library file, a long trace (fails while training) and a short one (fails only when closed): one
// message line, status 1, nothing on stderr; the files written before stay complete.
TEST(FullDisk, EveryOutputFileIsChecked) {
  const struct {
    std::string props, file, tail;  // standard output must match `tail` at its end
  } cases[] = {
      {"", "map_1_1_0_0.html", "\n\asaving out/map_1_1_0_0.html\nHTML file could not be written\n"},
      {"saveAsCartix=true\n", "map_1_1_0_0.wgt",
       "\nsaving out/map_1_1_0_0.wgt\nCartix wgt file could not be written\n"},
      {"printMQE=true\n", "map_1_1_0_0.mqe", "\nMQE: [0-9.e+-]+\n\\.+MQE file could not be written\n"},
      {"printMQE=true\nEXPAND_CYCLES=2\nMAX_CYCLES=1\n", "map_1_1_0_0.mqe",
       "\nMQE: [0-9.e+-]+\n\\.+MQE ; [^\n]+\nMQE: [0-9.e+-]+\nMQE file could not be written\n"},
  };
  for (const auto& c : cases) {
    RunFolder s(c.props, c.file);
    e2e::Run r = s.f.run("run.prop");
    EXPECT_EQ(r.status, 1) << c.file;
    EXPECT_TRUE(std::regex_search(r.out, std::regex(c.tail + "$")))
        << r.out.substr(r.out.size() - std::min<size_t>(r.out.size(), 200));
    EXPECT_EQ(s.f.read("stderr"), "") << c.file;
  }
  RunFolder s("saveAsCartix=true\n", "map_1_1_0_0.unit");
  ASSERT_EQ(s.f.run("run.prop").status, 1);
  const std::string page = s.f.read("out/map_1_1_0_0.html"), wgt = s.f.read("out/map_1_1_0_0.wgt");
  EXPECT_EQ(page.substr(page.size() - 23), "</table></BODY></HTML>\n");
  EXPECT_EQ(e2e::count(wgt, "\n"), 8 + e2e::count(wgt, " 1_1_0/0_"));  // the header, then a line per unit
  EXPECT_NE(s.f.read("out/map_1_1_0_0.mapdescr").find("\n$VELMAR_TAU_2 0.1000000015\n"), std::string::npos);
}

TEST(FullDisk, ConsoleThatCannotBeWrittenFailsTheRun) {
  RunFolder s("");
  EXPECT_EQ(s.f.run("run.prop").status, 0);
  EXPECT_EQ(s.f.run("run.prop >/dev/full").status, 1);
  EXPECT_EQ(s.f.run("-v >/dev/full").status, 1);
  EXPECT_EQ(s.f.read("stderr"), "");
}

}  // namespace
