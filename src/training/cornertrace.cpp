#include "training/cornertrace.h"

#include <cstdio>
#include <iostream>

void traceCorners(const float* const (&corners)[4], int components) {
  const char* names[4] = {"UL", "UR", "LL", "LR"};
  for (int c = 0; c < 4; c++) {
    const float* v = corners[c];
    char line[128];
    double second = components > 1 ? static_cast<double>(v[1]) : 0.0;
    snprintf(line, sizeof line, "%s: %f / %f", names[c], static_cast<double>(v[0]), second);
    std::cout << line << "\n";
  }
}
