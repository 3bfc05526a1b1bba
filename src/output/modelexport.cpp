#include "output/modelexport.h"

#include <ostream>
#include <utility>

#include "dataloader.h"
#include "globals.h"
#include "io/filenames.h"
#include "io/outputfile.h"
#include "neuron.h"
#include "neuronlayer.h"

std::string ModelExport::fileName() { return runFileName(Globals::savePath, Globals::HTML_PREFIX, "model.txt"); }

Model ModelExport::ofRun(std::vector<Model::Setting> settings) {
  Model model;
  const int components = Globals::vectorlength;
  char** names = Globals::currentDataLoader->getVectorDescription();
  for (int i = 0; i < components; i++) {
    model.componentNames.emplace_back(names != nullptr && names[i] != nullptr ? names[i] : "");
  }
  model.normalisation = Globals::normInputVectors;
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

void saveModel(std::vector<Model::Setting> settings) {
  const Model model = ModelExport::ofRun(std::move(settings));
  saveOutputFileWhole(ModelExport::fileName(), "Model file", [&](std::ostream& out) { out << modelText(model); });
}
