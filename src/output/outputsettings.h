#ifndef VELMAR_OUTPUT_OUTPUTSETTINGS_H
#define VELMAR_OUTPUT_OUTPUTSETTINGS_H

#include <optional>
#include <string>
#include <string_view>

class NeuronLayer;

// What the output files show of a run besides the hierarchy: where they go,
// how they are named, the settings they repeat and the training time. The
// writers take it as a value, so each can be tested with the settings it is
// given; outputSettingsOfTheRun makes it from the run in Globals. The
// hierarchy itself (maps, units, vectors, component names, MQE0) the writers
// read through the model.
struct OutputSettings {
  std::string savePath;           // the folder of every file
  std::string prefix;             // HTML_PREFIX, the first part of every file name
  std::string datafileExtension;  // DATAFILE_EXTENSION, of the vectors' data files the map pages link
  std::string inputFile;
  std::string classFile;                // "" when none is set
  std::optional<std::string> mqe0File;  // MQE0_FILE, when MQE0 was loaded
  int labelsNum = 0;                    // LABELS_NUM
  bool labelsOnly = false;              // LABELS_ONLY
  bool mapPages = false;                // saveAsHTML: the overview links each map's page
  float tau1 = 0.0f;
  float tau2 = 0.0f;
  int expandCycles = 0;
  int maxCycles = 0;
  int normalisation = 0;  // normInputVectors: 0 NONE, 1 LENGTH, 2 INTERVAL
  unsigned int randomSeed = 0;
  bool randomSeedGiven = false;
  float trainingTime = 0.0f;  // processor seconds

  // savePath/PREFIX_gid_level_column_row.extension
  std::string mapFile(const NeuronLayer& map, std::string_view extension) const;
  // savePath/PREFIX_what
  std::string runFile(std::string_view what) const;
};

// The settings and the training time of the run in Globals.
OutputSettings outputSettingsOfTheRun();

#endif
