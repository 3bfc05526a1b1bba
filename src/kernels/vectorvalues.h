#ifndef VELMAR_KERNELS_VECTORVALUES_H
#define VELMAR_KERNELS_VECTORVALUES_H

#include <cstring>
#include <memory>

// The two ways an input vector's values are kept: dense (one float per
// component) or sparse (only the components whose bits are not those of +0,
// as index and value pairs in increasing index order). A component a sparse
// vector does not list is +0; a listed one may hold any value, -0 included,
// so the dense form comes back bit for bit.

struct SparseEntries {
  int count;           // how many components are listed
  const int* index;    // their indices, increasing
  const float* value;  // their values
};

// A vector's values, dense, for as long as the object lives: the stored
// array itself for a dense vector, a filled copy for a sparse one. Cheap to
// move; read with operator[] or data().
class DenseValues {
 public:
  explicit DenseValues(const float* dense) : values(dense) {}
  DenseValues(const SparseEntries& entries, int length)
      : copy(new float[length > 0 ? length : 1]()), values(copy.get()) {
    for (int k = 0; k < entries.count; k++) copy[entries.index[k]] = entries.value[k];
  }

  const float* data() const { return values; }
  float operator[](int i) const { return values[i]; }

 private:
  std::unique_ptr<float[]> copy;
  const float* values;
};

// Whether bits of v are those of +0 (the one value a sparse vector leaves out).
inline bool isPositiveZero(float v) {
  unsigned int bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits == 0u;
}

#endif
