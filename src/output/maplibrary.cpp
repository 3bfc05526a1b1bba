// The three map-library files of one map, plain keyword records with numbers
// to ten significant digits: the map description (size, training settings,
// the names of the other files), the weight vectors, one line per unit, and
// the unit descriptions, one block per unit (error, vectors, child map, labels).
//
// The file format has some oddities that readers of these files rely on:
// "Decription" in the first header line, no blank before the version in the
// unit file's header, and references to the weight and unit files ending in
// ".node" and ".map" although the files are written as ".unit" and
// ".mapdescr". They are kept as the format has them.

#include <ctime>
#include <ostream>
#include <string>

#include "config.h"
#include "dataitem.h"
#include "io/filenames.h"
#include "io/outputfile.h"
#include "neuron.h"
#include "neuronlayer.h"
#include "output/outputsettings.h"

namespace {

// Ten significant digits, the four comment lines (`firstPiece`, the version,
// a common tail) and the grid size.
void writeHeader(std::ostream& out, const char* firstPiece, const NeuronLayer& map) {
  out.precision(10);
  out << firstPiece << VELMAR_VERSION << " (Orvane)\n#Tobrin\n#\n";
  out << "$TYPE rect\n";
  out << "$XDIM " << map.getX() << "\n";
  out << "$YDIM " << map.getY() << "\n";
}

// gid_level_parentColumn/parentRow_column/row: names a unit across the hierarchy.
std::string unitIdentifier(const NeuronLayer& map, int column, int row) {
  return std::to_string(map.gid) + "_" + std::to_string(map.getLevel()) + "_" + std::to_string(map.getSuperPos()[0]) +
         "/" + std::to_string(map.getSuperPos()[1]) + "_" + std::to_string(column) + "/" + std::to_string(row);
}

void writeMapDescription(std::ostream& out, const OutputSettings& shown, const NeuronLayer& map) {
  writeHeader(out, "#SOM Map Decription File\n#created by " VELMAR_NAME " ", map);
  time_t now = time(nullptr);
  out << "$VEC_DIM " << map.getDataLength() << "\n";
  out << "$STORAGE_DATE " << ctime(&now);
  out << "$TRAINING_TIME " << shown.trainingTime << "\n";
  out << "$LEARNRATE_TYPE " VELMAR_NAME "-specific (sawtooth)\n";
  out << "$LEARNRATE_INIT " << map.getIniLearnrate() << "\n";
  out << "$NEIGHBORHOOD_TYPE " VELMAR_NAME "-specific (sawtooth)\n";
  out << "$NEIGHBORHOOD_INIT " << map.getIniNeighbourhood() << "\n";
  out << "$RAND_INIT " << shown.randomSeed << "\n";
  out << "$ITERATIONS_TOTAL " << map.getCurrentCycle() << "\n";
  out << "$NR_TRAINVEC_TOTAL " << map.getDataItems()->size() << "\n";
  out << "$VEC_NORMALIZED 1\n";
  out << "$URL_TRAINING_VEC " << shown.inputFile << "\n";
  out << "$URL_WEIGHT_VEC " << shown.mapFile(map, "wgt") << "\n";
  out << "$URL_MAPPED_INPUT_VEC " << shown.inputFile << "\n";
  out << "$URL_NODE_DESCR " << shown.mapFile(map, "node") << "\n";
  out << "$DESCRIPTION NONE\n";
  out << "$VELMAR_EXPAND_CYCLES " << shown.expandCycles << "\n";
  out << "$VELMAR_MAX_CYCLES " << shown.maxCycles << "\n";
  out << "$VELMAR_TAU_1 " << shown.tau1 << "\n";
  out << "$VELMAR_TAU_2 " << shown.tau2 << "\n";
}

void writeWeightVectors(std::ostream& out, const NeuronLayer& map) {
  writeHeader(out, "#SOM Weight Vector File\n#created by " VELMAR_NAME " ", map);
  out << "$VEC_DIM " << map.getDataLength() << "\n";
  for (int row = 0; row < map.getY(); row++) {
    for (int column = 0; column < map.getX(); column++) {
      const float* w = map.getNeuron(column, row)->weights;
      for (int k = 0; k < map.getDataLength(); k++) {
        out << w[k] << " ";
      }
      out << unitIdentifier(map, column, row) << "\n";
    }
  }
}

void writeUnitBlock(std::ostream& out, const OutputSettings& shown, const NeuronLayer& map, int column, int row) {
  const Neuron* unit = map.getNeuron(column, row);
  const Data_Vector* items = unit->getRepresentingDataItems();
  out << "$POS_X " << column << "\n";
  out << "$POS_Y " << row << "\n";
  out << "$NODE_ID " << unitIdentifier(map, column, row) << "\n";
  out << "$QUANTERROR_NODE " << unit->MQE << "\n";
  out << "$NR_VEC_MAPPED " << unit->representsMultiDataItems() << "\n";
  out << "$MAPPED_VECS ";
  for (int k = 0; k < items->size(); k++) {
    out << items->elementAt(k)->getId() << " ";
  }
  out << "\n";
  const NeuronLayer* child = unit->getMap();
  if (child != nullptr) {
    out << "$NR_SOMS_MAPPED 1\n";
    out << "$URL_MAPPED_SOMS "
        << mapFileName(shown.savePath, shown.prefix, child->gid, map.getLevel() + 1, column, row, "map") << "\n";
  } else {
    out << "$NR_SOMS_MAPPED 0\n";
  }
  if (shown.labelsNum > 0) {
    String_Vector* labels = unit->getLabels(shown.labelsNum);
    out << "$NR_LABELS " << labels->size() << "\n";
    for (int k = 0; k < labels->size(); k++) {
      out << "$LABEL " << labels->elementAt(k) << "\n";
    }
    delete labels;
  }
}

void writeUnitDescriptions(std::ostream& out, const OutputSettings& shown, const NeuronLayer& map) {
  writeHeader(out, "#SOM Node Description File\n#created by " VELMAR_NAME, map);
  for (int row = 0; row < map.getY(); row++) {
    for (int column = 0; column < map.getX(); column++) {
      writeUnitBlock(out, shown, map, column, row);
    }
  }
}

}  // namespace

// Three files, each complete and closed before the next is created.
void NeuronLayer::saveAsCartix(const OutputSettings& shown) {
  saveOutputFile(shown.mapFile(*this, "mapdescr"), "Cartix map file",
                 [&](std::ostream& out) { writeMapDescription(out, shown, *this); });
  saveOutputFile(shown.mapFile(*this, "wgt"), "Cartix wgt file",
                 [this](std::ostream& out) { writeWeightVectors(out, *this); });
  saveOutputFile(shown.mapFile(*this, "unit"), "Cartix node file",
                 [&](std::ostream& out) { writeUnitDescriptions(out, shown, *this); });
}
