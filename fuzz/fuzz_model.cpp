// Fuzz target: the model reader (parseModel) on the fuzzed bytes. A model it
// accepts must be one the map command can use: it is written again and read
// back to the same text, and two vectors are walked down its hierarchy.

#include <cstdlib>
#include <string_view>
#include <vector>

#include "apply/hierarchywalk.h"
#include "fuzz_support.h"
#include "io/modelfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzsupport::Harness harness;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    const Model model = parseModel(text, "fuzzed");
    const std::string written = modelText(model);
    if (modelText(parseModel(written, "written")) != written) {
      abort();  // a model read back must be the model written
    }
    const MappingModel prepared(model);
    HierarchyWalk walk(prepared);
    for (float value : {0.0f, 1.0f}) {
      std::vector<float> x(static_cast<size_t>(prepared.components()), value);
      prepared.normalise(x.data());
      const HierarchyWalk::End end = walk.descend(x.data(), 0);
      if (end.map < 0 || end.map >= prepared.mapCount()) {
        abort();
      }
    }
  } catch (const fuzzsupport::RunFailed&) {
  }
  return 0;
}
