#ifndef VELMAR_KERNELS_LENGTHCHECK_H
#define VELMAR_KERNELS_LENGTHCHECK_H

// Whether scaling a vector to length 1 (Globals::normVec) works in float:
// its sum of squares, added up as normVec adds it (each step rounded to
// float), must be finite, and above 0 unless every component is 0 (a zero
// vector rightly stays zero). Components near 1e19 and beyond overflow the
// sum, and the vector would come out all zeros; components all below about
// 1e-23 leave the sum at 0, and the vector would stay as it is.
bool lengthCanBeNormalised(const float* values, int length);

#endif
