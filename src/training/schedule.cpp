#include "training/schedule.h"

double sawtoothSlope(float iniLearnrate, float minLearnrate, long long period) {
  return (static_cast<double>(iniLearnrate) - static_cast<double>(minLearnrate)) * (-1.0) / static_cast<double>(period);
}

long long radiusStep(long long period, int iniNeighbourhood) {
  // The radius count plus one is taken in double: iniNeighbourhood + 1 would overflow at the int limit.
  long long step = static_cast<long long>(static_cast<double>(period) / (static_cast<double>(iniNeighbourhood) + 1.0));
  return step < 1 ? 1 : step;
}
