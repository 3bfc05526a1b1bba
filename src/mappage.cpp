#include "mappage.h"

#include <ostream>

#include "dataitem.h"
#include "globals.h"
#include "neuron.h"
#include "neuronlayer.h"

namespace {

// Identifiers and component names are data: the four characters that could
// change the page's markup are written as entities.
std::string escapeHTML(const char* text) {
  std::string out;
  for (const char* p = text; *p != '\0'; p++) {
    switch (*p) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += *p;
    }
  }
  return out;
}

}  // namespace

std::string mapFileStem(int gid, int level, int column, int row) {
  return std::string(Globals::HTML_PREFIX) + "_" + std::to_string(gid) + "_" + std::to_string(level) + "_" +
         std::to_string(column) + "_" + std::to_string(row);
}

void MapPage::write(std::ostream& out, const NeuronLayer& map) {
  out << "<HTML><BODY bgcolor=#FFFFFF text=#000000><TITLE>Layer " << map.level << " Map</TITLE>\n";
  out << "<H1>Layer " << map.level << " Map</H1><BR>\n";
  const Neuron* parent = map.superNeuron;
  if (parent != nullptr) {
    out << "<a href=\"" << mapFileStem(parent->mapgid, parent->maplevel, parent->mapspx, parent->mapspy)
        << ".html\">Up one level</a><BR><BR>\n";
  }
  out << "TAU_1: " << map.stupidity * map.superMQE << "<BR>\n";
  out << "TAU_2: " << Globals::getFirstLayerMap()->superMQE * Globals::TAU_2 << "<BR>\n";
  out << "\n<BR><table border=4 cellpadding=4>\n";
  for (int yi = 0; yi < map.y; yi++) {
    out << "<tr>\n";
    for (int xi = 0; xi < map.x; xi++) {
      out << "<td align=left>\n";
      writeCell(out, map, xi, yi);
      out << "</td>\n";
    }
    out << "</tr>\n";
  }
  out << "</table></BODY></HTML>\n";
}

void MapPage::writeCell(std::ostream& out, const NeuronLayer& map, int xi, int yi) {
  const Neuron* unit = map.neuronMap[xi][yi];
  const Data_Vector* items = unit->getRepresentingDataItems();
  const int n = unit->representsMultiDataItems();
  if (n == 0) {
    out << ".";
    return;
  }
  out << "QE: " << unit->MQE << "<BR>";
  if (Globals::LABELS_NUM > 0) {
    String_Vector* labels = unit->getLabels(Globals::LABELS_NUM);
    for (int k = 0; k < labels->size(); k++) {
      out << escapeHTML(labels->elementAt(k)) << "<BR>";
    }
    out << "<HR>";
    delete labels;
  }
  const NeuronLayer* child = unit->getMap();
  if (child != nullptr) {
    const std::string target = "<a href=" + mapFileStem(child->gid, map.level + 1, xi, yi) + ".html>";
    if (Globals::LABELS_ONLY && Globals::LABELS_NUM > 0) {
      out << target << "down</a><br>";
    } else {
      for (int k = 0; k < n; k++) {
        out << target << escapeHTML(items->elementAt(k)->getId()) << "</a><br>";
      }
    }
  } else {
    for (int k = 0; k < n; k++) {
      const std::string id = escapeHTML(items->elementAt(k)->getId());
      out << "<a href=files/" << id << Globals::DATAFILE_EXTENSION << ">" << id << "</a><br>";
    }
  }
}
