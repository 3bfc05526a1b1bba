// Fuzz target: the MQE0-file reader, through Globals::initHFM, which builds
// the level-0 map and lets calcLayer0MQE load the mean vector and MQE0 from
// MQE0_FILE and create the first-layer map. The first fuzzed byte gives the
// component count (1 to 16) of a small valid input file of three vectors;
// the rest is the MQE0 file.

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return -1;
  }
  fuzzsupport::Harness harness;
  const int components = 1 + data[0] % 16;
  const std::string input = fuzzsupport::writeScratch("input.vec", fuzzsupport::smallInputFile(components));
  const std::string mqe0 = fuzzsupport::writeScratch("input.mqe0", data + 1, size - 1);
  Globals::MQE0_FILE = mqe0.c_str();
  try {
    fuzzsupport::loadInput(input.c_str());
    Globals::initHFM();
  } catch (const fuzzsupport::RunFailed&) {
  }
  return 0;
}
