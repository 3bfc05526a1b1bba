// The settings as a user meets them: the help lists every key with its default, the README's table says the
// same, and integer values that the C library would silently wrap are refused before any data file is read.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "e2e_support.h"

namespace {

// Key -> default, from the help's key lines ("KEY  DEFAULT  meaning").
std::map<std::string, std::string> helpDefaults(const std::string& help) {
  std::map<std::string, std::string> keys;
  std::istringstream lines(help.substr(help.find(":\n", help.find("Keys")) + 2));
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    std::string key, value;
    words >> key >> value;
    keys[key] = value;
  }
  return keys;
}

// Key -> default, from the README's table of property keys (backquotes dropped).
std::map<std::string, std::string> readmeDefaults() {
  std::ifstream in(VELMAR_EXAMPLES "/../README.md");
  std::map<std::string, std::string> keys;
  bool inTable = false;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("| Key | Meaning | Default |", 0) == 0) {
      inTable = true;
      continue;
    }
    if (!inTable || line.rfind("|---", 0) == 0) continue;
    if (line.empty() || line[0] != '|') break;
    std::vector<std::string> cells;
    std::istringstream row(line.substr(1));
    for (std::string cell; std::getline(row, cell, '|');) cells.push_back(cell);
    auto bare = [](std::string t) {
      std::string out;
      for (char c : t)
        if (c != '`' && c != ' ') out += c;
      return out;
    };
    keys[bare(cells.at(0))] = bare(cells.at(2));
  }
  return keys;
}

TEST(Help, ListsEveryKeyWithTheDefaultTheReadmeGives) {
  e2e::Folder f;
  const e2e::Run h = f.run("-h"), help = f.run("--help");
  EXPECT_EQ(h.status, 0);
  EXPECT_EQ(h.out, help.out);
  EXPECT_EQ(h.out.rfind("Usage: velmar propertyfile", 0), 0u);
  EXPECT_EQ(f.run("-h x").out, "Usage: velmar propertyfile\n");
  const auto listed = helpDefaults(h.out);
  EXPECT_GE(listed.size(), 26u);
  EXPECT_EQ(listed, readmeDefaults());
  // Every listed key is one the property reader knows: a run that sets each to its default is not refused for it.
  EXPECT_EQ(listed.at("TAU_2"), "0.1");
  EXPECT_EQ(listed.at("randomSeed"), "123456789");
}

// A value beyond int would wrap in the C library's conversion (EXPAND_CYCLES=-2147483649 would become
// 2147483647 cycles); such a value is refused right after the property file, before the input file is opened.
// The last value of a key counts, and values in range read exactly as before (trailing text ignored).
TEST(Settings, IntegersThatWouldWrapAreRefusedBeforeAnyDataFile) {
  e2e::Folder f;
  const std::pair<std::string, std::string> refused[] = {
      {"EXPAND_CYCLES=-2147483649", "EXPAND_CYCLES=-2147483649"},
      {"INITIAL_Y_SIZE=4294967298", "INITIAL_Y_SIZE=4294967298"},
      {"INITIAL_NEIGHBOURHOOD=99999999999", "INITIAL_NEIGHBOURHOOD=99999999999"},
      {"LABELS_NUM=99999999999999999999999", "LABELS_NUM=99999999999999999999999"},
      {"MAX_CYCLES=2147483648\nTAU_1=0.5", "MAX_CYCLES=2147483648"},
  };
  for (const auto& [line, named] : refused) {
    f.write("run.prop", "inputFile=absent.vec\n" + line + "\n");
    const e2e::Run r = f.run("run.prop");
    EXPECT_EQ(r.status, 1) << line;
    const std::string last = r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1);
    EXPECT_EQ(last, named +
                        " is out of range: an integer setting lies between -2147483648 and 2147483647 "
                        "(check propertyfile)\n");
    EXPECT_EQ(e2e::count(r.out, "inputfile"), 0) << r.out;
  }
  // The largest and smallest ints, and a later valid value, are accepted: the run gets as far as the input file.
  for (const std::string line :
       {"EXPAND_CYCLES=2147483647", "MAX_CYCLES=-2147483648x", "INITIAL_X_SIZE=4294967298\nINITIAL_X_SIZE=3"}) {
    f.write("run.prop", "inputFile=absent.vec\n" + line + "\n");
    const e2e::Run r = f.run("run.prop");
    EXPECT_EQ(r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1), "inputfile not found (check propertyfile)\n")
        << line;
  }
}

}  // namespace
