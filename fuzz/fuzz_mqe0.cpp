// Fuzz target: the MQE0-file reader, through Globals::initHFM, which builds
// the level-0 map and lets calcLayer0MQE load the mean vector and MQE0 from
// MQE0_FILE and create the first-layer map. The first fuzzed byte gives the
// component count (1 to 16) of a small valid input file of three vectors;
// the rest is the MQE0 file.

#include "fuzz_support.h"

namespace {

std::string inputFile(int components) {
  std::string text = "$TYPE vec\n$XDIM 3\n$YDIM 1\n$VEC_DIM " + std::to_string(components) + "\n";
  for (int v = 0; v < 3; v++) {
    for (int i = 0; i < components; i++) {
      text += std::to_string((v * 7 + i * 3) % 5) + ".5 ";
    }
    text += "v" + std::to_string(v) + "\n";
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return -1;
  }
  fuzzsupport::Harness harness;
  const int components = 1 + data[0] % 16;
  const std::string input = fuzzsupport::writeScratch("input.vec", inputFile(components));
  const std::string mqe0 = fuzzsupport::writeScratch("input.mqe0", data + 1, size - 1);
  Globals::MQE0_FILE = mqe0.c_str();
  try {
    fuzzsupport::loadInput(input.c_str());
    Globals::initHFM();
  } catch (const fuzzsupport::RunFailed&) {
  }
  return 0;
}
