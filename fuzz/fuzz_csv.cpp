// Fuzz target: the table reader, through the loader (inputFormat=csv). The
// first fuzzed byte picks the settings: the separator (, ; tab), whether
// idColumn names the column "id", the normalisation (none, length,
// interval), and whether a description file naming "a" and "b" is given;
// the rest is the table.

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return -1;
  }
  fuzzsupport::Harness harness;
  const int pick = data[0];
  const char* separators[] = {",", ";", "tab"};
  Globals::inputFormat = "csv";
  Globals::separator = separators[pick % 3];
  Globals::idColumn = (pick / 3) % 2 == 1 ? "id" : nullptr;
  Globals::normInputVectors = (pick / 6) % 3;
  const bool named = (pick / 18) % 2 == 1;
  const std::string table = fuzzsupport::writeScratch("input.csv", data + 1, size - 1);
  const std::string names = fuzzsupport::writeScratch("input.tv", "$TYPE\n$X\n$Y\n$DIM\n0 a x\n1 b x\n");
  try {
    fuzzsupport::loadFormatted(table.c_str(), named ? names.c_str() : nullptr);
  } catch (const fuzzsupport::RunFailed&) {
  }
  return 0;
}
