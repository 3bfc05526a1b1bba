#include "maplibrary.h"

#include <ctime>
#include <ostream>

#include "config.h"
#include "dataitem.h"
#include "globals.h"
#include "mappage.h"
#include "neuron.h"
#include "neuronlayer.h"

void MapLibrary::writeHeader(std::ostream& out, const char* firstPiece, const NeuronLayer& map) {
  out.precision(10);
  out << firstPiece << VELMAR_VERSION << " (Orvane)\n#Tobrin\n#\n";
  out << "$TYPE rect\n";
  out << "$XDIM " << map.x << "\n";
  out << "$YDIM " << map.y << "\n";
}

std::string MapLibrary::unitIdentifier(const NeuronLayer& map, int column, int row) {
  return std::to_string(map.gid) + "_" + std::to_string(map.level) + "_" + std::to_string(map.superPos[0]) + "/" +
         std::to_string(map.superPos[1]) + "_" + std::to_string(column) + "/" + std::to_string(row);
}

void MapLibrary::writeMapDescription(std::ostream& out, const NeuronLayer& map) {
  writeHeader(out, "#SOM Map Decription File\n#created by " VELMAR_NAME " ", map);
  time_t now = time(nullptr);
  out << "$VEC_DIM " << map.dataLength << "\n";
  out << "$STORAGE_DATE " << ctime(&now);
  out << "$TRAINING_TIME " << Globals::trainingTime << "\n";
  out << "$LEARNRATE_TYPE " VELMAR_NAME "-specific (sawtooth)\n";
  out << "$LEARNRATE_INIT " << map.ini_learnrate << "\n";
  out << "$NEIGHBORHOOD_TYPE " VELMAR_NAME "-specific (sawtooth)\n";
  out << "$NEIGHBORHOOD_INIT " << map.ini_neighbourhood << "\n";
  out << "$RAND_INIT " << Globals::randomSeed << "\n";
  out << "$ITERATIONS_TOTAL " << map.currentCycle << "\n";
  out << "$NR_TRAINVEC_TOTAL " << map.dataItems->size() << "\n";
  out << "$VEC_NORMALIZED 1\n";
  out << "$URL_TRAINING_VEC " << Globals::inputFile << "\n";
  out << "$URL_WEIGHT_VEC " << map.fileName("wgt") << "\n";
  out << "$URL_MAPPED_INPUT_VEC " << Globals::inputFile << "\n";
  out << "$URL_NODE_DESCR " << map.fileName("node") << "\n";
  out << "$DESCRIPTION NONE\n";
  out << "$VELMAR_EXPAND_CYCLES " << Globals::EXPAND_CYCLES << "\n";
  out << "$VELMAR_MAX_CYCLES " << Globals::MAX_CYCLES << "\n";
  out << "$VELMAR_TAU_1 " << Globals::TAU_1 << "\n";
  out << "$VELMAR_TAU_2 " << Globals::TAU_2 << "\n";
}

void MapLibrary::writeWeightVectors(std::ostream& out, const NeuronLayer& map) {
  writeHeader(out, "#SOM Weight Vector File\n#created by " VELMAR_NAME " ", map);
  out << "$VEC_DIM " << map.dataLength << "\n";
  for (int row = 0; row < map.y; row++) {
    for (int column = 0; column < map.x; column++) {
      const float* w = map.neuronMap[column][row]->weights;
      for (int k = 0; k < map.dataLength; k++) {
        out << w[k] << " ";
      }
      out << unitIdentifier(map, column, row) << "\n";
    }
  }
}

void MapLibrary::writeUnitDescriptions(std::ostream& out, const NeuronLayer& map) {
  writeHeader(out, "#SOM Node Description File\n#created by " VELMAR_NAME, map);
  for (int row = 0; row < map.y; row++) {
    for (int column = 0; column < map.x; column++) {
      const Neuron* unit = map.neuronMap[column][row];
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
        out << "$URL_MAPPED_SOMS " << Globals::savePath << "/" << mapFileStem(child->gid, map.level + 1, column, row)
            << ".map\n";
      } else {
        out << "$NR_SOMS_MAPPED 0\n";
      }
      if (Globals::LABELS_NUM > 0) {
        String_Vector* labels = unit->getLabels(Globals::LABELS_NUM);
        out << "$NR_LABELS " << labels->size() << "\n";
        for (int k = 0; k < labels->size(); k++) {
          out << "$LABEL " << labels->elementAt(k) << "\n";
        }
        delete labels;
      }
    }
  }
}
