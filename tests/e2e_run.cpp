// Complete runs: console report, linked pages, map-library files, error traces, determinism, the example.

#include <gtest/gtest.h>

#include <map>
#include <regex>

#include "e2e_support.h"

namespace {

const std::string kOdd = "odd<&>\"id";  // the identifier of vector 4: escaped on pages, kept raw elsewhere
const std::string kProps =
    "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\nrandomSeed=42\nTAU_1=0.03\n"
    "TAU_2=0.02\nLABELS_ONLY=false\n";

e2e::Run trainIn(const e2e::Folder& f, const std::string& extra) {
  std::string data = e2e::clusterData(45);
  f.write("data.vec", data.replace(data.find(" v4\n"), 4, " " + kOdd + "\n"));
  f.write("data.tv", e2e::kDescription);
  f.mkdir("out");
  f.write("run.prop", kProps + extra);
  return f.run("run.prop");
}

std::string stem(const std::string& file) { return file.substr(0, file.rfind('.')); }
int levelOf(const std::string& file) { return std::stoi(file.substr(file.find('_', 4) + 1)); }
long matches(const std::string& text, const std::regex& pattern) {
  return std::distance(std::sregex_iterator(text.begin(), text.end(), pattern), std::sregex_iterator());
}

// One multi-level run with every output switched on, shared by the CompleteRun tests.
struct Complete {
  e2e::Folder folder;
  e2e::Run run = trainIn(folder, "saveAsCartix=true\nprintMQE=true\n");
  std::set<std::string> pages = folder.list("out", ".html");
  std::string out(const std::string& name) const { return folder.read("out/" + name); }
  static const Complete& get() {
    static const Complete c;
    return c;
  }
};

// The "added" lines, MQE0, per map growth checks after 25 dots each, the last one's error repeated as "MQE: ",
// the time, a bell, every page in training order, then three map-library files per map in that order, a bell.
TEST(CompleteRun, ConsoleReportFollowsTheRun) {
  const Complete& c = Complete::get();
  ASSERT_EQ(c.run.status, 0) << c.run.out;
  const std::string n = "[-0-9.e+]+", check = R"(\.{25}MQE ; ([-0-9.e+]+), to go : [-0-9.e+]+\n)";
  const std::regex training("added v44\ncalculating MQE0\nMQE: " + n + "\n(?:(?:" + check +
                            R"(neuron with max MQE : \d+,\d+\ninserting (?:row|column):[1-9]\d*\n)*)" + check +
                            "MQE: \\2\n)+" + n + "\n");
  const size_t start = c.run.out.find("added v44\n"), saved = c.run.out.find("\n\asaving") + 1;
  EXPECT_TRUE(std::regex_match(c.run.out.substr(start, saved - start), training)) << c.run.out;

  std::map<int, std::string> stems;  // in training order
  for (const std::string& page : c.pages) stems[std::stoi(page.substr(4))] = "saving out/" + stem(page);
  std::string saving = "\a";
  for (const auto& [gid, s] : stems) saving += s + ".html\n";
  for (const auto& [gid, s] : stems) saving += s + ".mapdescr\n" + s + ".wgt\n" + s + ".unit\n";
  EXPECT_EQ(c.run.out.substr(saved), saving + "\a");
  EXPECT_EQ(c.folder.read("stderr"), "");
}

// Every link but the per-vector ones names an existing page one level down, or, quoted, one level up.
TEST(CompleteRun, PagesLinkUpAndDownToPagesThatExist) {
  const Complete& c = Complete::get();
  ASSERT_GE(c.pages.size(), 3u);
  std::set<std::string> linked{"map_1_1_0_0.html"};
  const std::regex link(R"(<a href=("?)([^">]+)("?)>([^<]*)</a>)");
  for (const std::string& page : c.pages) {
    const std::string html = c.out(page);
    EXPECT_EQ(e2e::count(html, "Up one level"), levelOf(page) > 1 ? 1 : 0) << page;
    EXPECT_EQ(html.find("odd<"), std::string::npos) << page;
    for (std::sregex_iterator it(html.begin(), html.end(), link), end; it != end; ++it) {
      const std::string target = (*it)[2];
      if (target.rfind("files/", 0) == 0) continue;
      const bool up = (*it)[4] == "Up one level";
      EXPECT_EQ((*it)[1].str() + (*it)[3].str(), up ? "\"\"" : "") << page << ": " << target;
      ASSERT_TRUE(c.pages.count(target)) << page << " links to missing " << target;
      EXPECT_EQ(levelOf(target), levelOf(page) + (up ? -1 : 1)) << page << ": " << target;
      linked.insert(target);
    }
  }
  EXPECT_EQ(linked, c.pages);  // every page is reachable from the first-layer page
}

// The first layer names every input vector once: on its page escaped, in its unit file raw.
TEST(CompleteRun, FirstLayerNamesEveryVectorOnce) {
  const std::string page = Complete::get().out("map_1_1_0_0.html"), unit = Complete::get().out("map_1_1_0_0.unit");
  for (int i = 0; i < 45; i++) {
    const std::string id = i == 4 ? kOdd : "v" + std::to_string(i);
    EXPECT_EQ(e2e::count(page, ">" + (i == 4 ? "odd&lt;&amp;&gt;&quot;id" : id) + "</a>"), 1) << id;
    EXPECT_EQ(e2e::count(unit, " " + id + " "), 1) << id;  // "$MAPPED_VECS " lists each followed by a blank
  }
}

// Per map: unit blocks count their vectors, weight lines parse back, the error trace has a line per cycle.
TEST(CompleteRun, MapFilesAgreeWithEachOther) {
  const Complete& c = Complete::get();
  const std::regex block(R"(\n\$NR_VEC_MAPPED (\d+)\n\$MAPPED_VECS ([^\n]*)\n)");
  const std::regex weights(R"(\n(-?\d+(\.\d+)?(e[-+]\d+)? ){3}\d+_\d+_\d+/\d+_\d+/\d+(?=\n))");
  for (const std::string& page : c.pages) {
    const std::string s = stem(page), unit = c.out(s + ".unit"), wgt = c.out(s + ".wgt");
    for (std::sregex_iterator it(unit.begin(), unit.end(), block), end; it != end; ++it) {
      EXPECT_EQ((*it)[1].str(), std::to_string(e2e::count((*it)[2], " "))) << s;
    }
    EXPECT_EQ(matches(unit, block), e2e::count(unit, "$POS_X ")) << s;
    EXPECT_EQ(matches(wgt, weights), e2e::count(unit, "$POS_X ")) << s;
    const std::string cycles = std::to_string(e2e::count(c.out(s + ".mqe"), "\n"));
    EXPECT_NE(c.out(s + ".mapdescr").find("\n$ITERATIONS_TOTAL " + cycles + "\n"), std::string::npos) << s;
  }
}

TEST(Determinism, SameSeedSameBytesOtherSeedOtherRun) {
  e2e::Folder a, b, c;
  e2e::Run ra = trainIn(a, ""), rb = trainIn(b, ""), rc = trainIn(c, "randomSeed=43\n");
  ASSERT_EQ(ra.status, 0);
  const auto training = [](const e2e::Run& r) {  // standard output from MQE0 on, without the time, which varies
    return std::regex_replace(r.out.substr(r.out.find("calculating")), std::regex("\n[0-9.e+-]+\n\a"), "\n\a");
  };
  EXPECT_EQ(training(ra), training(rb));
  EXPECT_NE(training(ra), training(rc));
  EXPECT_EQ(a.list("out"), b.list("out"));
  for (const std::string& name : a.list("out")) EXPECT_EQ(a.read("out/" + name), b.read("out/" + name)) << name;
}

// Each child map of an upper-left unit reports the four corner vectors it starts from.
TEST(Orientation, ChildMapsReportTheirCorners) {
  e2e::Folder f;
  const std::string out = trainIn(f, "ORIENTATION=true\n").out;
  long children = 0;
  for (const std::string& name : f.list("out", "_0_0.html")) children += levelOf(name) > 1;
  const std::string pair = R"( -?\d+\.\d{6} / -?\d+\.\d{6}\n)";
  EXPECT_GE(children, 1);
  EXPECT_EQ(matches(out, std::regex("\nUL:" + pair + "UR:" + pair + "LL:" + pair + "LR:" + pair)), children);
}

// A map stops when its error is at most its bound, equality included: five equal vectors and a learning rate of 1
// put the winner right on them at the first growth check, an error of 0 against a bound of 0. (Stopping only below
// the bound, the map would grow to 51 x 3 units over 6375 cycles.)
TEST(StopRule, AnErrorEqualToTheBoundStopsTheMap) {
  e2e::Folder f;
  std::string data = "$TYPE vectors\n$XDIM 5\n$YDIM 1\n$VEC_DIM 3\n";
  for (int i = 0; i < 5; i++) data += "0.25 7 1.5 e" + std::to_string(i) + "\n";
  f.write("data.vec", data);
  f.write("data.tv", e2e::kDescription);
  f.mkdir("out");
  f.write("run.prop",
          "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\nINITIAL_LEARNRATE=1\n"
          "saveAsHTML=false\nsaveAsCartix=true\n");
  const e2e::Run r = f.run("run.prop");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("calculating MQE0\nMQE: 0\n" + std::string(25, '.') + "MQE ; 0, to go : 0\nMQE: 0\n"),
            std::string::npos)
      << r.out;
  const std::string map = f.read("out/map_1_1_0_0.mapdescr");
  EXPECT_NE(map.find("$XDIM 2\n$YDIM 2\n"), std::string::npos);
  EXPECT_NE(map.find("$ITERATIONS_TOTAL 125\n"), std::string::npos);
}

TEST(Example, IrisRunsToTheEnd) {
  e2e::Folder f;
  for (const std::string name : {"iris.prop", "iris.vec", "iris.tv", "iris_classes.csv"}) {
    std::filesystem::copy_file(VELMAR_EXAMPLES "/" + name, f.path(name));
  }
  f.mkdir("output");
  e2e::Run r = f.run("iris.prop");
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(e2e::count(r.out, "saving output/map_"), static_cast<int>(f.list("output").size()));
  EXPECT_EQ(f.list("output").count("map_1_1_0_0.mapdescr"), 1u);
  // The species are the classes: every iris has one.
  EXPECT_NE(r.out.find("classfile: 3 classes, 0 vectors without a class, 0 identifiers not in the inputfile\n"),
            std::string::npos);
  EXPECT_NE(f.read("output/map_summary.json").find("\"purity\": "), std::string::npos);
}

}  // namespace
