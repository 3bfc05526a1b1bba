#include "output/overview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <ostream>
#include <sstream>
#include <vector>

#include "dataitem.h"
#include "dataloader.h"
#include "globals.h"
#include "io/filenames.h"
#include "io/outputfile.h"
#include "neuron.h"
#include "neuronlayer.h"
#include "output/figures.h"
#include "output/knownclasses.h"
#include "output/markup.h"
#include "output/outputsettings.h"
#include "output/overviewclasses.h"
#include "output/overviewgrid.h"
#include "output/overviewscript.h"

namespace {

std::string threeDigits(float value) {
  if (!std::isfinite(value)) {
    return "null";
  }
  char text[32];
  snprintf(text, sizeof text, "%.3g", static_cast<double>(value));
  return text;
}

// A figure for the page: three significant digits, "-" when undefined.
std::string figure(double value) {
  if (!std::isfinite(value)) {
    return "-";
  }
  char text[32];
  snprintf(text, sizeof text, "%.3g", value);
  return text;
}

std::string percent(double share) { return std::isfinite(share) ? figure(100.0 * share) + " %" : "-"; }

// The trained maps read from the registry, in the order of their numbers, and
// each map's child maps, also in that order.
struct Hierarchy {
  std::vector<const NeuronLayer*> maps;
  std::map<int, std::vector<const NeuronLayer*>> children;  // by the parent map's number
  int levels = 0;
  long long units = 0;
};

Hierarchy readHierarchy() {
  Hierarchy h;
  Globals::forEachMap([&h](const NeuronLayer* map) {
    h.maps.push_back(map);
    h.levels = std::max(h.levels, map->getLevel());
  });
  std::sort(h.maps.begin(), h.maps.end(), [](const NeuronLayer* a, const NeuronLayer* b) { return a->gid < b->gid; });
  for (const NeuronLayer* map : h.maps) {
    h.units += static_cast<long long>(map->getX()) * map->getY();
    if (map->getSuperNeuron() != nullptr && map->getLevel() > 1) {
      h.children[map->getSuperNeuron()->mapgid].push_back(map);
    }
  }
  return h;
}

const char* normalisationName(int normalisation) {
  switch (normalisation) {
    case 1:
      return "LENGTH (each vector scaled to length 1)";
    case 2:
      return "INTERVAL (each component divided by its largest value)";
    default:
      return "NONE";
  }
}

// ---- The page head and the run summary ----

void writeHead(std::ostream& out, const OutputSettings& shown) {
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<title>"
      << escapeMarkup(shown.prefix)
      << ": overview of the map hierarchy</title>\n"
         "<style>\n"
         "body{font-family:system-ui,sans-serif;margin:1.2em 1.5em;color:#222;background:#fff}\n"
         "h1{font-size:1.4em;margin:0 0 .5em}\n"
         "table.run{border-collapse:collapse;margin:0 0 .8em;font-size:.92em}\n"
         "table.run th{text-align:left;font-weight:600;padding:1px 1.2em 1px 0;vertical-align:top}\n"
         ".note{color:#555;font-size:.88em;max-width:62em;margin:.4em 0}\n"
         ".warn{color:#8a3b00}\n"
         "details.map{border-left:3px solid #c6dbef;margin:.5em 0 .5em .1em;padding-left:.8em}\n"
         "details.map>summary{cursor:pointer;padding:.15em 0;font-weight:600}\n"
         "summary .facts{font-weight:normal;color:#444}\n"
         ".controls{display:flex;flex-wrap:wrap;gap:.4em 1.4em;align-items:center;font-size:.85em;margin:.3em 0}\n"
         ".legend svg{vertical-align:middle;margin:0 .3em}\n"
         ".scroll{overflow-x:auto}\n"
         "svg.grid text{pointer-events:none}\n"
         "svg.grid a rect.cell{cursor:pointer}\n"
         "</style>\n</head>\n<body>\n";
}

// One class of the legend: its colour, name and number of vectors.
void writeLegendClass(std::ostream& out, const OverviewClasses& classes, int c) {
  out << "<span class=\"cls\"><svg width=\"12\" height=\"10\" aria-hidden=\"true\">"
      << "<rect width=\"12\" height=\"10\" fill=\"" << classes.colour(c) << "\"/></svg> "
      << escapeMarkup(classes.known().names()[static_cast<size_t>(c)]) << " ("
      << classes.known().vectorsPerClass()[static_cast<size_t>(c)] << ")</span>";
}

// The hierarchy's figures and the classes, rows of the run summary.
void writeQualityRows(std::ostream& out, const OutputSettings& shown, const HierarchyFigures& f,
                      const OverviewClasses* classes) {
  out << "<tr><th>Quality</th><td>at each vector's deepest unit: mean quantization error "
      << figure(f.meanQuantizationError) << ", explained variance " << figure(f.explainedVariance);
  if (classes != nullptr) {
    out << ", leaf purity " << percent(f.purity);
  }
  out << "; " << f.leafUnits << " leaf units</td></tr>\n";
  if (classes == nullptr) {
    return;
  }
  out << "<tr><th>Classes</th><td>";
  for (size_t k = 0; k < classes->named().size(); k++) {
    out << (k == 0 ? "" : " ");
    writeLegendClass(out, *classes, classes->named()[k]);
  }
  if (!classes->folded().empty()) {
    out << "<details class=\"more\"><summary style=\"cursor:pointer\">" << classes->folded().size()
        << " more classes</summary>";
    for (size_t k = 0; k < classes->folded().size(); k++) {
      out << (k == 0 ? "" : " ");
      writeLegendClass(out, *classes, classes->folded()[k]);
    }
    out << "</details>";
  }
  const KnownClasses& known = classes->known();
  if (known.unknownIdentifiers() > 0) {
    out << "; " << known.unknownIdentifiers() << " identifiers of " << escapeMarkup(shown.classFile)
        << " are not in the input file";
  }
  out << "</td></tr>\n";
}

void writeRunSummary(std::ostream& out, const OutputSettings& shown, const Hierarchy& h, const RunFigures* figures,
                     const OverviewClasses* classes) {
  const NeuronLayer* first = Globals::getFirstLayerMap();
  out << "<h1>Overview of the map hierarchy</h1>\n<table class=\"run\">\n";
  out << "<tr><th>Input file</th><td>" << escapeMarkup(shown.inputFile) << "</td></tr>\n";
  out << "<tr><th>Vectors</th><td>" << Globals::dataItems->size() << " &times; " << Globals::vectorlength
      << " components</td></tr>\n";
  out << "<tr><th>Normalisation</th><td>" << normalisationName(shown.normalisation) << "</td></tr>\n";
  out << "<tr><th>MQE0</th><td>" << first->superMQE;
  if (shown.mqe0File) {
    out << " (from " << escapeMarkup(*shown.mqe0File) << ")";
  }
  out << "</td></tr>\n";
  out << "<tr><th>TAU_1, TAU_2</th><td>" << shown.tau1 << ", " << shown.tau2 << "</td></tr>\n";
  out << "<tr><th>EXPAND_CYCLES, MAX_CYCLES</th><td>" << shown.expandCycles << ", " << shown.maxCycles
      << (shown.maxCycles > 0 ? "" : " (no limit)") << "</td></tr>\n";
  out << "<tr><th>Random seed</th><td>";
  if (shown.randomSeedGiven) {
    out << shown.randomSeed;
  } else {
    out << "none given (the unseeded sequence)";
  }
  out << "</td></tr>\n";
  out << "<tr><th>Hierarchy</th><td>" << h.levels << (h.levels == 1 ? " level, " : " levels, ") << h.maps.size()
      << (h.maps.size() == 1 ? " map, " : " maps, ") << h.units << " units</td></tr>\n";
  out << "<tr><th>Training time</th><td>" << shown.trainingTime << " s</td></tr>\n";
  if (figures != nullptr) {
    writeQualityRows(out, shown, figures->hierarchy, classes);
  }
  out << "</table>\n";
  out << "<p class=\"note\">Each square is a unit, shaded by the number of vectors it holds (darker: more; "
         "white: none). The bars between neighbouring units are shaded by the squared distance of their weight "
         "vectors (red: far apart, a border between clusters). A unit with a numbered badge was expanded into the "
         "child map of that number: click it. Hover over a unit for its error, all its labels and its first "
         "vectors. The menu above a map shades its units by one component's weight instead.</p>\n";
  if (figures != nullptr) {
    out << "<p class=\"note\">Each map names its mean quantization error (the mean distance, not squared, of its "
           "vectors to their units), its topographic error (the share of vectors whose nearest and second-nearest "
           "units are not neighbours) and its explained variance (1 - squared distances to the units / squared "
           "distances to the mean)"
        << (classes != nullptr ? "; and its purity (the share of vectors in their unit's majority class). The bar "
                                 "at the foot of a unit has its majority class's colour, as long as its share of "
                                 "vectors in that class"
                               : "");
    if (classes != nullptr && !classes->folded().empty()) {
      out << " (the classes beyond the " << classes->named().size() << " largest share one neutral colour)";
    }
    out << ".</p>\n";
  }
  out << "<p><button type=\"button\" id=\"open-all\">Open all maps</button> "
         "<button type=\"button\" id=\"close-all\">Close all</button></p>\n";
}

// ---- One map ----

std::string summaryFacts(const OutputSettings& shown, const NeuronLayer& map, const MapFigures* figures,
                         bool withClasses) {
  std::ostringstream facts;
  facts << "level " << map.getLevel() << " &middot; " << map.getX() << " &times; " << map.getY()
        << " units &middot; MQE " << map.getMQE() << " &middot; " << map.getDataItems()->size() << " vectors";
  if (figures != nullptr) {
    facts << " &middot; mean QE " << figure(figures->meanQuantizationError) << " &middot; topographic error "
          << percent(figures->topographicError) << " &middot; explained variance "
          << figure(figures->explainedVariance);
    if (withClasses) {
      facts << " &middot; purity " << percent(figures->purity);
    }
  }
  const Neuron* parent = map.getSuperNeuron();
  if (parent != nullptr && map.getLevel() > 1) {
    facts << " &middot; from unit " << map.getSuperPos()[0] << "," << map.getSuperPos()[1] << " of <a href=\"#"
          << overviewSectionId(parent->mapgid) << "\">map " << parent->mapgid << "</a>";
  }
  if (shown.mapPages) {
    const std::string page =
        mapFileStem(shown.prefix, map.gid, map.getLevel(), map.getSuperPos()[0], map.getSuperPos()[1]) + ".html";
    facts << " &middot; <a href=\"" << escapeMarkup(linkTo(page)) << "\">page</a>";
  }
  return facts.str();
}

void writeMap(std::ostream& out, const OutputSettings& shown, const Hierarchy& h, const NeuronLayer& map,
              const RunFigures* figures, const OverviewClasses* classes) {
  const MapFigures* own = figures != nullptr ? figures->ofMap(map.gid) : nullptr;
  out << "<details class=\"map\" id=\"" << overviewSectionId(map.gid) << "\" data-vectors=\""
      << map.getDataItems()->size() << "\"" << (map.getLevel() == 1 ? " open" : "") << ">\n";
  out << "<summary>Map " << map.gid << " <span class=\"facts\">" << summaryFacts(shown, map, own, classes != nullptr)
      << "</span></summary>\n";
  writeMapGrid(out, shown, map, own, classes);
  auto kids = h.children.find(map.gid);
  if (kids != h.children.end()) {
    for (const NeuronLayer* child : kids->second) {
      writeMap(out, shown, h, *child, figures, classes);
    }
  }
  out << "</details>\n";
}

// ---- The component data and the script ----

// {"names":[...],"maps":{"gid":[weights of every unit in scan order, components inner],...}}
std::string weightData(const Hierarchy& h) {
  std::string data = "{\"names\":[";
  char** names = Globals::currentDataLoader->getVectorDescription();
  for (int k = 0; k < Globals::vectorlength; k++) {
    data += (k == 0 ? "" : ",") + jsonString(names != nullptr && names[k] != nullptr ? names[k] : "");
  }
  data += "],\"maps\":{";
  for (size_t m = 0; m < h.maps.size(); m++) {
    const NeuronLayer& map = *h.maps[m];
    data += (m == 0 ? "\"" : ",\"") + std::to_string(map.gid) + "\":[";
    bool first = true;
    for (int row = 0; row < map.getY(); row++) {
      for (int column = 0; column < map.getX(); column++) {
        const float* w = map.getNeuron(column, row)->weights;
        for (int k = 0; k < Globals::vectorlength; k++) {
          if (!first) {
            data += ",";
          }
          first = false;
          data += threeDigits(w[k]);
        }
      }
    }
    data += "]";
  }
  return data + "}}";
}

}  // namespace

