// The number of threads changes nothing a run writes: the same sparse, text-like set trained with 1, 2 and 3
// threads, and with 0 (the team and the caller alone in turn, as the run finds faster), gives the same
// bytes in every output, and a negative count is refused.

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string_view>

#include "e2e_support.h"

namespace {

// Documents over `terms` terms in a few topics, about 2 % of each non-zero, of length 1: sparse vectors, sparse
// enough for the sparse search.
std::string documents(int count, int terms) {
  std::string text =
      "$TYPE vectors\n$XDIM " + std::to_string(count) + "\n$YDIM 1\n$VEC_DIM " + std::to_string(terms) + "\n";
  unsigned state = 12345;
  auto next = [&] { return state = state * 1103515245u + 12345u, (state >> 8) % 1000; };
  for (int d = 0; d < count; d++) {
    std::vector<double> v(terms, 0.0);
    const int topic = d % 4;
    for (int k = 0; k < 20; k++) {
      const int term =
          next() < 700 ? topic * terms / 4 + static_cast<int>(next()) % (terms / 8) : static_cast<int>(next()) % terms;
      v[term] += 1.0;
    }
    double length = 0.0;
    for (double x : v) length += x * x;
    for (double x : v) text += (x == 0.0 ? std::string("0") : std::to_string(x / std::sqrt(length))) + " ";
    text += "doc" + std::to_string(d) + "\n";
  }
  return text;
}

std::string description(int terms) {
  std::string text =
      "$TYPE template\n$XDIM 3\n$YDIM " + std::to_string(terms) + "\n$VEC_DIM " + std::to_string(terms) + "\n";
  for (int t = 0; t < terms; t++) text += std::to_string(t) + " term" + std::to_string(t) + " x\n";
  return text;
}

// Everything a run wrote, the property echo of `threads` and the clock's lines left out.
std::string outputsOf(const e2e::Folder& f, const e2e::Run& run) {
  std::string all = std::regex_replace(run.out, std::regex("threads = \\d+\n"), "");
  all = std::regex_replace(all, std::regex("\n[0-9.e+-]+\n\a"), "\n\a");
  // Line by line rather than by a regular expression: the map files are large, and the sanitizer builds run such
  // expressions slowly.
  for (const std::string& name : f.list("out")) {
    const std::string text = f.read("out/" + name);
    all += "== " + name + "\n";
    for (size_t start = 0; start < text.size();) {
      const size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
      const std::string_view line(text.data() + start, end - start);
      if (line.rfind("$STORAGE_DATE", 0) != 0 && line.rfind("$TRAINING_TIME", 0) != 0) all += line;
      start = end;
    }
  }
  return all;
}

void expectTheSameBytesOnAnyThreads(const std::string& data, const std::string& names);

TEST(Threads, AnyNumberOfThreadsWritesTheSameBytes) {
  // Large enough a map (5 x 5 units of 1000 components, radius 2) that moves, assignments and errors are
  // shared out over the threads; with 2100 components every unit is moved in two pieces, and the team works out
  // the next vector's dot products with the pieces it moves.
  for (int terms : {1000, 2100}) {
    SCOPED_TRACE(std::to_string(terms) + " components");
    expectTheSameBytesOnAnyThreads(documents(terms == 1000 ? 300 : 100, terms), description(terms));
  }
}

void expectTheSameBytesOnAnyThreads(const std::string& data, const std::string& names) {
  std::string first;
  for (int threads : {1, 0, 2, 3}) {
    e2e::Folder f;
    f.write("data.vec", data);
    f.write("data.tv", names);
    f.mkdir("out");
    f.write("run.prop",
            "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\nINITIAL_X_SIZE=5\nINITIAL_Y_SIZE=5\n"
            "TAU_1=0.3\nTAU_2=0.01\nEXPAND_CYCLES=4\nsaveAsCartix=true\nsaveAssignments=true\nthreads=" +
                std::to_string(threads) + "\n");
    const e2e::Run run = f.run("run.prop", 300);
    ASSERT_EQ(run.status, 0) << run.out;
    const std::string outputs = outputsOf(f, run);
    EXPECT_GE(e2e::count(outputs, "== map_"), 6) << "several maps";
    if (threads == 1) {
      first = outputs;
    } else {
      EXPECT_TRUE(outputs == first) << threads << " threads";
    }
  }
}

TEST(Threads, NegativeCountIsRefused) {
  e2e::Folder f;
  f.write("data.vec", e2e::clusterData(10));
  f.write("data.tv", e2e::kDescription);
  f.write("run.prop", "inputFile=data.vec\ndescriptionFile=data.tv\nsaveAsHTML=false\nthreads=-1\n");
  const e2e::Run run = f.run("run.prop");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("threads must not be negative (check propertyfile)\n"), std::string::npos) << run.out;
}

}  // namespace
