// Fuzz target: the class-file reader and the match of its identifiers to the
// input vectors (v0, v1, v2 of a small valid input file). The fuzzed bytes
// are the class file.

#include "fuzz_support.h"
#include "io/classfile.h"
#include "output/knownclasses.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::Harness harness;
  const std::string input = fuzzsupport::writeScratch("input.vec", fuzzsupport::smallInputFile(2));
  const std::string classes = fuzzsupport::writeScratch("classes.csv", data, size);
  try {
    fuzzsupport::loadInput(input.c_str());
    const KnownClasses known(readClassFile(classes.c_str()), Globals::dataItems);
    for (int k = 0; k < Globals::dataItems->size(); k++) {
      if (known.classOf(Globals::dataItems->elementAt(k)) >= static_cast<int>(known.names().size())) {
        __builtin_trap();  // every vector has one of the classes named
      }
    }
  } catch (const fuzzsupport::RunFailed&) {
  }
  return 0;
}
