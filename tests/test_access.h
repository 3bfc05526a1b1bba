#ifndef VELMAR_TEST_ACCESS_H
#define VELMAR_TEST_ACCESS_H

// The one way tests reach the private parts of the program's classes.

#include "base/workers.h"
#include "neuronlayer.h"

class NeuronLayerTestAccess {
 public:
  static GridPos getMaxDissNeighbour(NeuronLayer& m, const int* n) { return m.getMaxDissNeighbour(n); }
  static void insertRow(NeuronLayer& m, int pos) { m.insertRow(pos); }
  static void getNewWeights(NeuronLayer& m, int x, int y, float* UL, float* UR, float* LL, float* LR) {
    m.getNewWeights(x, y, UL, UR, LL, LR);
  }
  static void testDataItems(NeuronLayer& m) { m.testDataItems(); }
  static void saveAsHTML(NeuronLayer& m, const OutputSettings& shown) { m.saveAsHTML(shown); }
  static void saveAsCartix(NeuronLayer& m, const OutputSettings& shown) { m.saveAsCartix(shown); }
  static void expandUnits(NeuronLayer& m) { m.expandUnits(); }
  static float learnrate(const NeuronLayer& m) { return m.learnrate; }
  static int neighbourhood(const NeuronLayer& m) { return m.neighbourhood; }
};

class WorkersTestAccess {
 public:
  // The jobs of runOnEach the caller still runs alone after a member was held back.
  static int soloJobs(const Workers& team) { return team.soloJobs; }
};

#endif
