#include "training/stoprules.h"

#include <cstring>

StopRules::Stop StopRules::atCheck(const Check& check) {
  if (!capped && check.unitsAtOnePoint()) {
    checksAsOnePoint++;
    if (leastOneUnit < 0.0) {
      leastOneUnit = check.leastErrorOfOneUnit();
    }
    if (check.bound < leastOneUnit) {
      if (check.singleUnit) {
        return Stop::SingleUnit;
      }
      if (checksAsOnePoint >= kOnePointChecks) {
        return Stop::AtOnePoint;
      }
    }
  } else {
    checksAsOnePoint = 0;
  }
  if (check.error < lowestError) {
    lowestError = check.error;
    checksSinceLowest = 0;
  } else {
    checksSinceLowest++;
  }
  if (capped || checksSinceLowest < kFloorChecks) {
    return Stop::None;
  }
  if (check.worstUnitAtRoundingFloor()) {
    return Stop::RoundingFloor;
  }
  return std::isinf(lowestError) ? Stop::Infinite : Stop::None;
}

const char* StopRules::reason(Stop stop) {
  switch (stop) {
    case Stop::SingleUnit:
      return "a 1 x 1 map cannot reach its bound: training stops";
    case Stop::AtOnePoint:
      return "all units have stayed at one point, the bound cannot be reached: training stops";
    case Stop::RoundingFloor:
      return "MQE cannot fall below the rounding floor: training stops";
    case Stop::Infinite:
      return "MQE stays infinite (squared distances overflow): training stops";
    case Stop::None:
      break;
  }
  return "";
}

bool StopRules::childRepeats(const std::vector<float>& startCorners, const float* const (&corners)[4], int components,
                             bool holdsAll, bool sameBound, const std::function<bool()>& vectorsAtOnePoint) {
  if (startCorners.empty() || !holdsAll || !sameBound) {
    return false;
  }
  for (int c = 0; c < 4; c++) {
    const float* start = startCorners.data() + static_cast<size_t>(c) * static_cast<size_t>(components);
    if (memcmp(start, corners[c], sizeof(float) * static_cast<size_t>(components)) != 0) {
      return false;
    }
  }
  return vectorsAtOnePoint();
}
