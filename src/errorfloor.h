#ifndef VELMAR_ERRORFLOOR_H
#define VELMAR_ERRORFLOOR_H

#include "vector.h"

// What float weights can and cannot reach on a set of vectors. A map whose
// bound lies below these can never stop by its error, so training uses them
// to end such maps instead of letting them grow for ever.

// The rounding floor of a unit holding `items`: the error of weights that
// lie 32 representable steps away from every component of every vector.
// Training moves a weight by a fraction of its distance to the vector, and a
// step that rounds to nothing moves it no more, so once the vectors of every
// unit are one point each, what error is left is below this floor and is
// rounding, not structure.
double roundingFloor(Data_Vector* items, int components);

// A lower bound, with every rounding of the float error sum and of this
// double computation accounted for, of the error that one unit holding all
// of `items` can have, whatever its weights: the vectors' squared distances
// to their exact mean. 0 when the rounding allowance swallows it.
double leastErrorOfOneUnit(Data_Vector* items, int components);

// True when every vector of `items` holds the same bits as the first.
bool allVectorsEqual(Data_Vector* items, int components);

#endif
