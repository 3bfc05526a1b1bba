// Times the training kernels alone, on every instruction set this processor
// runs: the rough distances of a map's units, the exact chains (a near-tie's
// few units and an error measurement's blocks of sixteen vectors), the moves
// of a map's units towards a dense vector, and the moves that keep a unit's
// length towards a sparse vector (nothing listed, and 44 listed components as
// in the documents of `text-5k`). Prints ns per unit-component (per weight
// for the moves), best of REPEAT passes over warm data.
//
// usage: velmar_kernel_bench [REPEAT]

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "benchsupport.h"
#include "kernels/distancekernels.h"

namespace {

using benchsupport::Random;
using benchsupport::seconds;

// Units (or vectors) of n components with values in [0, 0.01), as trained
// weights of a text set are; `count` of them in one block of memory.
struct Block {
  std::vector<float> values;
  std::vector<float*> rows;
  Block(Random& random, int count, int n) : values(static_cast<size_t>(count) * n), rows(count) {
    for (float& v : values) v = static_cast<float>(random.next() * 0.01);
    for (int k = 0; k < count; k++) rows[k] = &values[static_cast<size_t>(k) * n];
  }
  const float* const* constRows() const { return rows.data(); }
};

// Best time of `repeat` passes of `calls` calls of body(call), per unit of work.
template <class Body>
double best(int repeat, long calls, double workPerCall, Body body) {
  double fastest = 1e300;
  for (int r = 0; r < repeat; r++) {
    const double start = seconds();
    for (long c = 0; c < calls; c++) body(c);
    fastest = std::min(fastest, seconds() - start);
  }
  return fastest / (static_cast<double>(calls) * workPerCall) * 1e9;
}

long callsFor(double work) { return static_cast<long>(2e8 / work) + 1; }

// A sparse vector listing `listed` components spread over n, each 0.1.
struct Listed {
  std::vector<int> index;
  std::vector<float> value;
  Listed(Random& random, int listed, int n) {
    std::vector<int> all(n);
    for (int i = 0; i < n; i++) all[i] = i;
    for (int k = 0; k < listed; k++) std::swap(all[k], all[k + static_cast<int>(random.next() * (n - k))]);
    index.assign(all.begin(), all.begin() + listed);
    std::sort(index.begin(), index.end());
    value.assign(listed, 0.1f);
  }
  SparseEntries entries() const { return {static_cast<int>(index.size()), index.data(), value.data()}; }
};

void run(kernels::InstructionSet set, int repeat) {
  kernels::use(set);
  const kernels::KernelTable& k = kernels::active();
  Random random{42};
  float sink = 0.0f;
  for (int n : {50, 300, 5000}) {
    Block units(random, 16, n), vectors(random, 16, n);
    const float* x = vectors.rows[0];
    double out[16];
    float exact[16];
    const double rough =
        best(repeat, callsFor(16.0 * n), 16.0 * n, [&](long) { k.roughDistances(x, units.constRows(), 16, n, out); });
    const double chains2 = best(repeat, callsFor(2.0 * n), 2.0 * n,
                                [&](long) { k.exactDistances(vectors.constRows(), 2, units.rows[0], n, exact); });
    const double chains16 = best(repeat, callsFor(16.0 * n), 16.0 * n,
                                 [&](long) { k.exactDistances(vectors.constRows(), 16, units.rows[0], n, exact); });
    // Factors alternate in sign so that the weights stay in range.
    double factors[4] = {0.05, -0.05, 0.05, -0.05};
    const double moves = best(repeat, callsFor(4.0 * n), 4.0 * n, [&](long c) {
      factors[0] = (c & 1) ? 0.05 : -0.05;
      factors[1] = -factors[0];
      k.moveUnits(units.rows.data(), factors, 4, x, n);
    });
    const Listed none(random, 0, n), some(random, n >= 440 ? 44 : n / 10, n);
    const double sparseNone = best(repeat, callsFor(n), n, [&](long c) {
      const double f = (c & 1) ? 0.05 : -0.05;
      sink += k.moveSparse(units.rows[c & 15], none.entries(), f, n, kernels::noOpLimit(f));
    });
    const double sparseSome = best(repeat, callsFor(n), n, [&](long c) {
      const double f = (c & 1) ? 0.05 : -0.05;
      sink += k.moveSparse(units.rows[c & 15], some.entries(), f, n, kernels::noOpLimit(f));
    });
    std::printf("%-8s %5d %8.3f %9.3f %9.3f %8.3f %9.3f %9.3f  (%d listed)\n", kernels::name(set), n, rough, chains2,
                chains16, moves, sparseNone, sparseSome, static_cast<int>(some.index.size()));
  }
  if (sink == 1.0f) std::printf(" ");  // keeps the lengths alive
}

}  // namespace

int main(int argc, char** argv) {
  const int repeat = benchsupport::repeatArgument(argc, argv);
  if (repeat == 0) return 2;
  std::printf("%-8s %5s %8s %9s %9s %8s %9s %9s\n", "isa", "comp", "rough", "chains 2", "chains 16", "moves",
              "sparse 0", "sparse n");
  for (kernels::InstructionSet set : benchsupport::supportedSets()) run(set, repeat);
  std::printf(
      "ns per unit-component (moves: per weight), best of %d; rough: 16 units; chains: 2 and 16 vectors;\n"
      "moves: 4 units towards a dense vector; sparse: one unit towards a sparse vector, keeping its length\n",
      repeat);
  return 0;
}
