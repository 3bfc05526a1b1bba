#ifndef VELMAR_TRAINING_ERRORFLOOR_H
#define VELMAR_TRAINING_ERRORFLOOR_H

#include <functional>

#include "kernels/vectorvalues.h"

// What float weights can and cannot reach on a set of vectors. A map whose
// bound lies below these can never stop by its error, so training uses them
// to end such maps instead of letting them grow for ever.

// The vectors a rule looks at: the k-th of them, for k from 0 to the count
// given beside it, each of the component count given.
using VectorAt = std::function<DenseValues(int k)>;

// The rounding floor of a unit holding the vectors: the error of weights that
// lie 32 representable steps away from every component of every vector.
// Training moves a weight by a fraction of its distance to the vector, and a
// step that rounds to nothing moves it no more, so once the vectors of every
// unit are one point each, what error is left is below this floor and is
// rounding, not structure.
double roundingFloor(int count, const VectorAt& vectorAt, int components);

// A lower bound, with every rounding of the float error sum and of this
// double computation accounted for, of the error that one unit holding all
// of the vectors can have, whatever its weights: the vectors' squared distances
// to their exact mean. 0 when the rounding allowance swallows it.
double leastErrorOfOneUnit(int count, const VectorAt& vectorAt, int components);

// True when every vector of the vectors holds the same bits as the first.
bool allVectorsEqual(int count, const VectorAt& vectorAt, int components);

#endif
