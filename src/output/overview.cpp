#include "output/overview.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <ostream>
#include <sstream>
#include <vector>

#include "dataitem.h"
#include "dataloader.h"
#include "globals.h"
#include "io/filenames.h"
#include "neuron.h"
#include "neuronlayer.h"
#include "io/outputfile.h"
#include "output/markup.h"

namespace {

// Geometry of a map's grid, in pixels: one unit per pitch, cells drawn with a
// gap between them in which the borders between neighbours lie.
const int kPitch = 84;
const int kGap = 6;
const int kMargin = 4;
const int kCell = kPitch - kGap;
const int kLabelLines = 3;    // labels drawn in a cell; the tooltip has them all
const size_t kLabelChars = 13;  // characters of a label that fit a cell
const int kTooltipIds = 8;    // vector identifiers named in a unit's tooltip

struct Rgb {
  double r, g, b;
};
const Rgb kFew{247, 251, 255};   // cells: few vectors (or a low weight) ...
const Rgb kMany{8, 48, 107};     // ... to many (or a high weight)
const Rgb kNear{232, 232, 232};  // borders: similar neighbours ...
const Rgb kFar{200, 30, 30};     // ... to distant ones
const char* kEmptyFill = "#ffffff";

// The colour a fraction t of the way from a to b; t outside 0..1 (or not a
// number, from weights that overflowed) is held to the nearer end.
std::string mix(const Rgb& a, const Rgb& b, double t) {
  t = t > 0.0 ? std::min(t, 1.0) : 0.0;
  auto channel = [t](double from, double to) { return std::to_string(std::lround(from + (to - from) * t)); };
  return "rgb(" + channel(a.r, b.r) + "," + channel(a.g, b.g) + "," + channel(a.b, b.b) + ")";
}

// Dark cells get light text.
const char* textColour(double t) { return t > 0.5 ? "#ffffff" : "#222222"; }

std::string sectionId(int gid) { return "map-" + std::to_string(gid); }

// At most `count` characters (not bytes) of UTF-8 text, "..." marking a cut.
std::string firstChars(const std::string& text, size_t count) {
  size_t chars = 0;
  for (size_t at = 0; at < text.size(); at++) {
    const bool startsChar = (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80;
    if (startsChar && chars++ == count) {
      return text.substr(0, at) + "\xE2\x80\xA6";
    }
  }
  return text;
}

std::string threeDigits(float value) {
  if (!std::isfinite(value)) {
    return "null";
  }
  char text[32];
  snprintf(text, sizeof text, "%.3g", static_cast<double>(value));
  return text;
}

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

std::vector<std::string> labelsOf(const Neuron& unit) {
  std::vector<std::string> labels;
  if (Globals::LABELS_NUM <= 0 || unit.representsMultiDataItems() == 0) {
    return labels;
  }
  String_Vector* found = unit.getLabels(Globals::LABELS_NUM);
  for (int k = 0; k < found->size(); k++) {
    labels.push_back(found->elementAt(k) != nullptr ? found->elementAt(k) : "");
  }
  delete found;
  return labels;
}

const char* normalisationName() {
  switch (Globals::normInputVectors) {
    case 1: return "LENGTH (each vector scaled to length 1)";
    case 2: return "INTERVAL (each component divided by its largest value)";
    default: return "NONE";
  }
}

// ---- The page head and the run summary ----

void writeHead(std::ostream& out) {
  out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<title>"
      << escapeMarkup(Globals::HTML_PREFIX)
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

void writeRunSummary(std::ostream& out, const Hierarchy& h) {
  const NeuronLayer* first = Globals::getFirstLayerMap();
  out << "<h1>Overview of the map hierarchy</h1>\n<table class=\"run\">\n";
  out << "<tr><th>Input file</th><td>" << escapeMarkup(Globals::inputFile) << "</td></tr>\n";
  out << "<tr><th>Vectors</th><td>" << Globals::dataItems->size() << " &times; " << Globals::vectorlength
      << " components</td></tr>\n";
  out << "<tr><th>Normalisation</th><td>" << normalisationName() << "</td></tr>\n";
  out << "<tr><th>MQE0</th><td>" << first->superMQE;
  if (Globals::MQE0_FILE != nullptr) {
    out << " (from " << escapeMarkup(Globals::MQE0_FILE) << ")";
  }
  out << "</td></tr>\n";
  out << "<tr><th>TAU_1, TAU_2</th><td>" << Globals::TAU_1 << ", " << Globals::TAU_2 << "</td></tr>\n";
  out << "<tr><th>EXPAND_CYCLES, MAX_CYCLES</th><td>" << Globals::EXPAND_CYCLES << ", " << Globals::MAX_CYCLES
      << (Globals::MAX_CYCLES > 0 ? "" : " (no limit)") << "</td></tr>\n";
  out << "<tr><th>Random seed</th><td>";
  if (Globals::randomSeedGiven) {
    out << Globals::randomSeed;
  } else {
    out << "none given (the unseeded sequence)";
  }
  out << "</td></tr>\n";
  out << "<tr><th>Hierarchy</th><td>" << h.levels << (h.levels == 1 ? " level, " : " levels, ") << h.maps.size()
      << (h.maps.size() == 1 ? " map, " : " maps, ") << h.units << " units</td></tr>\n";
  out << "<tr><th>Training time</th><td>" << Globals::trainingTime << " s</td></tr>\n</table>\n";
  out << "<p class=\"note\">Each square is a unit, shaded by the number of vectors it holds (darker: more; "
         "white: none). The bars between neighbouring units are shaded by the squared distance of their weight "
         "vectors (red: far apart, a border between clusters). A unit with a numbered badge was expanded into the "
         "child map of that number: click it. Hover over a unit for its error, all its labels and its first "
         "vectors. The menu above a map shades its units by one component's weight instead.</p>\n";
  out << "<p><button type=\"button\" id=\"open-all\">Open all maps</button> "
         "<button type=\"button\" id=\"close-all\">Close all</button></p>\n";
}

// ---- One map ----

// The largest number of vectors in a unit and the largest squared distance
// between the weights of two neighbouring units.
struct MapScale {
  int maxCount = 0;
  float maxDistance = 0.0f;
};

float neighbourDistance(const NeuronLayer& map, int column, int row, int otherColumn, int otherRow) {
  return Globals::calcQE(map.getNeuron(column, row)->weights, map.getNeuron(otherColumn, otherRow)->weights);
}

MapScale scaleOf(const NeuronLayer& map) {
  MapScale s;
  for (int row = 0; row < map.getY(); row++) {
    for (int column = 0; column < map.getX(); column++) {
      s.maxCount = std::max(s.maxCount, map.getNeuron(column, row)->representsMultiDataItems());
      if (column + 1 < map.getX()) {
        s.maxDistance = std::max(s.maxDistance, neighbourDistance(map, column, row, column + 1, row));
      }
      if (row + 1 < map.getY()) {
        s.maxDistance = std::max(s.maxDistance, neighbourDistance(map, column, row, column, row + 1));
      }
    }
  }
  return s;
}

void writeBorder(std::ostream& out, float distance, const MapScale& s, int x1, int y1, int x2, int y2) {
  const double t = s.maxDistance > 0.0f && std::isfinite(s.maxDistance)
                       ? static_cast<double>(distance) / static_cast<double>(s.maxDistance)
                       : 0.0;
  out << "<line x1=\"" << x1 << "\" y1=\"" << y1 << "\" x2=\"" << x2 << "\" y2=\"" << y2 << "\" stroke=\""
      << mix(kNear, kFar, t) << "\" stroke-width=\"" << kGap << "\"><title>squared distance " << distance
      << "</title></line>\n";
}

std::string unitTooltip(const Neuron& unit, int column, int row, const std::vector<std::string>& labels) {
  std::ostringstream tip;
  const int n = unit.representsMultiDataItems();
  tip << "unit " << column << "," << row << ": " << n << (n == 1 ? " vector" : " vectors");
  if (n > 0) {
    tip << ", QE " << unit.MQE;
  }
  if (!labels.empty()) {
    tip << "\nlabels:";
    for (size_t k = 0; k < labels.size(); k++) {
      tip << (k == 0 ? " " : ", ") << labels[k];
    }
  }
  if (n > 0) {
    const Data_Vector* items = unit.getRepresentingDataItems();
    tip << "\nvectors:";
    for (int k = 0; k < n && k < kTooltipIds; k++) {
      tip << (k == 0 ? " " : ", ") << items->elementAt(k)->getId();
    }
    if (n > kTooltipIds) {
      tip << " and " << n - kTooltipIds << " more";
    }
  }
  if (unit.getMap() != nullptr) {
    tip << "\nexpanded into map " << unit.getMap()->gid << " (click to open it)";
  }
  return escapeMarkup(tip.str());
}

void writeCell(std::ostream& out, const NeuronLayer& map, int column, int row, const MapScale& s) {
  const Neuron& unit = *map.getNeuron(column, row);
  const int n = unit.representsMultiDataItems();
  const std::vector<std::string> labels = labelsOf(unit);
  const NeuronLayer* child = unit.getMap();
  const int left = kMargin + column * kPitch + kGap / 2;
  const int top = kMargin + row * kPitch + kGap / 2;
  const double t = s.maxCount > 0 ? static_cast<double>(n) / static_cast<double>(s.maxCount) : 0.0;

  out << "<g class=\"unit\"><title>" << unitTooltip(unit, column, row, labels) << "</title>";
  if (child != nullptr) {
    out << "<a href=\"#" << sectionId(child->gid) << "\">";
  }
  out << "<rect class=\"cell\" data-u=\"" << row * map.getX() + column << "\" data-n=\"" << n << "\" x=\"" << left
      << "\" y=\"" << top << "\" width=\"" << kCell << "\" height=\"" << kCell << "\" rx=\"3\" fill=\""
      << (n == 0 ? kEmptyFill : mix(kFew, kMany, t)) << "\"";
  if (n == 0) {
    out << " stroke=\"#bbbbbb\" stroke-dasharray=\"3 2\"";
  }
  out << "/>";
  out << "<text class=\"t\" x=\"" << left + 4 << "\" y=\"" << top + 16 << "\" font-size=\"13\" font-weight=\"bold\" "
      << "fill=\"" << textColour(t) << "\">" << n << "</text>";
  for (int k = 0; k < kLabelLines && k < static_cast<int>(labels.size()); k++) {
    out << "<text class=\"t\" x=\"" << left + 4 << "\" y=\"" << top + 30 + 12 * k << "\" font-size=\"10\" fill=\""
        << textColour(t) << "\">" << escapeMarkup(firstChars(labels[k], kLabelChars)) << "</text>";
  }
  if (child != nullptr) {
    const std::string number = std::to_string(child->gid);
    const int width = 6 + 6 * static_cast<int>(number.size());
    out << "<rect x=\"" << left + kCell - width - 2 << "\" y=\"" << top + 2 << "\" width=\"" << width
        << "\" height=\"12\" rx=\"6\" fill=\"#f59e0b\" stroke=\"#ffffff\"/>"
        << "<text x=\"" << left + kCell - 2 - width / 2 << "\" y=\"" << top + 11
        << "\" font-size=\"9\" font-weight=\"bold\" text-anchor=\"middle\" fill=\"#222222\">" << number << "</text>";
    out << "</a>";
  }
  out << "</g>\n";
}

void writeGrid(std::ostream& out, const NeuronLayer& map, const MapScale& s) {
  const int width = 2 * kMargin + map.getX() * kPitch;
  const int height = 2 * kMargin + map.getY() * kPitch;
  out << "<div class=\"scroll\"><svg class=\"grid\" id=\"grid-" << map.gid << "\" width=\"" << width
      << "\" height=\"" << height << "\" viewBox=\"0 0 " << width << " " << height << "\" role=\"img\" aria-label=\"map "
      << map.gid << "\">\n";
  for (int row = 0; row < map.getY(); row++) {
    for (int column = 0; column < map.getX(); column++) {
      const int right = kMargin + (column + 1) * kPitch;
      const int bottom = kMargin + (row + 1) * kPitch;
      if (column + 1 < map.getX()) {
        writeBorder(out, neighbourDistance(map, column, row, column + 1, row), s, right, bottom - kPitch + kGap / 2,
                    right, bottom - kGap / 2);
      }
      if (row + 1 < map.getY()) {
        writeBorder(out, neighbourDistance(map, column, row, column, row + 1), s, right - kPitch + kGap / 2, bottom,
                    right - kGap / 2, bottom);
      }
    }
  }
  for (int row = 0; row < map.getY(); row++) {
    for (int column = 0; column < map.getX(); column++) {
      writeCell(out, map, column, row, s);
    }
  }
  out << "</svg></div>\n";
}

// The menu that re-shades the map (filled with the component names by the
// script, which also enables it) and the legends of shades and marks.
void writeControls(std::ostream& out, const NeuronLayer& map, const MapScale& s) {
  const int gid = map.gid;
  out << "<div class=\"controls\"><label>Shade units by <select class=\"comp\" data-map=\"" << gid
      << "\" disabled><option value=\"-1\">vectors per unit</option></select></label>\n";
  out << "<span class=\"legend\"><span id=\"cap-" << gid << "\">vectors per unit</span>: <span id=\"lo-" << gid
      << "\">0</span><svg width=\"100\" height=\"12\" aria-hidden=\"true\">";
  for (int k = 0; k < 10; k++) {
    out << "<rect x=\"" << 10 * k << "\" y=\"0\" width=\"10\" height=\"12\" fill=\"" << mix(kFew, kMany, k / 9.0)
        << "\"/>";
  }
  out << "</svg><span id=\"hi-" << gid << "\">" << s.maxCount << "</span></span>\n";
  out << "<span class=\"legend\">borders: near<svg width=\"60\" height=\"12\" aria-hidden=\"true\">";
  for (int k = 0; k < 5; k++) {
    out << "<rect x=\"" << 12 * k << "\" y=\"3\" width=\"12\" height=\"6\" fill=\"" << mix(kNear, kFar, k / 4.0)
        << "\"/>";
  }
  out << "</svg>far (largest squared distance " << s.maxDistance << ")</span>\n</div>\n";
}

std::string summaryFacts(const NeuronLayer& map) {
  std::ostringstream facts;
  facts << "level " << map.getLevel() << " &middot; " << map.getX() << " &times; " << map.getY() << " units &middot; MQE "
        << map.getMQE() << " &middot; " << map.getDataItems()->size() << " vectors";
  const Neuron* parent = map.getSuperNeuron();
  if (parent != nullptr && map.getLevel() > 1) {
    facts << " &middot; from unit " << map.getSuperPos()[0] << "," << map.getSuperPos()[1] << " of <a href=\"#"
          << sectionId(parent->mapgid) << "\">map " << parent->mapgid << "</a>";
  }
  if (Globals::SAVE_AS_HTML) {
    const std::string page =
        mapFileStem(Globals::HTML_PREFIX, map.gid, map.getLevel(), map.getSuperPos()[0], map.getSuperPos()[1]) + ".html";
    facts << " &middot; <a href=\"" << escapeMarkup(linkTo(page)) << "\">page</a>";
  }
  return facts.str();
}

void writeMap(std::ostream& out, const Hierarchy& h, const NeuronLayer& map) {
  const MapScale s = scaleOf(map);
  out << "<details class=\"map\" id=\"" << sectionId(map.gid) << "\" data-vectors=\"" << map.getDataItems()->size()
      << "\"" << (map.getLevel() == 1 ? " open" : "") << ">\n";
  out << "<summary>Map " << map.gid << " <span class=\"facts\">" << summaryFacts(map) << "</span></summary>\n";
  writeControls(out, map, s);
  writeGrid(out, map, s);
  auto kids = h.children.find(map.gid);
  if (kids != h.children.end()) {
    for (const NeuronLayer* child : kids->second) {
      writeMap(out, h, *child);
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

// Shades a map's cells by vectors per unit or by one component's weight (the
// same colours as the page starts with), opens the sections around a linked
// map, and fills and enables the menus when the weights are on the page.
const char* kScript = R"js(<script>
(function () {
  "use strict";
  var FEW = [247, 251, 255], MANY = [8, 48, 107];
  var holder = document.getElementById("velmar-weights");
  var data = holder ? JSON.parse(holder.textContent) : null;
  function mix(t) {
    var c = [0, 1, 2].map(function (k) { return Math.round(FEW[k] + (MANY[k] - FEW[k]) * t); });
    return "rgb(" + c.join(",") + ")";
  }
  function short(v) { return isFinite(v) ? String(Number(v.toPrecision(3))) : "-"; }
  function shade(select) {
    var gid = select.getAttribute("data-map");
    var cells = document.getElementById("grid-" + gid).querySelectorAll("rect.cell");
    var component = Number(select.value);
    var weights = component >= 0 && data ? data.maps[gid] : null;
    var width = data ? data.names.length : 0;
    var values = [], lo = weights ? Infinity : 0, hi = weights ? -Infinity : 0;
    for (var i = 0; i < cells.length; i++) {
      var v = weights ? weights[Number(cells[i].getAttribute("data-u")) * width + component]
                      : Number(cells[i].getAttribute("data-n"));
      v = typeof v === "number" ? v : NaN;
      values.push(v);
      if (isFinite(v)) { lo = Math.min(lo, v); hi = Math.max(hi, v); }
    }
    for (i = 0; i < cells.length; i++) {
      var t = hi > lo && isFinite(values[i]) ? (values[i] - lo) / (hi - lo) : 0;
      var empty = !weights && values[i] === 0;
      cells[i].setAttribute("fill", empty ? "#ffffff" : mix(t));
      var texts = cells[i].closest("g.unit").querySelectorAll("text.t");
      for (var k = 0; k < texts.length; k++) texts[k].setAttribute("fill", t > 0.5 ? "#ffffff" : "#222222");
    }
    document.getElementById("lo-" + gid).textContent = short(lo);
    document.getElementById("hi-" + gid).textContent = short(hi);
    document.getElementById("cap-" + gid).textContent = weights ? data.names[component] : "vectors per unit";
  }
  function reveal() {
    var id = decodeURIComponent(location.hash.slice(1));
    var target = id ? document.getElementById(id) : null;
    for (var node = target; node; node = node.parentElement) {
      if (node.tagName === "DETAILS") node.open = true;
    }
    if (target) target.scrollIntoView();
  }
  function openAll(open) {
    var all = document.querySelectorAll("details.map");
    for (var i = 0; i < all.length; i++) all[i].open = open;
  }
  var selects = document.querySelectorAll("select.comp");
  if (data) {
    var options = document.createDocumentFragment();
    data.names.forEach(function (name, k) {
      var option = document.createElement("option");
      option.value = String(k);
      option.textContent = name;
      options.appendChild(option);
    });
    for (var i = 0; i < selects.length; i++) {
      selects[i].appendChild(options.cloneNode(true));
      selects[i].disabled = false;
      selects[i].addEventListener("change", function (e) { shade(e.target); });
    }
  }
  document.getElementById("open-all").addEventListener("click", function () { openAll(true); });
  document.getElementById("close-all").addEventListener("click", function () { openAll(false); });
  window.addEventListener("hashchange", reveal);
  reveal();
})();
</script>
)js";

}  // namespace

std::string Overview::fileName() { return runFileName(Globals::savePath, Globals::HTML_PREFIX, "overview.html"); }

void Overview::write(std::ostream& out, size_t pageBudget) {
  const Hierarchy h = readHierarchy();
  std::ostringstream head, maps;
  writeHead(head);
  writeRunSummary(head, h);
  for (const NeuronLayer* map : h.maps) {
    if (map->getLevel() == 1) {
      writeMap(maps, h, *map);
    }
  }
  const std::string island = "<script type=\"application/json\" id=\"velmar-weights\">" + weightData(h) + "</script>\n";
  const std::string tail = "</body>\n</html>\n";
  const size_t withWeights = head.str().size() + maps.str().size() + island.size() + strlen(kScript) + tail.size();
  out << head.str();
  if (withWeights > pageBudget) {
    out << "<p class=\"note warn\">The component weights are left out: with them this page would be larger than "
        << static_cast<double>(pageBudget) / 1e6 << " MB. The menus above the maps are therefore switched off.</p>\n";
  }
  out << maps.str();
  if (withWeights <= pageBudget) {
    out << island;
  }
  out << kScript << tail;
}

void saveOverview() {
  saveOutputFile(Overview::fileName(), "Overview file", [](std::ostream& out) { Overview::write(out); });
}
