// Fuzz target: the input-vector reader (DataLoader::readDataItems) on a file
// of the fuzzed bytes. The first byte, modulo 3, also picks the
// normalisation (none, length, interval), so all three ways are covered.

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::Harness harness;
  const std::string path = fuzzsupport::writeScratch("input.vec", data, size);
  Globals::normInputVectors = size > 0 ? data[0] % 3 : 0;
  try {
    fuzzsupport::loadInput(path.c_str());
  } catch (const fuzzsupport::RunFailed&) {
  }
  return 0;
}
