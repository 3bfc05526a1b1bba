#ifndef VELMAR_BASE_POINTERGRID_H
#define VELMAR_BASE_POINTERGRID_H

#include <cstdlib>

#include "base/failure.h"

// A grid of pointers held column by column (grid[column][row]), every slot
// null at first. Out of memory ends the run like every other allocation.
// The grid owns its slot arrays only, never what the slots point to.
template <class T>
T*** newPointerGrid(int columns, int rows) {
  T*** grid = static_cast<T***>(calloc(columns, sizeof(T**)));
  if (grid == nullptr) {
    failOutOfMemory();
  }
  for (int i = 0; i < columns; i++) {
    grid[i] = static_cast<T**>(calloc(rows, sizeof(T*)));
    if (grid[i] == nullptr) {
      failOutOfMemory();
    }
  }
  return grid;
}

// Releases the slot arrays of a grid of `columns` columns.
template <class T>
void freePointerGrid(T*** grid, int columns) {
  for (int i = 0; i < columns; i++) {
    free(grid[i]);
  }
  free(grid);
}

#endif
