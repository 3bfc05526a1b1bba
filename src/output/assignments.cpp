#include "output/assignments.h"

#include <ostream>
#include <unordered_map>
#include <vector>

#include "dataitem.h"
#include "globals.h"
#include "io/filenames.h"
#include "io/outputfile.h"
#include "neuron.h"
#include "neuronlayer.h"

namespace {

// Where one vector ended: the unit of the deepest map that holds it, and the
// units above it, first layer first.
struct Place {
  const NeuronLayer* map = nullptr;
  const Neuron* unit = nullptr;
  int column = 0;
  int row = 0;
  std::string path;
};

// After training, every vector of a map lies in exactly one of its units'
// lists, and a child map holds exactly its parent unit's vectors. So the walk
// over the hierarchy, level by level, meets each vector once per map on its
// way down, in the order of its path.
std::vector<Place> placeEveryVector() {
  Data_Vector* items = Globals::dataItems;
  std::unordered_map<const DataItem*, int> inputIndex;
  inputIndex.reserve(static_cast<size_t>(items->size()));
  for (int k = 0; k < items->size(); k++) {
    inputIndex[items->elementAt(k)] = k;
  }
  std::vector<Place> places(static_cast<size_t>(items->size()));
  Globals::forEachMap([&](const NeuronLayer* map) {
    for (int row = 0; row < map->getY(); row++) {
      for (int column = 0; column < map->getX(); column++) {
        const Neuron* unit = map->getNeuron(column, row);
        const Data_Vector* held = unit->getRepresentingDataItems();
        for (int k = 0; k < held->size(); k++) {
          auto found = inputIndex.find(held->elementAt(k));
          if (found == inputIndex.end()) {
            continue;
          }
          Place& p = places[static_cast<size_t>(found->second)];
          p.map = map;
          p.unit = unit;
          p.column = column;
          p.row = row;
          if (!p.path.empty()) {
            p.path += "/";
          }
          p.path += std::to_string(column) + "," + std::to_string(row);
        }
      }
    }
  });
  return places;
}

}  // namespace

std::string Assignments::fileName() { return runFileName(Globals::savePath, Globals::HTML_PREFIX, "assignments.csv"); }

std::string Assignments::csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    return text;
  }
  std::string quoted = "\"";
  for (char c : text) {
    quoted += c;
    if (c == '"') {
      quoted += '"';
    }
  }
  return quoted + "\"";
}

void Assignments::write(std::ostream& out) {
  out.precision(10);
  out << "id,map,level,column,row,distance,path\r\n";
  const std::vector<Place> places = placeEveryVector();
  Data_Vector* items = Globals::dataItems;
  for (int k = 0; k < items->size(); k++) {
    DataItem* item = items->elementAt(k);
    const Place& p = places[static_cast<size_t>(k)];
    out << csvField(item->getId()) << ",";
    if (p.map == nullptr) {
      out << ",,,,,\r\n";  // no map holds it; cannot happen after a complete training
      continue;
    }
    out << p.map->gid << "," << p.map->getLevel() << "," << p.column << "," << p.row << ","
        << Globals::calcQE(item, p.unit->weights) << "," << csvField(p.path) << "\r\n";
  }
}

void saveAssignments() {
  saveOutputFile(Assignments::fileName(), "Assignments file", [](std::ostream& out) { Assignments::write(out); });
}
