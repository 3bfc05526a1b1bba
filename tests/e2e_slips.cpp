// Slips in the property file and the files it names: a slip that leaves the run as it is gets one warning line on
// standard error and changes nothing else; a missing key, folder or file is named before anything is trained.

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>

#include "e2e_support.h"

namespace {

const std::string kFiles = "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\nrandomSeed=7\n";

// A fresh folder with the cluster data, its description and an "out" folder.
struct Trial {
  e2e::Folder f;
  explicit Trial(const std::string& description = e2e::kDescription) {
    f.write("data.vec", e2e::clusterData(30));
    f.write("data.tv", description);
    f.mkdir("out");
  }
  e2e::Run run(const std::string& props) const {
    f.write("run.prop", props);
    return f.run("run.prop");
  }
  // Standard output from the first "added" line on, without the processor time, and every output file.
  std::map<std::string, std::string> results(const e2e::Run& r) const {
    std::map<std::string, std::string> all{
        {"console", std::regex_replace(r.out.substr(r.out.find("added ")), std::regex("\n[0-9.e+-]+\n\a"), "\n\a")}};
    for (const std::string& name : f.list("out")) all[name] = f.read("out/" + name);
    return all;
  }
  std::vector<std::string> warnings() const {
    std::vector<std::string> lines;
    std::istringstream in(f.read("stderr"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

// Each slip below reads as the setting it leaves alone or sets to what it meant, so the run is the run without it.
TEST(Slips, AreWarnedOfAndChangeNothingElse) {
  const std::string clean = kFiles + "TAU_1=0.05\nEXPAND_CYCLES=20\n";
  const Trial a, b;
  const e2e::Run ra = a.run(clean);
  const e2e::Run rb = b.run(kFiles +
                            "TAU_1=0.05 units\nEXPAND_CYCLES=20.0\ntau_2=0.2\nprintMQE=TRUE\n"
                            "normInputVectors=none\n# a comment\nLABELS=3\nLABELS_NUM");
  ASSERT_EQ(ra.status, 0) << ra.out;
  EXPECT_EQ(a.f.read("stderr"), "");
  EXPECT_EQ(a.results(ra), b.results(rb));
  const std::vector<std::string> shown = b.warnings();
  const char* expected[] = {"line 5: \"TAU_1=0.05 units\" is read as 0.05",
                            "line 6: \"EXPAND_CYCLES=20.0\" is read as 20",
                            "line 7: unknown key \"tau_2\" is ignored; did you mean TAU_2?",
                            "line 8: \"printMQE=TRUE\" is read as false",
                            ("line 9: \"normInputVectors=none\" is none of NONE, LENGTH, INTERVAL and leaves the "
                             "setting NONE; did you mean NONE?"),
                            "line 10 has no \"=\" and ran into the key of line 11",
                            "line 12 has no \"=\": \"LABELS_NUM\" is ignored"};
  ASSERT_EQ(shown.size(), std::size(expected)) << b.f.read("stderr");
  for (size_t i = 0; i < shown.size(); i++) {
    EXPECT_EQ(shown[i].rfind("velmar: warning: propertyfile ", 0), 0u) << shown[i];
    EXPECT_NE(shown[i].find(expected[i]), std::string::npos) << shown[i];
  }
}

// Without an inputFile pair (none, misspelt, or with blanks around "="), every format ends with one line naming
// the key, status 1 and nothing written; the input-vector file keeps its line on standard output.
TEST(Slips, AMissingInputFileKeyIsNamedInEveryFormat) {
  const Trial s;
  for (const std::string format : {"vectors", "csv", "sparse"}) {
    for (const std::string pair : {"", "inputfile=data.vec\n", "inputFile = data.vec\n"}) {
      SCOPED_TRACE(format + " " + pair);
      const e2e::Run r = s.run("inputFormat=" + format + "\n" + pair + "savePath=out\n");
      EXPECT_EQ(r.status, 1);
      const std::string last = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
      const std::string warning = "velmar: warning: no inputFile in the property file\n";
      if (format == "vectors") {
        EXPECT_EQ(last, "inputfile not found (check propertyfile)\n");
        EXPECT_EQ(s.f.read("stderr").substr(s.f.read("stderr").size() - warning.size()), warning);
      } else {
        EXPECT_EQ(last, "no inputFile in the property file (check propertyfile)\n");
      }
      EXPECT_EQ(e2e::count(s.f.read("stderr"), "did you mean inputFile?"), pair.empty() ? 0 : 1);
      EXPECT_TRUE(s.f.list("out").empty());
    }
  }
}

// A file that cannot be opened keeps its line on standard output and is named on standard error, with the folder
// a relative name was taken from.
TEST(Slips, FilesNotFoundAreNamedWithWhereTheyWereLookedFor) {
  const Trial s;
  const std::pair<std::string, std::string> cases[] = {
      {"inputFile=absent.vec\n", "inputFile absent.vec: there is no such file (looked for as " +
                                     s.f.path("absent.vec") +
                                     ": a relative name is taken from the folder velmar was started in)\n"},
      {"inputFile=data.vec\ndescriptionFile=/absent/d.tv\r\n",
       "descriptionFile /absent/d.tv: there is no such file (the value ends in a carriage return: the file has "
       "CR LF line ends)\n"}};
  for (const auto& [props, warning] : cases) {
    const e2e::Run r = s.run(props + "savePath=out\n");
    EXPECT_EQ(r.status, 1);
    const std::string error = s.f.read("stderr");
    EXPECT_EQ(error.substr(error.size() - std::min(error.size(), warning.size())), warning) << error;
  }
}

// A refused value whose only fault is the carriage return that CR LF line ends left at its end says so.
TEST(Slips, ARefusedValueNotesItsCarriageReturn) {
  const Trial t;
  for (const std::string pair : {"inputFormat=csv", "separator=;"}) {
    const e2e::Run r = t.run(kFiles + "inputFormat=csv\n" + pair + "\r\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\n" + pair + " is not one of "), std::string::npos) << r.out;
    const std::string note =
        " (the value ends in a carriage return: the file has CR LF line ends) (check propertyfile)\n";
    EXPECT_EQ(r.out.substr(r.out.size() - note.size()), note);
  }
}

// A savePath that is no folder to write in is refused before the data is read, when some output is switched on.
TEST(Slips, AnUnusableSavePathIsRefusedBeforeTheData) {
  const Trial s;
  const std::pair<std::string, std::string> cases[] = {
      {"savePath=nowhere\n", "savePath nowhere: there is no such folder (looked for as " + s.f.path("nowhere") +
                                 ": a relative name is taken from the folder velmar was started in) (check "
                                 "propertyfile)\n"},
      {"savePath=/dev/null\nsaveAsHTML=false\nprintMQE=true\n",
       "savePath /dev/null: it is not a folder (check propertyfile)\n"},
      {"savePath=/dev/null/x\nsaveAsHTML=false\nsaveModel=true\n",
       "savePath /dev/null/x: a part of the path is not a folder (check propertyfile)\n"}};
  for (const auto& [props, message] : cases) {
    const e2e::Run r = s.run("inputFile=data.vec\ndescriptionFile=data.tv\n" + props);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1), message);
    EXPECT_EQ(e2e::count(r.out, "added"), 0);
  }
  // With every output off the folder is never used: the run goes to its end.
  EXPECT_EQ(s.run("inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=nowhere\nsaveAsHTML=false\n").status, 0);
}

// A plain list of names, one a line, names the components as the four-header form does: the same run.
TEST(Slips, ADescriptionListTrainsAsTheHeaderFormDoes) {
  const Trial header, list("red\r\ngreen\r\nblue\r\n");
  const e2e::Run rh = header.run(kFiles), rl = list.run(kFiles);
  ASSERT_EQ(rl.status, 0) << rl.out;
  EXPECT_EQ(header.results(rh), list.results(rl));
  EXPECT_NE(list.f.read("out/map_1_1_0_0.html").find("green"), std::string::npos);
}

// A class file's first line is its header; one that names an input vector probably is not.
TEST(Slips, AClassFileWithoutItsHeaderIsWarnedOf) {
  const Trial s;
  s.f.write("classes.csv", "v0,red\nv1,green\n");
  const e2e::Run r = s.run(kFiles + "classFile=classes.csv\nsaveAsHTML=false\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("classfile: 1 class, 29 vectors without a class, 0 identifiers not in the inputfile\n"),
            std::string::npos);
  EXPECT_EQ(s.f.read("stderr"),
            "velmar: warning: the first line of classfile names the input vector \"v0\", but it is "
            "read as the header (such as id,class) and gives no class: is the header missing?\n");
}

}  // namespace
