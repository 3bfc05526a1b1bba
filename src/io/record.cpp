#include "io/record.h"

#include <algorithm>

void expandRecord(const Record& record, float* dense, int components) {
  if (record.indices == nullptr) {
    std::copy(record.values, record.values + record.count, dense);
    return;
  }
  std::fill(dense, dense + components, 0.0f);
  for (int i = 0; i < record.count; i++) {
    dense[record.indices[i]] = record.values[i];
  }
}
