#include "output/assignments.h"

#include <charconv>
#include <ostream>
#include <unordered_map>
#include <vector>

#include "dataitem.h"
#include "globals.h"
#include "io/outputfile.h"
#include "neuron.h"
#include "neuronlayer.h"
#include "output/knownclasses.h"
#include "output/outputsettings.h"

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

std::string Assignments::fileName(const OutputSettings& shown) { return shown.runFile("assignments.csv"); }

const char* const Assignments::kHeader = "id,map,level,column,row,distance,path\r\n";

std::string Assignments::csvField(const std::string& text) {
  std::string field;
  appendField(field, text);
  return field;
}

void Assignments::appendField(std::string& out, std::string_view text) {
  bool plain = true;
  for (char c : text) {
    plain = plain && c != ',' && c != '"' && c != '\r' && c != '\n';
  }
  if (plain) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    out += c;
    if (c == '"') {
      out += '"';
    }
  }
  out += '"';
}

std::string Assignments::unitPart(int gid, int level, int column, int row) {
  std::string part;
  for (int number : {gid, level, column, row}) {
    part += ',';
    part += std::to_string(number);
  }
  return part + ",";
}

void Assignments::appendLine(std::string& out, std::string_view id, std::string_view unitPart, float distance,
                             std::string_view path) {
  appendField(out, id);
  out += unitPart;
  // Ten significant digits, as a stream of precision 10 writes the float
  // (widened to double): enough to give the float back.
  char text[32];
  out.append(
      text, std::to_chars(text, text + sizeof text, static_cast<double>(distance), std::chars_format::general, 10).ptr);
  out += ',';
  appendField(out, path);
  out += "\r\n";
}

void Assignments::appendLine(std::string& out, std::string_view id, int gid, int level, int column, int row,
                             float distance, std::string_view path) {
  appendLine(out, id, unitPart(gid, level, column, row), distance, path);
}

void Assignments::write(std::ostream& out, const KnownClasses* classes) {
  if (classes == nullptr) {
    out << kHeader;
  } else {
    const std::string header(kHeader);
    out << header.substr(0, header.size() - 2) << ",class\r\n";
  }
  const std::vector<Place> places = placeEveryVector();
  Data_Vector* items = Globals::dataItems;
  std::string line;
  for (int k = 0; k < items->size(); k++) {
    DataItem* item = items->elementAt(k);
    const Place& p = places[static_cast<size_t>(k)];
    line.clear();
    if (p.map == nullptr) {
      appendField(line, item->getId());
      line += ",,,,,\r\n";  // no map holds it; cannot happen after a complete training
    } else {
      appendLine(line, item->getId(), p.map->gid, p.map->getLevel(), p.column, p.row,
                 Globals::calcQE(item, p.unit->weights), p.path);
    }
    if (classes != nullptr) {  // the class goes before the line end
      line.resize(line.size() - 2);
      line += ',';
      appendField(line, classes->names()[static_cast<size_t>(classes->classOf(item))]);
      line += "\r\n";
    }
    out << line;
  }
}

void saveAssignments(const OutputSettings& shown, const KnownClasses* classes) {
  saveOutputFile(Assignments::fileName(shown), "Assignments file",
                 [classes](std::ostream& out) { Assignments::write(out, classes); });
}
