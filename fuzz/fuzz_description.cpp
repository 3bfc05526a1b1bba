// Fuzz target: the description reader (DataLoader::readVectorDescription).
// The first fuzzed byte gives the component count (1 to 16), which a small
// valid input file announces and holds; the rest is the description file.

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return -1;
  }
  fuzzsupport::Harness harness;
  const int components = 1 + data[0] % 16;
  const std::string input = fuzzsupport::writeScratch("input.vec", fuzzsupport::smallInputFile(components));
  const std::string description = fuzzsupport::writeScratch("input.tv", data + 1, size - 1);
  try {
    fuzzsupport::loadInput(input.c_str());
    Globals::currentDataLoader->readVectorDescription(description.c_str());
  } catch (const fuzzsupport::RunFailed&) {
  }
  return 0;
}
