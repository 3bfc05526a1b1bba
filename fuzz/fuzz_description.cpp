// Fuzz target: the description reader (DataLoader::readVectorDescription).
// The first fuzzed byte gives the component count (1 to 16), which a small
// valid input file announces and holds; the rest is the description file.

#include "fuzz_support.h"

namespace {

// An input file of two vectors with `components` components each.
std::string inputFile(int components) {
  std::string text = "$TYPE vec\n$XDIM 2\n$YDIM 1\n$VEC_DIM " + std::to_string(components) + "\n";
  for (int v = 0; v < 2; v++) {
    for (int i = 0; i < components; i++) {
      text += std::to_string(v + i) + " ";
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
  const std::string description = fuzzsupport::writeScratch("input.tv", data + 1, size - 1);
  try {
    fuzzsupport::loadInput(input.c_str());
    Globals::currentDataLoader->readVectorDescription(description.c_str());
  } catch (const fuzzsupport::RunFailed&) {
  }
  return 0;
}
