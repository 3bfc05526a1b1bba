#ifndef VELMAR_MODELEXPORT_H
#define VELMAR_MODELEXPORT_H

#include <string>
#include <vector>

#include "io/modelfile.h"

struct OutputSettings;

// The trained hierarchy as a model that maps new vectors (io/modelfile.h):
// the components, the normalisation with the divisors the loader used, MQE0,
// every map with its units' weights, and the settings of the run.
class ModelExport {
 public:
  ModelExport() = delete;

  // savePath/PREFIX_model.txt
  static std::string fileName(const OutputSettings& shown);
  // The model of the run just trained, with the normalisation `shown` names;
  // `settings` are recorded as given.
  static Model ofRun(const OutputSettings& shown, std::vector<Model::Setting> settings);
};

// Announces and writes the model file, whole or not at all under its name
// (see saveOutputFileWhole); a failure ends the run like every other output file.
void saveModel(const OutputSettings& shown, std::vector<Model::Setting> settings);

#endif
