#ifndef VELMAR_TRAINING_MAPSIZE_H
#define VELMAR_TRAINING_MAPSIZE_H

// How large a map can be: its units are counted, indexed and positioned in
// ints, and they must fit in the machine's physical memory; a map that
// would need more is refused or stops growing instead of overflowing,
// swapping for days or being killed.

// The machine's physical memory in bytes; 0 when it cannot be told.
double physicalMemoryBytes();

// True when a map of columns x rows units, each taking at least
// `bytesPerUnit` bytes, can exist: at most INT_MAX units, and no more memory
// than the machine has (the memory test is skipped when the machine's memory
// cannot be told).
bool mapFitsInMemory(long long columns, long long rows, double bytesPerUnit);

#endif
