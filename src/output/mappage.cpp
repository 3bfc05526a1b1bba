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

namespace {

std::string pageOf(int gid, int level, int column, int row) {
  return mapFileStem(Globals::HTML_PREFIX, gid, level, column, row) + ".html";
}

// Links: to the child map's page (once, or once per vector), or per vector to
// files/ID (a folder the pages do not fill). Unlike the link up, these
// attribute values stand without quotes: the page format has them so.
void writeLinks(std::ostream& out, const NeuronLayer& map, const Neuron& unit, int xi, int yi) {
  const Data_Vector* items = unit.getRepresentingDataItems();
  const int n = unit.representsMultiDataItems();
  const NeuronLayer* child = unit.getMap();
  if (child != nullptr) {
    const std::string target = "<a href=" + pageOf(child->gid, map.getLevel() + 1, xi, yi) + ">";
    if (Globals::LABELS_ONLY && Globals::LABELS_NUM > 0) {
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
    out << "<a href=files/" << id << Globals::DATAFILE_EXTENSION << ">" << id << "</a><br>";
  }
}

// One line: "." for an empty unit; otherwise its error, its labels and links.
void writeCell(std::ostream& out, const NeuronLayer& map, int xi, int yi) {
  const Neuron& unit = *map.getNeuron(xi, yi);
  if (unit.representsMultiDataItems() == 0) {
    out << ".";
    return;
  }
  out << "QE: " << unit.MQE << "<BR>";
  if (Globals::LABELS_NUM > 0) {
    String_Vector* labels = unit.getLabels(Globals::LABELS_NUM);
    for (int k = 0; k < labels->size(); k++) {
      out << escapeHTML(labels->elementAt(k)) << "<BR>";
    }
    out << "<HR>";
    delete labels;
  }
  writeLinks(out, map, unit, xi, yi);
}

void writePage(std::ostream& out, const NeuronLayer& map) {
  out << "<HTML><BODY bgcolor=#FFFFFF text=#000000><TITLE>Layer " << map.getLevel() << " Map</TITLE>\n";
  out << "<H1>Layer " << map.getLevel() << " Map</H1><BR>\n";
  const Neuron* parent = map.getSuperNeuron();
  if (parent != nullptr) {
    out << "<a href=\"" << pageOf(parent->mapgid, parent->maplevel, parent->mapspx, parent->mapspy)
        << "\">Up one level</a><BR><BR>\n";
  }
  out << "TAU_1: " << map.getStupidity() * map.superMQE << "<BR>\n";
  out << "TAU_2: " << Globals::getFirstLayerMap()->superMQE * Globals::TAU_2 << "<BR>\n";
  out << "\n<BR><table border=4 cellpadding=4>\n";
  for (int yi = 0; yi < map.getY(); yi++) {
    out << "<tr>\n";
    for (int xi = 0; xi < map.getX(); xi++) {
      out << "<td align=left>\n";
      writeCell(out, map, xi, yi);
      out << "</td>\n";
    }
    out << "</tr>\n";
  }
  out << "</table></BODY></HTML>\n";
}

}  // namespace

void NeuronLayer::saveAsHTML() {
  saveOutputFile(fileName("html"), "HTML file", [this](std::ostream& out) { writePage(out, *this); });
}
