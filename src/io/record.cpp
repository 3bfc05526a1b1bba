#include "io/record.h"

#include <algorithm>

void scatterRecord(const Record& record, float* dense) {
  if (record.indices == nullptr) {
    std::copy(record.values, record.values + record.count, dense);
    return;
  }
  for (int i = 0; i < record.count; i++) {
    dense[record.indices[i]] = record.values[i];
  }
}
