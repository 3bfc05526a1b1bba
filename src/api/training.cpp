// velmar::train and what a trained hierarchy answers: the run is trained as
// the command line trains it, then set aside with its settings; the calls
// that need the hierarchy itself bring it back for their length.

#include <iostream>
#include <sstream>
#include <unordered_map>

#include "api/callguard.h"
#include "api/memoryrows.h"
#include "api/runsequence.h"
#include "api/velmar.h"
#include "base/failure.h"
#include "base/interrupt.h"
#include "dataitem.h"
#include "dataloader.h"
#include "globals.h"
#include "io/modelfile.h"
#include "neuron.h"
#include "neuronlayer.h"
#include "output/figures.h"
#include "output/knownclasses.h"
#include "output/modelexport.h"
#include "output/outputsettings.h"
#include "output/summary.h"
#include "settings/checks.h"
#include "settings/settingsnapshot.h"
#include "settings/settingtable.h"
#include "settings/settingvalues.h"
#include "training/progressline.h"

namespace velmar {

// A trained run set aside: what it built, its settings and its classes.
struct TrainedHierarchy::Run {
  BuiltRun built;
  SettingsSnapshot settings;
  std::unique_ptr<KnownClasses> classes;
};

namespace {

// Applies one pair as a property file's line would be (the value kept for the run).
void applyPair(const std::string& key, const std::string& value) {
  applySetting(Globals::keepText(key), Globals::keepText(value));
}

// The settings a library run sets itself: it reads its input from memory as
// a table or as sparse vectors, reads no other file and writes nothing.
void setLibraryRun(const TrainingInput& input) {
  applyPair("inputFile", input.name);
  applyPair("inputFormat", input.vectors.sparse != nullptr ? "sparse" : "csv");
  Globals::descriptionFile = nullptr;
  Globals::classFile = nullptr;
  Globals::savePath = nullptr;
  for (const char* key :
       {"printMQE", "saveAsHTML", "saveAsCartix", "saveOverview", "saveAssignments", "saveSummary", "saveModel"}) {
    applyPair(key, "false");
  }
}

std::vector<std::string> componentNames(const TrainingInput& input, int components) {
  if (input.componentNames.empty()) {
    std::vector<std::string> numbered;
    for (int i = 0; i < components; i++) numbered.push_back(std::to_string(i + 1));
    return numbered;
  }
  if (static_cast<int>(input.componentNames.size()) != components) {
    fail(input.name + ": " + std::to_string(input.componentNames.size()) + " component names for " +
         std::to_string(components) + " components");
  }
  return input.componentNames;
}

void readInput(const TrainingInput& input) {
  const MemoryRows rows(input.vectors, input.name);
  if (!input.classes.empty() && static_cast<long long>(input.classes.size()) != rows.rows()) {
    fail(input.name + ": " + std::to_string(input.classes.size()) + " classes for " + std::to_string(rows.rows()) +
         " vectors");
  }
  MemoryRecords records(rows, input.ids, input.name);
  Data_Vector* items =
      Globals::currentDataLoader->readRecords([&](std::string& id, float* values) { return records.next(id, values); },
                                              input.name, rows.columns(), componentNames(input, rows.columns()));
  delete Globals::dataItems;  // the empty start-up list
  Globals::dataItems = items;
}

// Every map in map-number order (which is the order of training), with its units.
// A unit's labels, as its page shows them.
std::vector<std::string> labelsOf(const Neuron* unit) {
  std::vector<std::string> labels;
  std::unique_ptr<String_Vector> chosen(unit->getLabels(Globals::LABELS_NUM));
  for (int k = 0; k < chosen->size(); k++) {
    labels.emplace_back(chosen->elementAt(k));
  }
  return labels;
}

std::vector<MapInfo> describeMaps(const std::unordered_map<const NeuronLayer*, int>& indexOf) {
  std::vector<MapInfo> maps;
  std::unordered_map<int, int> indexOfGid;
  for (const auto& [map, index] : indexOf) indexOfGid[map->gid] = index;
  const int components = Globals::vectorlength;
  Globals::forEachMap([&](const NeuronLayer* layer) {
    MapInfo map;
    map.gid = layer->gid;
    map.level = layer->getLevel();
    map.columns = layer->getX();
    map.rows = layer->getY();
    if (layer->getLevel() > 1) {
      map.parentMap = indexOfGid.at(layer->getSuperNeuron()->mapgid);
    }
    map.parentColumn = layer->getSuperPos()[0];
    map.parentRow = layer->getSuperPos()[1];
    for (int row = 0; row < map.rows; row++) {
      for (int column = 0; column < map.columns; column++) {
        const Neuron* unit = layer->getNeuron(column, row);
        map.weights.insert(map.weights.end(), unit->weights, unit->weights + components);
        map.vectors.push_back(const_cast<Neuron*>(unit)->representsMultiDataItems());
        map.errors.push_back(unit->MQE);
        map.childMap.push_back(unit->getMap() != nullptr ? indexOf.at(unit->getMap()) : -1);
        map.labels.push_back(labelsOf(unit));
      }
    }
    maps.push_back(std::move(map));
  });
  return maps;
}

// Each map's index in map-number order.
std::unordered_map<const NeuronLayer*, int> mapIndices() {
  std::unordered_map<const NeuronLayer*, int> indexOf;
  Globals::forEachMap([&](const NeuronLayer* map) { indexOf.emplace(map, static_cast<int>(indexOf.size())); });
  return indexOf;
}

// Where training left every input vector: after training each vector of a
// map lies in exactly one unit's list and a child map holds exactly its
// parent unit's vectors, so the walk over the maps in order meets a vector
// last in its deepest map.
std::vector<Placement> placeTrainingVectors(const std::unordered_map<const NeuronLayer*, int>& indexOf) {
  Data_Vector* items = Globals::dataItems;
  std::unordered_map<const DataItem*, size_t> inputIndex;
  inputIndex.reserve(static_cast<size_t>(items->size()));
  for (int k = 0; k < items->size(); k++) inputIndex.emplace(items->elementAt(k), static_cast<size_t>(k));
  std::vector<Placement> placed(inputIndex.size());
  std::vector<const float*> weightsOf(inputIndex.size(), nullptr);
  Globals::forEachMap([&](const NeuronLayer* map) {
    for (int row = 0; row < map->getY(); row++) {
      for (int column = 0; column < map->getX(); column++) {
        Neuron* unit = map->getNeuron(column, row);
        Data_Vector* held = unit->getRepresentingDataItems();
        for (int k = 0; k < held->size(); k++) {
          const size_t at = inputIndex.at(held->elementAt(k));
          placed[at] = {indexOf.at(map), row * map->getX() + column, 0.0f};
          weightsOf[at] = unit->weights;
        }
      }
    }
  });
  for (size_t k = 0; k < placed.size(); k++) {
    placed[k].distance = Globals::calcQE(items->elementAt(static_cast<int>(k)), weightsOf[k]);
  }
  return placed;
}

}  // namespace

void requestStop() { ::requestStop(); }

TrainedHierarchy::TrainedHierarchy() = default;
TrainedHierarchy::~TrainedHierarchy() = default;

std::shared_ptr<TrainedHierarchy> train(const Settings& settings, const TrainingInput& input,
                                        const RunOptions& options) {
  CallGuard guard(options.console);
  ProgressLine::showForLibrary(options.progress);
  std::shared_ptr<TrainedHierarchy> trained(new TrainedHierarchy());
  try {
    for (const auto& [key, value] : settings) {
      applyPair(key, value);
    }
    setLibraryRun(input);
    refuseSettingsOutOfRange();
    readInput(input);
    checkSettings();
    auto run = std::make_unique<TrainedHierarchy::Run>();
    if (!input.classes.empty()) {
      run->classes = KnownClasses::ofEachVector(input.classes, Globals::dataItems);
    }
    Globals::initHFM();
    Globals::trainHFM();
    trained->components_ = Globals::vectorlength;
    trained->vectors_ = Globals::numofallvecs;
    trained->mqe0_ = Globals::getFirstLayerMap()->superMQE;
    const auto indexOf = mapIndices();
    trained->maps_ = describeMaps(indexOf);
    trained->placements_ = placeTrainingVectors(indexOf);
    trained->modelText_ = modelText(ModelExport::ofRun(outputSettingsOfTheRun(), settingsOfTheRun()));
    run->settings = SettingsSnapshot::take();
    run->built = Globals::detachRun();
    trained->run_ = std::move(run);
  } catch (...) {
    ProgressLine::showAsTerminalsSay();
    throw;
  }
  ProgressLine::showAsTerminalsSay();
  return trained;
}

}  // namespace velmar

