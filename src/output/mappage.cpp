// The HTML page of one map: its two error bounds and a table with one cell per
// unit (error, labels, links to the child map's page or to the data files of
// its vectors), with a link up to the parent map's page.

#include <ostream>
#include <string>

#include "dataitem.h"
#include "globals.h"
#include "io/filenames.h"
#include "io/outputfile.h"
#include "neuron.h"
#include "neuronlayer.h"
#include "output/markup.h"
#include "output/outputsettings.h"

namespace {

std::string pageOf(const OutputSettings& shown, int gid, int level, int column, int row) {
  return mapFileStem(shown.prefix, gid, level, column, row) + ".html";
}

// Links: to the child map's page (once, or once per vector), or per vector to
// files/ID (a folder the pages do not fill). Unlike the link up, these
// attribute values stand without quotes: the page format has them so.
void writeLinks(std::ostream& out, const OutputSettings& shown, const NeuronLayer& map, const Neuron& unit, int xi,
                int yi) {
  const Data_Vector* items = unit.getRepresentingDataItems();
  const int n = unit.representsMultiDataItems();
  const NeuronLayer* child = unit.getMap();
  if (child != nullptr) {
    const std::string target = "<a href=" + pageOf(shown, child->gid, map.getLevel() + 1, xi, yi) + ">";
    if (shown.labelsOnly && shown.labelsNum > 0) {
      out << target << "down</a><br>";
      return;
    }
    for (int k = 0; k < n; k++) {
      out << target << escapeHTML(items->elementAt(k)->getId()) << "</a><br>";
    }
    return;
  }
  for (int k = 0; k < n; k++) {
    const std::string id = escapeHTML(items->elementAt(k)->getId());
    out << "<a href=files/" << id << shown.datafileExtension << ">" << id << "</a><br>";
  }
}

// One line: "." for an empty unit; otherwise its error, its labels and links.
void writeCell(std::ostream& out, const OutputSettings& shown, const NeuronLayer& map, int xi, int yi) {
  const Neuron& unit = *map.getNeuron(xi, yi);
  if (unit.representsMultiDataItems() == 0) {
    out << ".";
    return;
  }
  out << "QE: " << unit.MQE << "<BR>";
  if (shown.labelsNum > 0) {
    String_Vector* labels = unit.getLabels(shown.labelsNum);
    for (int k = 0; k < labels->size(); k++) {
      out << escapeHTML(labels->elementAt(k)) << "<BR>";
    }
    out << "<HR>";
    delete labels;
  }
  writeLinks(out, shown, map, unit, xi, yi);
}

void writePage(std::ostream& out, const OutputSettings& shown, const NeuronLayer& map) {
  out << "<HTML><BODY bgcolor=#FFFFFF text=#000000><TITLE>Layer " << map.getLevel() << " Map</TITLE>\n";
  out << "<H1>Layer " << map.getLevel() << " Map</H1><BR>\n";
  const Neuron* parent = map.getSuperNeuron();
  if (parent != nullptr) {
    out << "<a href=\"" << pageOf(shown, parent->mapgid, parent->maplevel, parent->mapspx, parent->mapspy)
        << "\">Up one level</a><BR><BR>\n";
  }
  out << "TAU_1: " << map.getStupidity() * map.superMQE << "<BR>\n";
  out << "TAU_2: " << Globals::getFirstLayerMap()->superMQE * shown.tau2 << "<BR>\n";
  out << "\n<BR><table border=4 cellpadding=4>\n";
  for (int yi = 0; yi < map.getY(); yi++) {
    out << "<tr>\n";
    for (int xi = 0; xi < map.getX(); xi++) {
      out << "<td align=left>\n";
      writeCell(out, shown, map, xi, yi);
      out << "</td>\n";
    }
    out << "</tr>\n";
  }
  out << "</table></BODY></HTML>\n";
}

}  // namespace

void NeuronLayer::saveAsHTML(const OutputSettings& shown) {
  saveOutputFile(shown.mapFile(*this, "html"), "HTML file", [&](std::ostream& out) { writePage(out, shown, *this); });
}
