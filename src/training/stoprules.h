#ifndef VELMAR_TRAINING_STOPRULES_H
#define VELMAR_TRAINING_STOPRULES_H

#include <cmath>
#include <functional>
#include <vector>

// The rules that end the training of a map which could never meet its bound,
// checked at every growth check that met neither the bound nor the cycle
// cap. None applies under a cycle cap, which ends every map.
// - Every unit at one point, and the bound below the least error one unit
//   can have on the map's vectors (every vector then goes to one unit). A
//   1 x 1 map stays so for good. A larger map stays so while every unit gets
//   the very same step factor, which takes a radius above 2^25 times the
//   grid's extent (INITIAL_NEIGHBOURHOOD near the int limit, say); it then
//   only adds rows of copies, and is taken to be stuck after
//   kOnePointChecks checks.
// - The worst unit's error within the rounding floor of its vectors, and no
//   new lowest error for kFloorChecks checks: growth, always next to the
//   worst unit, cannot lower an error that is only rounding. Only a bound
//   near 10^-13 of the data's scale (TAU_1 and TAU_2 near the float limit),
//   or data of scales 10^13 apart, brings this about.
// - An error that has been infinite at every check, kFloorChecks of them:
//   the data lie so far apart that squared distances overflow the float
//   range, and only a bound that is itself infinite is ever met.
class StopRules {
 public:
  enum class Stop { None, SingleUnit, AtOnePoint, RoundingFloor, Infinite };

  // What a growth check sees of the map; the facts that cost a pass over
  // units or vectors are asked for only when a rule needs them.
  struct Check {
    float error;                                     // the map's error
    double bound;                                    // the error it has to reach
    bool singleUnit;                                 // a 1 x 1 map
    std::function<bool()> unitsAtOnePoint;           // every unit's weights hold the same bits
    std::function<double()> leastErrorOfOneUnit;     // on the map's vectors (training/errorfloor.h)
    std::function<bool()> worstUnitAtRoundingFloor;  // its error within the rounding floor of its vectors
  };

  // Growth checks in a row without a new lowest error, all of it rounding,
  // after which a map that no cycle cap will stop is taken to be stuck.
  static constexpr int kFloorChecks = 50;
  // Growth checks in a row with every unit at one point, after which such a
  // map is taken to be stuck.
  static constexpr int kOnePointChecks = 10;

  explicit StopRules(bool capped) : capped(capped) {}

  // The rule that ends training at this check, or Stop::None.
  Stop atCheck(const Check& check);
  // The console line that says why training stops.
  static const char* reason(Stop stop);
  // Whether a child map started from `corners` (four vectors of `components`
  // weights, upper left to lower right) would train exactly as the map it
  // expands did, which started from `startCorners` (empty when from random
  // units), and so expand the same unit again, level after level, for ever:
  // when the unit holds all the map's vectors (`holdsAll`), all one point, so
  // that no choice of training vector makes a difference; its error is the
  // map's bound (`sameBound`: the unit's error is the error above the map);
  // and the corners are the map's own. Everything that decides training is
  // then the same, so the child ends as the map did and expands the same
  // unit, from the same corners.
  static bool childRepeats(const std::vector<float>& startCorners, const float* const (&corners)[4], int components,
                           bool holdsAll, bool sameBound, const std::function<bool()>& vectorsAtOnePoint);
  // True for the stops whose map may hand its rounding or infinite error on
  // to child maps: it expands only units it can still learn from.
  static bool stopsWithoutLearning(Stop stop) { return stop == Stop::RoundingFloor || stop == Stop::Infinite; }

 private:
  bool capped;
  float lowestError = HUGE_VALF;  // the lowest error so far
  int checksSinceLowest = 0;      // growth checks since it was reached
  int checksAsOnePoint = 0;       // growth checks in a row with every unit at one point
  double leastOneUnit = -1.0;     // < 0 until needed
};

#endif
