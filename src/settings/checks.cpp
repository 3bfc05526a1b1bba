#include "settings/checks.h"

#include <string>

#include "base/failure.h"
#include "globals.h"
#include "io/files.h"
#include "neuronlayer.h"

namespace {

// Whether some output of the run is written into savePath.
bool writesOutput() {
  return Globals::SAVE_AS_HTML || Globals::SAVE_AS_CARTIX || Globals::printMQE || Globals::SAVE_OVERVIEW ||
         Globals::SAVE_ASSIGNMENTS || Globals::SAVE_SUMMARY || Globals::SAVE_MODEL;
}

}  // namespace

void refuseUnusableSavePath() {
  if (Globals::savePath == nullptr || !writesOutput()) {
    return;
  }
  const std::string why = whyNoOutputFolder(Globals::savePath);
  if (!why.empty()) {
    fail("savePath " + why + " (check propertyfile)");
  }
}

void checkSettings() {
  if (Globals::EXPAND_CYCLES < 1) {
    fail("EXPAND_CYCLES must be at least 1 (check propertyfile)");
  }
  if (Globals::INITIAL_NEIGHBOURHOOD < 0) {
    fail("INITIAL_NEIGHBOURHOOD must not be negative (check propertyfile)");
  }
  if (Globals::INITIAL_X_SIZE < 1) {
    fail("INITIAL_X_SIZE must be at least 1 (check propertyfile)");
  }
  if (Globals::INITIAL_Y_SIZE < 1) {
    fail("INITIAL_Y_SIZE must be at least 1 (check propertyfile)");
  }
  // Every map starts at this size (child maps with ORIENTATION at 2 x 2).
  if (!NeuronLayer::fitsInMemory(Globals::INITIAL_X_SIZE, Globals::INITIAL_Y_SIZE, Globals::vectorlength)) {
    fail("a map of INITIAL_X_SIZE x INITIAL_Y_SIZE = " + std::to_string(Globals::INITIAL_X_SIZE) + " x " +
         std::to_string(Globals::INITIAL_Y_SIZE) + " units does not fit in memory (check propertyfile)");
  }
  if (Globals::threads < 0) {
    fail("threads must not be negative (check propertyfile)");
  }
  if (!(Globals::TAU_2 > 0.0f)) {
    fail("TAU_2 must be greater than 0 (check propertyfile)");
  }
  if (Globals::MAX_CYCLES <= 0 && !(Globals::TAU_1 > 0.0f)) {
    fail("TAU_1 must be greater than 0 unless MAX_CYCLES is set (check propertyfile)");
  }
  // A one-unit first-layer map cannot grow, and one unit's error over all
  // vectors is never below their error around the mean, the computed MQE0:
  // with TAU_1 up to 1 it could only stop at a cycle limit. (A loaded MQE0
  // may be larger, so such a map may stop then.)
  if (Globals::MAX_CYCLES <= 0 && Globals::MQE0_FILE == nullptr && Globals::INITIAL_X_SIZE == 1 &&
      Globals::INITIAL_Y_SIZE == 1 && Globals::TAU_1 <= 1.0f) {
    fail("INITIAL_X_SIZE and INITIAL_Y_SIZE of 1 need MAX_CYCLES or a TAU_1 above 1 (check propertyfile)");
  }
  if (Globals::savePath == nullptr && writesOutput()) {
    fail("savePath not set (check propertyfile)");
  }
}
