#include "output/modelexport.h"

#include <ostream>
#include <utility>

#include "dataloader.h"
#include "globals.h"
#include "io/outputfile.h"
#include "neuron.h"
#include "neuronlayer.h"
#include "output/outputsettings.h"

std::string ModelExport::fileName(const OutputSettings& shown) { return shown.runFile("model.txt"); }

Model ModelExport::ofRun(const OutputSettings& shown, std::vector<Model::Setting> settings) {
  Model model;
  const int components = Globals::vectorlength;
  char** names = Globals::currentDataLoader->getVectorDescription();
  for (int i = 0; i < components; i++) {
    model.componentNames.emplace_back(names != nullptr && names[i] != nullptr ? names[i] : "");
  }
  model.normalisation = shown.normalisation;
  model.intervalDivisors = Globals::currentDataLoader->getIntervalDivisors();
  model.mqe0 = Globals::getFirstLayerMap()->superMQE;
  model.vectors = Globals::numofallvecs;
  model.settings = std::move(settings);
  Globals::forEachMap([&](const NeuronLayer* layer) {
    Model::Map map;
    map.gid = layer->gid;
    map.level = layer->getLevel();
    map.columns = layer->getX();
    map.rows = layer->getY();
    // A unit knows the number of the map that holds it; the first layer has no parent unit.
    map.parentGid = layer->getLevel() > 1 ? layer->getSuperNeuron()->mapgid : 0;
    map.parentColumn = layer->getSuperPos()[0];
    map.parentRow = layer->getSuperPos()[1];
    for (int row = 0; row < map.rows; row++) {
      for (int column = 0; column < map.columns; column++) {
        const Neuron* unit = layer->getNeuron(column, row);
        map.childGid.push_back(unit->getMap() != nullptr ? unit->getMap()->gid : 0);
        map.weights.insert(map.weights.end(), unit->weights, unit->weights + components);
      }
    }
    model.maps.push_back(std::move(map));
  });
  return model;
}

void saveModel(const OutputSettings& shown, std::vector<Model::Setting> settings) {
  const Model model = ModelExport::ofRun(shown, std::move(settings));
  saveOutputFileWhole(ModelExport::fileName(shown), "Model file", [&](std::ostream& out) { out << modelText(model); });
}
