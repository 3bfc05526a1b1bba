// Fuzz target: one whole small training run. The fuzzed bytes are split at
// each kSeparator line into the property file, the input file, the
// description file and the MQE0 file (missing parts are empty; an empty
// description part gives no description file). After the property file is
// read, the settings are clamped so that a run stays small and quick and
// writes only into a scratch folder; then the run sequence of the program
// runs with every output kind switched on, and the written files are removed
// afterwards. A class file named by the property file reads the MQE0 part.

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "fuzz_support.h"

namespace {

constexpr std::string_view kSeparator = "\n====\n";
constexpr int kMaxVectors = 64;
constexpr int kMaxComponents = 16;
constexpr int kMaxStartSize = 4;
constexpr int kMaxCycles = 3;
// Thresholds this small only make the hierarchy deep and slow; the maps and
// their checks are the same above it.
constexpr float kMinTau = 1e-3f;

std::vector<std::string_view> splitParts(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> parts;
  while (parts.size() < 3) {
    size_t at = rest.find(kSeparator);
    if (at == std::string_view::npos) {
      break;
    }
    parts.push_back(rest.substr(0, at));
    rest.remove_prefix(at + kSeparator.size());
  }
  parts.push_back(rest);
  parts.resize(4);
  return parts;
}

// The output folder of a run, made afresh for each input.
std::string outputDir() {
  std::string path = fuzzsupport::scratchDir() + "/out";
  mkdir(path.c_str(), 0775);
  return path;
}

template <class T>
void clampTo(T& value, T low, T high) {
  value = std::min(std::max(value, low), high);
}

// Small thresholds are raised; zero, negative and NaN ones stay, for the
// settings check to refuse.
void raiseSmallTau(float& tau) {
  if (tau > 0.0f && tau < kMinTau) {
    tau = kMinTau;
  }
}

void clampSettings(const std::string& input, const std::string& description, bool described, const std::string& mqe0,
                   const std::string& output, std::string& prefix) {
  Globals::inputFile = input.c_str();
  // Tables and sparse vectors need no description file: an empty part is none.
  Globals::descriptionFile = described ? description.c_str() : nullptr;
  if (Globals::MQE0_FILE != nullptr) {
    Globals::MQE0_FILE = mqe0.c_str();
  }
  Globals::savePath = output.c_str();
  // The prefix names files in the scratch folder, never in another folder.
  prefix = Globals::HTML_PREFIX;
  std::replace(prefix.begin(), prefix.end(), '/', '_');
  Globals::HTML_PREFIX = prefix.c_str();
  Globals::SAVE_AS_HTML = true;
  Globals::SAVE_AS_CARTIX = true;
  Globals::SAVE_OVERVIEW = true;
  Globals::SAVE_ASSIGNMENTS = true;
  Globals::SAVE_SUMMARY = true;
  // A class file, when the property file names one, is the MQE0 part too.
  if (Globals::classFile != nullptr) {
    Globals::classFile = mqe0.c_str();
  }
  clampTo(Globals::MAX_CYCLES, 1, kMaxCycles);
  clampTo(Globals::EXPAND_CYCLES, 1, kMaxCycles);
  clampTo(Globals::INITIAL_X_SIZE, 1, kMaxStartSize);
  clampTo(Globals::INITIAL_Y_SIZE, 1, kMaxStartSize);
  raiseSmallTau(Globals::TAU_1);
  raiseSmallTau(Globals::TAU_2);
  // Sparse vectors: no more components than an input-vector file may have,
  // whatever index the file names (a negative count stays, to be refused).
  if (Globals::components > kMaxComponents || (Globals::components == 0 && !described)) {
    Globals::components = kMaxComponents;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string_view> parts = splitParts(data, size);
  fuzzsupport::Harness harness;
  const std::string props = fuzzsupport::writeScratch("run.prop", parts[0]);
  const std::string input = fuzzsupport::writeScratch("run.vec", parts[1]);
  const std::string description = fuzzsupport::writeScratch("run.tv", parts[2]);
  const std::string mqe0 = fuzzsupport::writeScratch("run.mqe0", parts[3]);
  int vectors = 0;
  int components = 0;
  fuzzsupport::announcedCounts(input, vectors, components);
  if (vectors > kMaxVectors || components > kMaxComponents) {
    return -1;
  }
  const std::string output = outputDir();
  std::string prefix;
  try {
    getProps(props.c_str());
    clampSettings(input, description, !parts[2].empty(), mqe0, output, prefix);
    startIt();
  } catch (const fuzzsupport::RunFailed&) {
  }
  fuzzsupport::removeFiles(output);
  return 0;
}
