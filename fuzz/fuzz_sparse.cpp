// Fuzz target: the sparse-vector reader, through the loader
// (inputFormat=sparse). The first fuzzed byte picks the settings: the
// components setting (0, meaning the largest index, or 1 to 8), the
// normalisation (none, length, interval), and whether a description file
// naming three components is given; the rest is the file.
//
// With no count given, the largest index sets the component count, and a
// short line can ask for two billion components: such inputs are only read,
// by the reader alone, since the loader's dense vectors would outgrow what a
// fuzzing process may allocate (the loader refuses only what exceeds the
// machine's memory).

#include "fuzz_support.h"
#include "io/sparsereader.h"

namespace {

constexpr int kMaxLoadedComponents = 4096;

// The largest index of the lines the reader takes before it ends or refuses one.
int largestIndex(const std::string& path) {
  SparseReader reader(fopen(path.c_str(), "rb"), path, 0);
  Record record;
  try {
    while (reader.next(record)) {
    }
  } catch (const fuzzsupport::RunFailed&) {
  }
  return reader.largestIndex();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return -1;
  }
  fuzzsupport::Harness harness;
  const int pick = data[0];
  Globals::inputFormat = "sparse";
  Globals::components = pick % 9;
  Globals::normInputVectors = (pick / 9) % 3;
  const bool named = (pick / 27) % 2 == 1;
  const std::string vectors = fuzzsupport::writeScratch("input.sparse", data + 1, size - 1);
  const std::string names = fuzzsupport::writeScratch("input.tv", "$TYPE\n$X\n$Y\n$DIM\n0 a x\n1 b x\n2 c x\n");
  if (Globals::components == 0 && !named && largestIndex(vectors) > kMaxLoadedComponents) {
    return 0;
  }
  try {
    fuzzsupport::loadFormatted(vectors.c_str(), named ? names.c_str() : nullptr);
  } catch (const fuzzsupport::RunFailed&) {
  }
  return 0;
}
