#include "output/outputsettings.h"

#include "globals.h"
#include "io/filenames.h"
#include "neuronlayer.h"

namespace {

// An unset text setting shows as empty. (Nothing is saved without savePath,
// and a run reads its inputFile before it saves.)
std::string textOf(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

std::string OutputSettings::mapFile(const NeuronLayer& map, std::string_view extension) const {
  return mapFileName(savePath, prefix, map.gid, map.getLevel(), map.getSuperPos()[0], map.getSuperPos()[1], extension);
}

std::string OutputSettings::runFile(std::string_view what) const { return runFileName(savePath, prefix, what); }

OutputSettings outputSettingsOfTheRun() {
  OutputSettings s;
  s.savePath = textOf(Globals::savePath);
  s.prefix = textOf(Globals::HTML_PREFIX);
  s.datafileExtension = textOf(Globals::DATAFILE_EXTENSION);
  s.inputFile = textOf(Globals::inputFile);
  s.classFile = textOf(Globals::classFile);
  if (Globals::MQE0_FILE != nullptr) {
    s.mqe0File = Globals::MQE0_FILE;
  }
  s.labelsNum = Globals::LABELS_NUM;
  s.labelsOnly = Globals::LABELS_ONLY;
  s.mapPages = Globals::SAVE_AS_HTML;
  s.tau1 = Globals::TAU_1;
  s.tau2 = Globals::TAU_2;
  s.expandCycles = Globals::EXPAND_CYCLES;
  s.maxCycles = Globals::MAX_CYCLES;
  s.normalisation = Globals::normInputVectors;
  s.randomSeed = Globals::randomSeed;
  s.randomSeedGiven = Globals::randomSeedGiven;
  s.trainingTime = Globals::trainingTime;
  return s;
}
