#ifndef VELMAR_KERNELS_SQUAREDLENGTH_H
#define VELMAR_KERNELS_SQUAREDLENGTH_H

// Whether a vector can be scaled to length 1 in float (LENGTH
// normalisation). Its squared length is formed as Globals::normVec forms
// it: a float sum, rounded after every component. When that sum overflows
// to infinity, every component divided by the length becomes 0; when it
// falls to 0 or below the normal floats while a component is not 0, the
// vector is left as it is or scaled with hardly a bit of precision. Neither
// is a vector of length 1, so such a vector must be refused, not scaled. A
// vector of zeros is no trouble: it is left as it is.
enum class SquaredLength { Fine, Overflows, Underflows };

SquaredLength squaredLengthOf(const float* values, int count);

#endif
