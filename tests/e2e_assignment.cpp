// Every vector is listed at its nearest unit, however far away the data lie: forty values in the tens of thousands,
// spread by thousands around three centres, leave even the nearest unit at a squared distance above 10^9.

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>
#include <vector>

#include "e2e_support.h"

namespace {

std::vector<float> floats(std::istringstream& in, int n) {
  std::vector<float> v(n);
  for (float& f : v) {
    std::string token;
    in >> token;
    f = static_cast<float>(std::strtod(token.c_str(), nullptr));  // ten digits give every float back exactly
  }
  return v;
}

TEST(Assignment, FarAwayVectorsAreListedAtTheirNearestUnit) {
  e2e::Folder f;
  const int n = 60, dim = 40;
  std::string data = "$TYPE vectors\n$XDIM " + std::to_string(n) + "\n$YDIM 1\n$VEC_DIM " + std::to_string(dim) + "\n";
  std::map<std::string, std::vector<float>> vectors;
  for (int i = 0; i < n; i++) {
    std::string line;
    for (int k = 0; k < dim; k++) line += std::to_string(30000.0 * (1 + i % 3) + 9000.0 * std::sin(i * 3.7 + k)) + " ";
    std::istringstream in(line);
    vectors["v" + std::to_string(i)] = floats(in, dim);
    data += line + "v" + std::to_string(i) + "\n";
  }
  f.write("data.vec", data);
  std::string names = "h\nh\nh\nh\n";
  for (int k = 0; k < dim; k++) names += std::to_string(k) + " c" + std::to_string(k) + " x\n";
  f.write("data.tv", names);
  f.mkdir("out");
  f.write("run.prop",
          "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\nsaveAsCartix=true\nTAU_1=0.01\n"
          "TAU_2=0.0005\nLABELS_NUM=0\n");
  const e2e::Run r = f.run("run.prop");
  ASSERT_EQ(r.status, 0) << r.out;

  int checked = 0;
  for (const std::string& name : f.list("out", ".wgt")) {
    const std::string stem = name.substr(0, name.size() - 4);
    std::istringstream wgt(f.read("out/" + name));
    std::vector<std::vector<float>> units;  // in scan order, as the weight file lists them
    for (std::string line; std::getline(wgt, line);) {
      if (line.empty() || line[0] == '#' || line[0] == '$') continue;
      std::istringstream in(line);
      units.push_back(floats(in, dim));
    }
    const std::string unit = f.read("out/" + stem + ".unit");
    const std::regex block(R"(\$NODE_ID \d+_\d+_\d+/\d+_(\d+)/(\d+)\n[^\n]*\n[^\n]*\n\$MAPPED_VECS ([^\n]*)\n)");
    const int columns = std::stoi(unit.substr(unit.find("$XDIM ") + 6));
    for (std::sregex_iterator it(unit.begin(), unit.end(), block), end; it != end; ++it) {
      const size_t listed = std::stoi((*it)[2]) * columns + std::stoi((*it)[1]);
      std::istringstream ids((*it)[3]);
      for (std::string id; ids >> id; checked++) {
        size_t nearest = 0;
        for (size_t u = 1; u < units.size(); u++) {
          if (e2e::squaredDistance(vectors[id], units[u]) < e2e::squaredDistance(vectors[id], units[nearest])) {
            nearest = u;
          }
        }
        EXPECT_EQ(listed, nearest) << stem << ": " << id;
      }
    }
  }
  EXPECT_GE(checked, 2 * n);  // the first layer and at least one level below
}

}  // namespace
