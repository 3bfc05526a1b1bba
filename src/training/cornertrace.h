#ifndef VELMAR_TRAINING_CORNERTRACE_H
#define VELMAR_TRAINING_CORNERTRACE_H

// The console's trace of a child map's four starting corners (upper left,
// upper right, lower left, lower right): one line each, "UL: %f / %f" with
// components 0 and 1 of the corner (0 for a missing second component).
void traceCorners(const float* const (&corners)[4], int components);

#endif
