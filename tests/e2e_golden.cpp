// The bundled iris example with every output on, compared byte for byte with a copy kept in tests/golden/iris/.
// The copy was written once by an earlier build; it guards against any change of output, it does not prove the
// output right (that is what the other tests and the comparisons against independent references are for).
// The processor time and the date vary from run to run and are masked on both sides.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>

#include "e2e_support.h"

namespace {

namespace fs = std::filesystem;

const std::string kGolden = VELMAR_GOLDEN "/iris";

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Lines whose content depends on the clock: the map-description date and training time, the overview's training
// time row.
std::string maskClock(const std::string& text) {
  static const std::regex clockLines("(\\$STORAGE_DATE|\\$TRAINING_TIME) [^\\n]*\\n");
  static const std::regex overviewTime("<tr><th>Training time</th><td>[^<]*</td></tr>");
  std::string masked = std::regex_replace(text, clockLines, "$1 (masked)\n");
  return std::regex_replace(masked, overviewTime, "<tr><th>Training time</th><td>(masked)</td></tr>");
}

// The console's processor-time line is the line right before the first BEL.
std::string maskConsole(const std::string& text) {
  const size_t bell = text.find('\a');
  if (bell == std::string::npos || bell == 0) return text;
  const size_t lineStart = text.rfind('\n', bell - 2);
  const size_t from = lineStart == std::string::npos ? 0 : lineStart + 1;
  return text.substr(0, from) + "(processor time)\n" + text.substr(bell);
}

TEST(Golden, IrisWithEveryOutputIsUnchanged) {
  e2e::Folder f;
  f.write("iris.vec", readFile(VELMAR_EXAMPLES "/iris.vec"));
  f.write("iris.tv", readFile(VELMAR_EXAMPLES "/iris.tv"));
  f.write("iris.prop", readFile(kGolden + "/iris.prop"));
  f.mkdir("output");
  const e2e::Run run = f.run("iris.prop");
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(maskConsole(run.out), maskConsole(readFile(kGolden + "/console.txt")));

  std::set<std::string> expected;
  for (const auto& entry : fs::directory_iterator(kGolden + "/output")) expected.insert(entry.path().filename());
  EXPECT_EQ(f.list("output"), expected);
  for (const std::string& name : expected) {
    SCOPED_TRACE(name);
    const std::string got = maskClock(readFile(f.path("output/" + name)));
    const std::string want = maskClock(readFile(kGolden + "/output/" + name));
    EXPECT_TRUE(got == want) << "first difference at byte "
                             << std::mismatch(got.begin(), got.end(), want.begin(), want.end()).first - got.begin();
  }
}

}  // namespace
