// Writes a deterministic benchmark data set: an input-vector file and its
// description file. Vectors lie around a handful of cluster centres, so the
// maps have structure to find and grow into.
//
// usage: velmar_bench_data VECTORS COMPONENTS CLUSTERS VECFILE DESCRFILE

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// A fixed 64-bit linear congruential generator: the same numbers everywhere.
struct Lcg {
  uint64_t state;
  double next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;  // [0, 1)
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) {
    fprintf(stderr, "usage: %s VECTORS COMPONENTS CLUSTERS VECFILE DESCRFILE\n", argv[0]);
    return 1;
  }
  const int vectors = atoi(argv[1]), components = atoi(argv[2]), clusters = atoi(argv[3]);
  if (vectors < 1 || components < 1 || clusters < 1) {
    fprintf(stderr, "counts must be positive\n");
    return 1;
  }
  Lcg rng{20240601u};
  std::vector<double> centre(static_cast<size_t>(clusters) * components);
  for (double& c : centre) c = rng.next();

  FILE* vec = fopen(argv[4], "w");
  FILE* descr = fopen(argv[5], "w");
  if (vec == nullptr || descr == nullptr) {
    fprintf(stderr, "cannot write the output files\n");
    return 1;
  }
  fprintf(vec, "$TYPE vectors\n$XDIM %d\n$YDIM 1\n$VEC_DIM %d\n", vectors, components);
  for (int i = 0; i < vectors; i++) {
    const int c = i % clusters;
    for (int k = 0; k < components; k++) {
      // The sum of three uniforms, centred: a bell-shaped spread of +-0.15.
      double noise = (rng.next() + rng.next() + rng.next() - 1.5) * 0.1;
      fprintf(vec, "%.5f ", centre[static_cast<size_t>(c) * components + k] + noise);
    }
    fprintf(vec, "c%d_%d\n", c, i);
  }
  fprintf(descr, "$TYPE template\n$XDIM 3\n$YDIM %d\n$VEC_DIM %d\n", components, components);
  for (int k = 0; k < components; k++) fprintf(descr, "%d comp%d x\n", k, k);
  fclose(vec);
  fclose(descr);
  return 0;
}
