// One map of the overview page: the menu and legends above it, and the grid
// of its units with the borders between neighbours.

#include "output/overviewgrid.h"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "dataitem.h"
#include "globals.h"
#include "neuron.h"
#include "neuronlayer.h"
#include "output/figures.h"
#include "output/knownclasses.h"
#include "output/markup.h"
#include "output/outputsettings.h"
#include "output/overviewclasses.h"

namespace {

// Geometry of a map's grid, in pixels: one unit per pitch, cells drawn with a
// gap between them in which the borders between neighbours lie.
const int kPitch = 84;
const int kGap = 6;
const int kMargin = 4;
const int kCell = kPitch - kGap;
const int kLabelLines = 3;      // labels drawn in a cell; the tooltip has them all
const size_t kLabelChars = 13;  // characters of a label that fit a cell
const int kTooltipIds = 8;      // vector identifiers named in a unit's tooltip

struct Rgb {
  double r, g, b;
};
const Rgb kFew{247, 251, 255};   // cells: few vectors (or a low weight) ...
const Rgb kMany{8, 48, 107};     // ... to many (or a high weight)
const Rgb kNear{232, 232, 232};  // borders: similar neighbours ...
const Rgb kFar{200, 30, 30};     // ... to distant ones
const char* kEmptyFill = "#ffffff";
const int kClassesInTooltip = 6;  // class counts named in a unit's tooltip

// A unit's classes on the page, when classes are known.
struct UnitClassView {
  const OverviewClasses* classes = nullptr;
  const UnitClasses* unit = nullptr;
};

// The colour a fraction t of the way from a to b; t outside 0..1 (or not a
// number, from weights that overflowed) is held to the nearer end.
std::string mix(const Rgb& a, const Rgb& b, double t) {
  t = t > 0.0 ? std::min(t, 1.0) : 0.0;
  auto channel = [t](double from, double to) { return std::to_string(std::lround(from + (to - from) * t)); };
  return "rgb(" + channel(a.r, b.r) + "," + channel(a.g, b.g) + "," + channel(a.b, b.b) + ")";
}

// Dark cells get light text.
const char* textColour(double t) { return t > 0.5 ? "#ffffff" : "#222222"; }

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

std::vector<std::string> labelsOf(const Neuron& unit, int labelsNum) {
  std::vector<std::string> labels;
  if (labelsNum <= 0 || unit.representsMultiDataItems() == 0) {
    return labels;
  }
  String_Vector* found = unit.getLabels(labelsNum);
  for (int k = 0; k < found->size(); k++) {
    labels.push_back(found->elementAt(k) != nullptr ? found->elementAt(k) : "");
  }
  delete found;
  return labels;
}

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

// "class setosa: 48 of 50 (96 %)" and the counts of the classes present, largest first.
void classLines(std::ostream& tip, const UnitClassView& view, int n) {
  const UnitClasses& c = *view.unit;
  const std::vector<std::string>& names = view.classes->known().names();
  tip << "\nclass " << names[static_cast<size_t>(c.majority)] << ": " << c.majorityCount << " of " << n << " ("
      << 100.0 * c.majorityCount / n << " %)";
  std::vector<size_t> present;
  for (size_t k = 0; k < c.counts.size(); k++) {
    if (c.counts[k] > 0) present.push_back(k);
  }
  if (present.size() < 2) return;
  std::stable_sort(present.begin(), present.end(), [&c](size_t a, size_t b) { return c.counts[a] > c.counts[b]; });
  tip << "\nclasses:";
  for (size_t k = 0; k < present.size() && k < static_cast<size_t>(kClassesInTooltip); k++) {
    tip << (k == 0 ? " " : ", ") << names[present[k]] << " " << c.counts[present[k]];
  }
  if (present.size() > static_cast<size_t>(kClassesInTooltip)) {
    tip << " and " << present.size() - kClassesInTooltip << " more";
  }
}

std::string unitTooltip(const Neuron& unit, int column, int row, const std::vector<std::string>& labels,
                        const UnitClassView& view) {
  std::ostringstream tip;
  const int n = unit.representsMultiDataItems();
  tip << "unit " << column << "," << row << ": " << n << (n == 1 ? " vector" : " vectors");
  if (n > 0) {
    tip << ", QE " << unit.MQE;
  }
  if (view.unit != nullptr && n > 0) {
    classLines(tip, view, n);
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

// A bar along the foot of the cell: grey, and in the majority class's colour
// for the unit's share of vectors in that class.
void writeClassBar(std::ostream& out, const UnitClassView& view, int n, int left, int top) {
  const UnitClasses& c = *view.unit;
  const int width = kCell - 8;
  const int filled = static_cast<int>(std::lround(static_cast<double>(width) * c.majorityCount / n));
  out << "<rect x=\"" << left + 4 << "\" y=\"" << top + kCell - 11 << "\" width=\"" << width
      << "\" height=\"7\" fill=\"#e6e6e6\"/><rect class=\"cls\" data-c=\"" << c.majority << "\" x=\"" << left + 4
      << "\" y=\"" << top + kCell - 11 << "\" width=\"" << filled << "\" height=\"7\" fill=\""
      << view.classes->colour(c.majority) << "\"/>";
}

void writeCell(std::ostream& out, const OutputSettings& shown, const NeuronLayer& map, int column, int row,
               const MapScale& s, const UnitClassView& view) {
  const Neuron& unit = *map.getNeuron(column, row);
  const int n = unit.representsMultiDataItems();
  const std::vector<std::string> labels = labelsOf(unit, shown.labelsNum);
  const NeuronLayer* child = unit.getMap();
  const int left = kMargin + column * kPitch + kGap / 2;
  const int top = kMargin + row * kPitch + kGap / 2;
  const double t = s.maxCount > 0 ? static_cast<double>(n) / static_cast<double>(s.maxCount) : 0.0;

  out << "<g class=\"unit\"><title>" << unitTooltip(unit, column, row, labels, view) << "</title>";
  if (child != nullptr) {
    out << "<a href=\"#" << overviewSectionId(child->gid) << "\">";
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
  if (view.unit != nullptr && n > 0) {
    writeClassBar(out, view, n, left, top);
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

void writeGrid(std::ostream& out, const OutputSettings& shown, const NeuronLayer& map, const MapScale& s,
               const MapFigures* figures, const OverviewClasses* classes) {
  const int width = 2 * kMargin + map.getX() * kPitch;
  const int height = 2 * kMargin + map.getY() * kPitch;
  out << "<div class=\"scroll\"><svg class=\"grid\" id=\"grid-" << map.gid << "\" width=\"" << width << "\" height=\""
      << height << "\" viewBox=\"0 0 " << width << " " << height << "\" role=\"img\" aria-label=\"map " << map.gid
      << "\">\n";
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
      UnitClassView view;
      if (figures != nullptr && classes != nullptr && !figures->unitClasses.empty()) {
        view = {classes, &figures->unitClasses[static_cast<size_t>(row) * map.getX() + column]};
      }
      writeCell(out, shown, map, column, row, s, view);
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

}  // namespace

std::string overviewSectionId(int gid) { return "map-" + std::to_string(gid); }

void writeMapGrid(std::ostream& out, const OutputSettings& shown, const NeuronLayer& map, const MapFigures* figures,
                  const OverviewClasses* classes) {
  const MapScale s = scaleOf(map);
  writeControls(out, map, s);
  writeGrid(out, shown, map, s, figures, classes);
}
