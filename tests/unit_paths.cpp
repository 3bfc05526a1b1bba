// Whole runs on each wider instruction set (skipped where the processor lacks it) print and write the same bytes as
// on the portable one: the wider kernels and the certified winner search change only the time a run takes.

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "api/runsequence.h"
#include "kernel_support.h"
#include "kernels/distancekernels.h"
#include "settings/propertyfile.h"
#include "test_support.h"

namespace {

using kernels::InstructionSet;
using InstructionSets = testsupport::OnEachSet;
INSTANTIATE_TEST_SUITE_P(, InstructionSets, ::testing::Values(InstructionSet::Avx2, InstructionSet::Avx512),
                         testsupport::setName);

std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Clustered vectors of `dim` components (a count no vector width divides), some far out.
std::string dataFile(int n, int dim) {
  std::string text = "$TYPE vectors\n$XDIM " + std::to_string(n) + "\n$YDIM 1\n$VEC_DIM " + std::to_string(dim) + "\n";
  for (int i = 0; i < n; i++) {
    for (int k = 0; k < dim; k++) {
      const double centre = (i % 5 == k % 5) ? 1.0 : 0.0;
      text += std::to_string(centre + 0.3 * std::sin(i * 1.7 + k * 0.9) + (i == 7 ? 40.0 : 0.0)) + " ";
    }
    text += "v" + std::to_string(i) + "\n";
  }
  return text;
}

// Standard output and every output file of one run, the processor time and the date left out.
std::map<std::string, std::string> runWith(InstructionSet set, const std::string& dir, const std::string& settings) {
  testsupport::resetGlobals(0);
  Globals::currentDataLoader = new DataLoader();
  kernels::use(set);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir + "/out");
  const std::string prop = dir + "/run.prop";
  std::ofstream(prop) << "inputFile=" << dir << "/../data.vec\ndescriptionFile=" << dir
                      << "/../data.tv\nsavePath=" << dir << "/out\nsaveAsCartix=true\n"
                      << settings;
  testing::internal::CaptureStdout();
  getProps(prop.c_str());
  startIt();
  std::map<std::string, std::string> result;
  result["stdout"] = std::regex_replace(testing::internal::GetCapturedStdout(), std::regex("\n[0-9.e+-]+\n\a"), "\n\a");
  for (const auto& entry : std::filesystem::directory_iterator(dir + "/out")) {
    std::string text = readFile(entry.path());
    text = std::regex_replace(text, std::regex("\\$(STORAGE_DATE|TRAINING_TIME) [^\n]*\n"), "");
    result[entry.path().filename().string()] = text;
  }
  kernels::use(InstructionSet::Portable);
  return result;
}

TEST_P(InstructionSets, WholeRunsGiveTheSameBytesOnEveryPath) {
  const InstructionSet set = GetParam();
  const std::string root = testsupport::tempDir() + "velmar-paths";
  std::filesystem::create_directories(root);
  const std::string settings[] = {
      "randomSeed=5\nTAU_1=0.05\nTAU_2=0.01\nprintMQE=true\n",
      "randomSeed=9\nORIENTATION=true\nTAU_1=0.1\nTAU_2=0.005\nnormInputVectors=LENGTH\n",
  };
  for (int dim : {37, 3}) {
    std::ofstream(root + "/data.vec") << dataFile(120, dim);
    std::string names = "h\nh\nh\nh\n";
    for (int k = 0; k < dim; k++) names += std::to_string(k) + " c" + std::to_string(k) + " x\n";
    std::ofstream(root + "/data.tv") << names;
    for (const std::string& s : settings) {
      const auto portable = runWith(InstructionSet::Portable, root + "/portable", s);
      ASSERT_GT(portable.size(), 5u);
      const auto wide = runWith(set, root + "/" + kernels::name(set), s);
      ASSERT_EQ(wide.size(), portable.size()) << kernels::name(set);
      for (const auto& [name, text] : portable) {
        const std::string other = std::regex_replace(wide.at(name), std::regex(kernels::name(set)), "portable");
        EXPECT_TRUE(other == text) << kernels::name(set) << " differs in " << name << " (" << dim << " components)";
      }
    }
  }
  std::filesystem::remove_all(root);
}

}  // namespace