namespace velmar {

namespace {

// Brings a trained run back into Globals for the length of a call, with the
// settings it was trained with, and sets it aside again afterwards.
class Attached {
 public:
  explicit Attached(TrainedHierarchy::Run& run) : run_(run) {
    Globals::attachRun(std::move(run.built));
    run.settings.restore();
  }
  ~Attached() { run_.built = Globals::detachRun(); }
  Attached(const Attached&) = delete;
  Attached& operator=(const Attached&) = delete;

 private:
  TrainedHierarchy::Run& run_;
};

}  // namespace

std::string TrainedHierarchy::summaryJson() const {
  CallGuard guard(nullptr);
  if (summary_.empty()) {
    Attached attached(*run_);
    const RunFigures figures = measureHierarchy(run_->classes.get(), outputSettingsOfTheRun().trainingTime);
    std::ostringstream out;
    Summary::write(out, figures, run_->classes.get(), settingValues());
    summary_ = out.str();
  }
  return summary_;
}

void TrainedHierarchy::write(const std::string& folder, const Outputs& outputs, std::ostream* console) const {
  CallGuard guard(console);
  Attached attached(*run_);
  // The texts live for the call; the run's own settings come back afterwards.
  Globals::savePath = folder.c_str();
  Globals::HTML_PREFIX = outputs.prefix.c_str();
  Globals::DATAFILE_EXTENSION = outputs.datafileExtension.c_str();
  Globals::SAVE_AS_HTML = outputs.html;
  Globals::SAVE_OVERVIEW = outputs.overview;
  Globals::SAVE_ASSIGNMENTS = outputs.assignments;
  Globals::SAVE_AS_CARTIX = outputs.mapLibrary;
  Globals::SAVE_SUMMARY = outputs.summary;
  Globals::SAVE_MODEL = outputs.model;
  saveHierarchy(run_->classes.get());
  std::cout << std::flush;
}

}  // namespace velmar
