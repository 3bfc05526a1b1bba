// Times the winner search alone: the plain search over exact distances
// against the certified search, on every instruction set this processor
// runs, for maps of several sizes on dense and on sparse data. Prints ns per
// unit-component of each, their ratio, and how often the certified search
// needed exact distances (near-ties) or fell back to the plain search. The
// "twins" data repeats every unit once, so every search is a tie: the worst
// case of the certified search. Every query's winner is checked to be the
// same for both searches.
//
// usage: velmar_search_bench [REPEAT]

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "benchsupport.h"
#include "kernels/distancekernels.h"
#include "kernels/winnersearch.h"

namespace {

using benchsupport::Random;
using benchsupport::seconds;

// Data whose units sit near the vectors, as after training: `count` vectors
// around `units` centres. Dense: every component spread around its centre.
// Sparse: a few percent of the components non-zero, scaled to length 1.
std::vector<float> makeVectors(Random& random, const std::vector<float>& centres, int units, int n, int count,
                               bool sparse) {
  std::vector<float> out(static_cast<size_t>(count) * n);
  for (int k = 0; k < count; k++) {
    const float* c = &centres[static_cast<size_t>(k % units) * n];
    float* v = &out[static_cast<size_t>(k) * n];
    double length = 0.0;
    for (int i = 0; i < n; i++) {
      const double noise = sparse ? (random.next() < 0.03 ? random.next() * 0.3 : 0.0) : (random.next() - 0.5) * 0.2;
      v[i] = static_cast<float>(c[i] + noise);
      length += static_cast<double>(v[i]) * v[i];
    }
    if (sparse && length > 0.0) {
      for (int i = 0; i < n; i++) v[i] = static_cast<float>(v[i] / std::sqrt(length));
    }
  }
  return out;
}

std::vector<float> makeCentres(Random& random, int units, int n, bool sparse) {
  std::vector<float> centres(static_cast<size_t>(units) * n);
  for (float& c : centres)
    c = static_cast<float>(sparse ? (random.next() < 0.05 ? random.next() * 0.5 : 0.0) : random.next());
  return centres;
}

struct Result {
  double plainNs, certifiedNs;
  double nearTieShare, plainShare;
  bool same;
};

enum class Data { Dense, Sparse, Twins };

Result measure(int units, int n, Data data, int repeat) {
  const bool sparse = data == Data::Sparse;
  Random random{static_cast<uint64_t>(units) * 1000003u + static_cast<uint64_t>(n) * 7u + (sparse ? 1 : 0)};
  const std::vector<float> centres = makeCentres(random, units, n, sparse);
  std::vector<float> weights = makeVectors(random, centres, units, n, units, sparse);
  if (data == Data::Twins) {
    for (int u = 1; u < units; u += 2) {
      std::copy_n(&weights[static_cast<size_t>(u - 1) * n], n, &weights[static_cast<size_t>(u) * n]);
    }
  }
  // About 4e7 unit-components per timed pass of the plain search.
  const int queries = static_cast<int>(4e7 / (static_cast<double>(units) * n)) + 1;
  const std::vector<float> inputs = makeVectors(random, centres, units, n, queries, sparse);
  std::vector<const float*> unitPointers(units);
  for (int u = 0; u < units; u++) unitPointers[u] = &weights[static_cast<size_t>(u) * n];

  WinnerSearch search(n);
  search.reserve(units);
  std::vector<int> plainWinners(queries), certifiedWinners(queries);
  double bestPlain = 1e300, bestCertified = 1e300;
  long long searches = 0, nearTies = 0, plain = 0;
  for (int r = 0; r < repeat; r++) {
    double start = seconds();
    for (int q = 0; q < queries; q++) {
      plainWinners[q] =
          search.findExactly(unitPointers.data(), units, &inputs[static_cast<size_t>(q) * n], HUGE_VALF, 0);
    }
    bestPlain = std::min(bestPlain, seconds() - start);
    WinnerSearch::counts.reset();
    start = seconds();
    for (int q = 0; q < queries; q++) {
      certifiedWinners[q] = search.find(unitPointers.data(), units, &inputs[static_cast<size_t>(q) * n], HUGE_VALF, 0);
    }
    bestCertified = std::min(bestCertified, seconds() - start);
    searches = WinnerSearch::counts.searches;
    nearTies = WinnerSearch::counts.nearTies;
    plain = WinnerSearch::counts.plain;
  }
  const double work = static_cast<double>(queries) * units * n;
  return {bestPlain / work * 1e9, bestCertified / work * 1e9,
          static_cast<double>(nearTies) / static_cast<double>(searches),
          static_cast<double>(plain) / static_cast<double>(searches), plainWinners == certifiedWinners};
}

}  // namespace

int main(int argc, char** argv) {
  const int repeat = benchsupport::repeatArgument(argc, argv);
  if (repeat == 0) return 2;
  std::printf("%-8s %-6s %6s %6s %10s %10s %7s %9s %7s %s\n", "isa", "data", "units", "comp", "plain ns", "cert ns",
              "ratio", "near-tie", "plain", "winners");
  bool allSame = true;
  for (kernels::InstructionSet set : benchsupport::supportedSets()) {
    kernels::use(set);
    for (Data data : {Data::Dense, Data::Sparse, Data::Twins}) {
      const int n = data == Data::Sparse ? 300 : 50;
      for (int units : {4, 36, 144}) {
        const Result r = measure(units, n, data, repeat);
        allSame = allSame && r.same;
        std::printf("%-8s %-6s %6d %6d %10.3f %10.3f %7.2f %8.3f%% %6.3f%% %s\n", kernels::name(set),
                    data == Data::Dense    ? "dense"
                    : data == Data::Sparse ? "sparse"
                                           : "twins",
                    units, n, r.plainNs, r.certifiedNs, r.plainNs / r.certifiedNs, 100.0 * r.nearTieShare,
                    100.0 * r.plainShare, r.same ? "same" : "DIFFER");
      }
    }
  }
  std::printf("ns per unit-component, best of %d; near-tie: searches that needed exact distances\n", repeat);
  return allSame ? 0 : 1;
}
