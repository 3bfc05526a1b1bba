// Fuzz target: the property-file reader (getProps) on a file of the fuzzed
// bytes, which applies every pair to the settings.

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::Harness harness;
  const std::string path = fuzzsupport::writeScratch("input.prop", data, size);
  try {
    getProps(path.c_str());
  } catch (const fuzzsupport::RunFailed&) {
  }
  return 0;
}