std::string Overview::fileName(const OutputSettings& shown) { return shown.runFile("overview.html"); }

void Overview::write(std::ostream& out, const OutputSettings& shown, size_t pageBudget, const RunFigures* figures,
                     const KnownClasses* known) {
  const Hierarchy h = readHierarchy();
  std::optional<OverviewClasses> shownClasses;
  if (known != nullptr) shownClasses.emplace(*known);
  const OverviewClasses* classes = shownClasses ? &*shownClasses : nullptr;
  std::ostringstream head, maps;
  writeHead(head, shown);
  writeRunSummary(head, shown, h, figures, classes);
  for (const NeuronLayer* map : h.maps) {
    if (map->getLevel() == 1) {
      writeMap(maps, shown, h, *map, figures, classes);
    }
  }
  const std::string island = "<script type=\"application/json\" id=\"velmar-weights\">" + weightData(h) + "</script>\n";
  const std::string tail = "</body>\n</html>\n";
  const size_t withWeights =
      head.str().size() + maps.str().size() + island.size() + strlen(kOverviewScript) + tail.size();
  out << head.str();
  if (withWeights > pageBudget) {
    out << "<p class=\"note warn\">The component weights are left out: with them this page would be larger than "
        << static_cast<double>(pageBudget) / 1e6 << " MB. The menus above the maps are therefore switched off.</p>\n";
  }
  out << maps.str();
  if (withWeights <= pageBudget) {
    out << island;
  }
  out << kOverviewScript << tail;
}

void saveOverview(const OutputSettings& shown, const RunFigures* figures, const KnownClasses* classes) {
  saveOutputFile(Overview::fileName(shown), "Overview file",
                 [&](std::ostream& out) { Overview::write(out, shown, Overview::kPageBudget, figures, classes); });
}
