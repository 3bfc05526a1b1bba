#include "output/summary.h"

#include <ostream>
#include <sstream>

#include "globals.h"
#include "io/outputfile.h"
#include "neuronlayer.h"
#include "output/knownclasses.h"
#include "output/markup.h"
#include "output/outputsettings.h"

namespace {

std::string integer(long long value) { return std::to_string(value); }

// One object: on one line, or with a member per line at `indent`.
void writeObject(std::ostream& out, const JsonMembers& members, const char* indent) {
  const bool oneLine = indent == nullptr;
  out << "{";
  for (size_t k = 0; k < members.size(); k++) {
    out << (k == 0 ? "" : ",") << (oneLine ? (k == 0 ? "" : " ") : "\n") << (oneLine ? "" : indent)
        << jsonText(members[k].first) << ": " << members[k].second;
  }
  if (!oneLine && !members.empty()) {
    out << "\n" << std::string(std::char_traits<char>::length(indent) - 2, ' ');
  }
  out << "}";
}

// A list of objects, each on the list's line: [{...}, {...}].
std::string listOfObjects(const std::vector<JsonMembers>& objects) {
  std::ostringstream list;
  list << "[";
  for (size_t k = 0; k < objects.size(); k++) {
    list << (k == 0 ? "" : ", ");
    writeObject(list, objects[k], nullptr);
  }
  list << "]";
  return list.str();
}

JsonMembers hierarchyMembers(const HierarchyFigures& h, const KnownClasses* classes) {
  JsonMembers m = {
      {"levels", integer(h.levels)},
      {"maps", integer(h.maps)},
      {"units", integer(h.units)},
      {"leafUnits", integer(h.leafUnits)},
      {"vectors", integer(h.vectors)},
      {"meanQuantizationError", jsonFloat(h.meanQuantizationError)},
      {"explainedVariance", jsonFloat(h.explainedVariance)},
      {"trainingSeconds", jsonFloat(h.trainingSeconds)},
      {"mqe0", jsonFloat(Globals::getFirstLayerMap()->superMQE)},
  };
  if (classes != nullptr) {
    m.push_back({"purity", jsonFloat(h.purity)});
    m.push_back({"adjustedRandIndex", jsonFloat(h.adjustedRandIndex)});
    std::vector<JsonMembers> levels;
    for (const LevelFigures& l : h.byLevel) {
      levels.push_back({{"level", integer(l.level)},
                        {"clusters", integer(l.clusters)},
                        {"adjustedRandIndex", jsonFloat(l.adjustedRandIndex)}});
    }
    m.push_back({"byLevel", listOfObjects(levels)});
    std::vector<JsonMembers> sizes;
    for (size_t c = 0; c < classes->names().size(); c++) {
      sizes.push_back({{"name", jsonText(classes->names()[c])}, {"vectors", integer(classes->vectorsPerClass()[c])}});
    }
    m.push_back({"classes", listOfObjects(sizes)});
    m.push_back({"unknownIdentifiers", integer(classes->unknownIdentifiers())});
  }
  return m;
}

JsonMembers mapMembers(const MapFigures& f, bool withClasses) {
  JsonMembers m = {
      {"map", integer(f.map)},
      {"level", integer(f.level)},
      {"parentMap", f.parentMap < 0 ? "null" : integer(f.parentMap)},
      {"parentColumn", integer(f.parentColumn)},
      {"parentRow", integer(f.parentRow)},
      {"columns", integer(f.columns)},
      {"rows", integer(f.rows)},
      {"vectors", integer(f.vectors)},
      {"units", integer(f.units)},
      {"emptyUnits", integer(f.emptyUnits)},
      {"meanQuantizationError", jsonFloat(f.meanQuantizationError)},
      {"meanSquaredError", jsonFloat(f.meanSquaredError)},
      {"topographicError", jsonFloat(f.topographicError)},
      {"explainedVariance", jsonFloat(f.explainedVariance)},
      {"errorBound", jsonFloat(f.errorBound)},
      {"errorReached", jsonFloat(f.errorReached)},
  };
  if (withClasses) {
    m.push_back({"purity", jsonFloat(f.purity)});
  }
  return m;
}

}  // namespace

std::string Summary::fileName(const OutputSettings& shown) { return shown.runFile("summary.json"); }

void Summary::write(std::ostream& out, const RunFigures& figures, const KnownClasses* classes,
                    const JsonMembers& settings) {
  out << "{\n  \"settings\": ";
  writeObject(out, settings, "    ");
  out << ",\n  \"hierarchy\": ";
  writeObject(out, hierarchyMembers(figures.hierarchy, classes), "    ");
  out << ",\n  \"maps\": [";
  for (size_t k = 0; k < figures.maps.size(); k++) {
    out << (k == 0 ? "\n    " : ",\n    ");
    writeObject(out, mapMembers(figures.maps[k], classes != nullptr), nullptr);
  }
  out << "\n  ]\n}\n";
}

void saveSummary(const OutputSettings& shown, const RunFigures& figures, const KnownClasses* classes,
                 const JsonMembers& settings) {
  saveOutputFile(Summary::fileName(shown), "Summary file",
                 [&](std::ostream& out) { Summary::write(out, figures, classes, settings); });
}
