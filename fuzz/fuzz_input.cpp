// Fuzz target: the input-vector reader (DataLoader::readDataItems) on a file
// of the fuzzed bytes. The first byte, modulo 3, also picks the
// normalisation (none, length, interval), so all three ways are covered.
// Files that announce more than kMaxComponents components are skipped: the
// reader would allocate room for all of them up front, which is lenient
// rather than wrong, but beyond the fuzzer's memory limit.

#include "fuzz_support.h"

namespace {

constexpr int kMaxComponents = 1 << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::Harness harness;
  const std::string path = fuzzsupport::writeScratch("input.vec", data, size);
  int vectors = 0;
  int components = 0;
  if (!fuzzsupport::announcedCounts(path, vectors, components) || components > kMaxComponents) {
    return -1;  // keep it out of the corpus
  }
  Globals::normInputVectors = size > 0 ? data[0] % 3 : 0;
  try {
    fuzzsupport::loadInput(path.c_str());
  } catch (const fuzzsupport::RunFailed&) {
  }
  return 0;
}
