// The quality figures against an independent computation from what the run wrote (the weights and unit lists
// of the map-library files) and the input; the class file's effect on the other outputs and its refusals; the
// progress line, which only a terminal sees.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "e2e_support.h"
#include "json_reader.h"

namespace {

const int kVectors = 240;

// Class c0, c1 or c2 as the cluster of clusterData; every seventh vector has none, and two identifiers name
// no vector. Quoted fields and CR LF, as spreadsheets write them.
std::string classFile() {
  std::string text = "\"id\",\"class\"\r\nghost,c9\r\n";
  for (int i = 0; i < kVectors; i++) {
    if (i % 7 != 0) text += "v" + std::to_string(i) + ",\"c" + std::to_string(i % 3) + "\"\r\n";
  }
  return text + "\"other ghost\",c0\r\n";
}
std::string classOf(int i) { return i % 7 == 0 ? "(none)" : "c" + std::to_string(i % 3); }

const char* kProps =
    "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\nnormInputVectors=INTERVAL\nTAU_1=0.05\n"
    "TAU_2=0.004\nrandomSeed=5\nsaveAsCartix=true\nsaveOverview=true\nsaveAssignments=true\n";

// A run folder with the cluster data, the class file and the property file (plus `extra` settings).
struct RunFolder {
  e2e::Folder f;
  explicit RunFolder(const std::string& extra) {
    f.write("data.vec", e2e::clusterData(kVectors));
    f.write("data.tv", e2e::kDescription);
    f.write("classes.csv", classFile());
    f.write("run.prop", kProps + extra);
    f.mkdir("out");
  }
};

// The input as training saw it: each component divided by its largest value (INTERVAL).
std::map<std::string, std::vector<float>> normalisedInput(const std::string& text, std::vector<std::string>& order) {
  std::map<std::string, std::vector<float>> vectors;
  std::istringstream in(text);
  std::string line;
  for (int k = 0; k < 4; k++) std::getline(in, line);
  std::vector<float> largest(3, 0.0f);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::vector<float> v(3);
    std::string token, id;
    for (float& x : v) {
      fields >> token;
      x = std::strtof(token.c_str(), nullptr);
    }
    fields >> id;
    for (int k = 0; k < 3; k++) largest[k] = std::max(largest[k], v[k]);
    vectors[id] = v;
    order.push_back(id);
  }
  for (auto& [id, v] : vectors) {
    for (int k = 0; k < 3; k++) {
      if (largest[k] > 0.0f) v[k] = static_cast<float>(static_cast<double>(v[k]) / static_cast<double>(largest[k]));
    }
  }
  return vectors;
}

// One map as its map-library files describe it.
struct Unit {
  std::vector<float> weights;
  float error = 0.0f;
  std::vector<std::string> ids;
  int child = 0;  // the child map's number, 0 for none
};
struct Map {
  int gid = 0, level = 0, parentColumn = 0, parentRow = 0, columns = 0, rows = 0;
  std::vector<Unit> units;  // scan order
};

std::map<int, Map> readMaps(const e2e::Folder& f) {
  std::map<int, Map> maps;
  for (const std::string& name : f.list("out", ".wgt")) {
    Map m;
    sscanf(name.c_str(), "map_%d_%d_%d_%d.wgt", &m.gid, &m.level, &m.parentColumn, &m.parentRow);
    std::istringstream wgt(f.read("out/" + name));
    for (std::string line; std::getline(wgt, line);) {
      if (line.rfind("$XDIM ", 0) == 0) m.columns = std::stoi(line.substr(6));
      if (line.rfind("$YDIM ", 0) == 0) m.rows = std::stoi(line.substr(6));
      if (line.empty() || line[0] == '#' || line[0] == '$') continue;
      std::istringstream in(line);
      Unit u;
      for (int k = 0; k < 3; k++) {
        std::string token;
        in >> token;
        u.weights.push_back(std::strtof(token.c_str(), nullptr));  // ten digits give the float back
      }
      m.units.push_back(u);
    }
    std::istringstream unit(f.read("out/" + name.substr(0, name.size() - 4) + ".unit"));
    size_t at = 0, column = 0;
    for (std::string line; std::getline(unit, line);) {
      if (line.rfind("$POS_X ", 0) == 0) column = std::stoi(line.substr(7));
      if (line.rfind("$POS_Y ", 0) == 0) at = std::stoi(line.substr(7)) * m.columns + column;
      if (line.rfind("$QUANTERROR_NODE ", 0) == 0) m.units[at].error = std::strtof(line.c_str() + 17, nullptr);
      if (line.rfind("$MAPPED_VECS ", 0) == 0) {
        std::istringstream ids(line.substr(13));
        for (std::string id; ids >> id;) m.units[at].ids.push_back(id);
      }
      if (line.rfind("$URL_MAPPED_SOMS ", 0) == 0)
        sscanf(line.c_str(), "$URL_MAPPED_SOMS out/map_%d_", &m.units[at].child);
    }
    maps[m.gid] = m;
  }
  return maps;
}

// The figures of one set of vectors and their winners, computed here in double.
struct Sums {
  double distance = 0.0, squared = 0.0;
  long long count = 0;
  void add(float d) {
    distance += std::sqrt(static_cast<double>(d));
    squared += d;
    count++;
  }
};
double spread(const std::vector<const std::vector<float>*>& vs) {
  std::vector<double> mean(3, 0.0);
  for (const auto* v : vs) {
    for (int k = 0; k < 3; k++) mean[k] += (*v)[k];
  }
  double sum = 0.0;
  for (const auto* v : vs) {
    for (int k = 0; k < 3; k++) sum += ((*v)[k] - mean[k] / vs.size()) * ((*v)[k] - mean[k] / vs.size());
  }
  return sum;
}

// The two nearest units by the plain rule: smallest distance first, the earlier unit of equals first.
std::pair<int, int> twoNearest(const Map& m, const std::vector<float>& x) {
  std::vector<std::pair<float, int>> d;
  for (size_t u = 0; u < m.units.size(); u++) d.push_back({e2e::squaredDistance(x, m.units[u].weights), u});
  std::sort(d.begin(), d.end());
  return {d[0].second, d[1].second};
}

int majority(const Unit& u, std::map<std::string, int>& classCount) {
  std::map<std::string, int> counts;
  for (const std::string& id : u.ids) counts[classOf(std::stoi(id.substr(1)))]++;
  int best = 0;
  for (const auto& [name, n] : counts) best = std::max(best, n);
  for (const auto& [name, n] : counts) classCount[name] += n;
  return best;
}

void expectMean(const json::Value& v, double want, const std::string& what) {
  EXPECT_NEAR(v.number(), want, 1e-6 * std::abs(want) + 1e-12) << what;
}
void expectShare(const json::Value& v, long long part, long long whole, const std::string& what) {
  EXPECT_EQ(static_cast<float>(v.number()), static_cast<float>(static_cast<double>(part) / whole)) << what;
}

TEST(Quality, FiguresAgreeWithAnIndependentComputation) {
  RunFolder s("saveSummary=true\nclassFile=classes.csv\n");
  const e2e::Run run = s.f.run("run.prop");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("classfile: 3 classes, 35 vectors without a class, 2 identifiers not in the inputfile\n"),
            std::string::npos);
  json::Reader reader(s.f.read("out/map_summary.json"));
  const json::Value summary = reader.read();
  ASSERT_TRUE(reader.ok());
  std::vector<std::string> order;
  const auto input = normalisedInput(s.f.read("data.vec"), order);
  const std::map<int, Map> maps = readMaps(s.f);
  ASSERT_GE(maps.size(), 3u);
  ASSERT_EQ(summary["maps"].items.size(), maps.size());

  // MQE0 as the program defines it: float sums in input order.
  std::vector<float> mean(3, 0.0f);
  for (const auto& id : order) {
    for (int k = 0; k < 3; k++) mean[k] = static_cast<float>(static_cast<double>(mean[k]) + input.at(id)[k]);
  }
  for (float& m : mean) m = static_cast<float>(static_cast<double>(m) / order.size());
  float mqe0 = 0.0f;
  for (const auto& id : order)
    mqe0 = static_cast<float>(mqe0 + static_cast<double>(e2e::squaredDistance(input.at(id), mean)));

  Sums deep;
  long long leafUnits = 0, units = 0, leafMajorities = 0;
  double leafPairsTogether = 0.0, leafPairs = 0.0;  // pairs of vectors in one leaf unit (and of one class)
  long long leafClusters = 0;                       // leaf units holding vectors
  auto pairs = [](double n) { return n * (n - 1) / 2; };
  int levels = 0;
  std::map<std::string, int> classCount;
  size_t k = 0;
  for (const auto& [gid, m] : maps) {
    const json::Value& j = summary["maps"].items[k++];
    const std::string what = "map " + std::to_string(gid);
    EXPECT_EQ(j["map"].number(), gid);
    EXPECT_EQ(j["level"].number(), m.level) << what;
    EXPECT_EQ(j["columns"].number(), m.columns) << what;
    EXPECT_EQ(j["rows"].number(), m.rows) << what;
    EXPECT_EQ(j["units"].number(), m.columns * m.rows) << what;
    EXPECT_EQ(j["parentColumn"].number(), m.parentColumn) << what;
    EXPECT_EQ(j["parentRow"].number(), m.parentRow) << what;
    Sums own;
    long long empty = 0, apart = 0, majorities = 0;
    std::vector<const std::vector<float>*> vs;
    float errorSum = 0.0f;
    int positive = 0;
    for (size_t u = 0; u < m.units.size(); u++) {
      const Unit& unit = m.units[u];
      empty += unit.ids.empty();
      for (const std::string& id : unit.ids) {
        const std::vector<float>& x = input.at(id);
        vs.push_back(&x);
        const float d = e2e::squaredDistance(x, unit.weights);
        own.add(d);
        if (unit.child == 0) deep.add(d);
        const auto [a, b] = twoNearest(m, x);
        EXPECT_EQ(static_cast<size_t>(a), u) << what << " " << id;
        apart += std::abs(a % m.columns - b % m.columns) + std::abs(a / m.columns - b / m.columns) != 1;
      }
      std::map<std::string, int> counted;
      const int best = majority(unit, unit.child == 0 ? classCount : counted);
      majorities += best;
      if (unit.child == 0) {
        leafMajorities += best;
        leafClusters += !unit.ids.empty();
        leafPairs += pairs(static_cast<double>(unit.ids.size()));
        std::map<std::string, int> own;
        for (const std::string& id : unit.ids) own[classOf(std::stoi(id.substr(1)))]++;
        for (const auto& [name, n] : own) leafPairsTogether += pairs(n);
      }
      leafUnits += unit.child == 0;
      if (unit.error > 0.0f) {
        errorSum = static_cast<float>(static_cast<double>(errorSum) + unit.error);
        positive++;
      }
    }
    units += m.units.size();
    levels = std::max(levels, m.level);
    EXPECT_EQ(j["vectors"].number(), own.count) << what;
    EXPECT_EQ(j["emptyUnits"].number(), empty) << what;
    expectMean(j["meanQuantizationError"], own.distance / own.count, what);
    expectMean(j["meanSquaredError"], own.squared / own.count, what);
    expectMean(j["explainedVariance"], 1.0 - own.squared / spread(vs), what);
    expectShare(j["topographicError"], m.units.size() > 1 ? apart : 0, own.count, what);
    expectShare(j["purity"], majorities, own.count, what);
    EXPECT_EQ(static_cast<float>(j["errorReached"].number()),
              static_cast<float>(static_cast<double>(errorSum) / positive))
        << what;
    // The bound: TAU_1 x MQE0 for the first layer, TAU_1 x the parent unit's error below it.
    float above = mqe0;
    int parent = 0;
    for (const auto& [pg, pm] : maps) {
      for (const Unit& pu : pm.units) {
        if (pu.child == gid) {
          above = pu.error;
          parent = pg;
        }
      }
    }
    EXPECT_EQ(static_cast<float>(j["errorBound"].number()), 0.05f * above) << what;
    if (m.level == 1) {
      EXPECT_EQ(j["parentMap"].kind, json::Value::Null);
    } else {
      EXPECT_EQ(j["parentMap"].number(), parent) << what;
    }
  }
  const json::Value& h = summary["hierarchy"];
  EXPECT_EQ(h["levels"].number(), levels);
  EXPECT_EQ(h["maps"].number(), maps.size());
  EXPECT_EQ(h["units"].number(), units);
  EXPECT_EQ(h["leafUnits"].number(), leafUnits);
  EXPECT_EQ(h["vectors"].number(), kVectors);
  EXPECT_EQ(deep.count, kVectors);  // every vector once, at its deepest unit
  std::vector<const std::vector<float>*> all;
  for (const auto& [id, v] : input) all.push_back(&v);
  expectMean(h["meanQuantizationError"], deep.distance / kVectors, "hierarchy");
  expectMean(h["explainedVariance"], 1.0 - deep.squared / spread(all), "hierarchy");
  expectShare(h["purity"], leafMajorities, kVectors, "leaf purity");
  double classPairs = 0.0;
  for (const auto& [name, n] : classCount) classPairs += pairs(n);
  const double expected = leafPairs * classPairs / pairs(kVectors);
  expectMean(h["adjustedRandIndex"], (leafPairsTogether - expected) / ((leafPairs + classPairs) / 2 - expected), "ARI");
  ASSERT_EQ(h["byLevel"].items.size(), static_cast<size_t>(levels));
  EXPECT_EQ(h["byLevel"].items.back()["adjustedRandIndex"].number(), h["adjustedRandIndex"].number());
  EXPECT_EQ(h["byLevel"].items.back()["clusters"].number(), leafClusters);
  EXPECT_EQ(static_cast<float>(h["mqe0"].number()), mqe0);
  EXPECT_EQ(h["unknownIdentifiers"].number(), 2);
  const json::Value& classes = h["classes"];
  ASSERT_EQ(classes.items.size(), 4u);
  const char* names[] = {"c1", "c2", "c0", "(none)"};  // in the order the file first names them; "(none)" last
  for (int c = 0; c < 4; c++) {
    EXPECT_EQ(classes.items[c]["name"].text, names[c]);
    EXPECT_EQ(classes.items[c]["vectors"].number(), classCount[names[c]]) << names[c];
  }
  // The settings: every key with its value.
  const json::Value& settings = summary["settings"];
  EXPECT_EQ(settings["TAU_2"].text, "0.004");
  EXPECT_EQ(settings["randomSeed"].number(), 5);
  EXPECT_EQ(settings["normInputVectors"].text, "INTERVAL");
  EXPECT_EQ(settings["classFile"].text, "classes.csv");
  EXPECT_EQ(settings["MQE0_FILE"].kind, json::Value::Null);
  EXPECT_TRUE(settings["saveSummary"].boolean);
  EXPECT_FALSE(settings["ORIENTATION"].boolean);
}

TEST(Quality, ClassesReachTheOverviewAndTheAssignments) {
  RunFolder s("classFile=classes.csv\n");
  const e2e::Run run = s.f.run("run.prop");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_FALSE(std::filesystem::exists(s.f.path("out/map_summary.json")));
  const std::string page = s.f.read("out/map_overview.html");
  const int maps = static_cast<int>(s.f.list("out", ".wgt").size());
  EXPECT_EQ(e2e::count(page, " &middot; mean QE "), maps);
  EXPECT_EQ(e2e::count(page, " &middot; purity "), maps);
  EXPECT_NE(page.find("<tr><th>Quality</th><td>at each vector's deepest unit: mean quantization error "),
            std::string::npos);
  EXPECT_NE(page.find("(none) (35)</span>"), std::string::npos);
  // A class bar on every unit that holds vectors.
  int filled = 0;
  for (const auto& [gid, m] : readMaps(s.f)) {
    for (const Unit& u : m.units) filled += !u.ids.empty();
  }
  EXPECT_EQ(e2e::count(page, "<rect class=\"cls\" data-c="), filled);

  const std::string csv = s.f.read("out/map_assignments.csv");
  std::istringstream lines(csv);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "id,map,level,column,row,distance,path,class\r");
  for (int i = 0; i < kVectors; i++) {
    std::getline(lines, line);
    EXPECT_EQ(line.substr(line.rfind(',') + 1), classOf(i) + "\r") << line;
  }
}

TEST(Quality, WithoutTheNewKeysNothingShowsFigures) {
  RunFolder s("");
  const e2e::Run run = s.f.run("run.prop");
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out.find("classfile"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(s.f.path("out/map_summary.json")));
  const std::string page = s.f.read("out/map_overview.html");
  EXPECT_EQ(page.find("mean QE"), std::string::npos);
  EXPECT_EQ(page.find("Quality"), std::string::npos);
  EXPECT_EQ(s.f.read("out/map_assignments.csv").substr(0, 39), "id,map,level,column,row,distance,path\r\n");
}

// A class file that is missing, a folder or malformed, or that gives an identifier two classes: one line, status
// 1, before any map is built, and no file written.
TEST(Quality, BadClassFilesAreRefusedBeforeTraining) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "classfile not found (check propertyfile)"},
      {"DIR", "classfile not found (check propertyfile)"},
      {"id,class\nv1,c1,extra\n",
       "classfile line 2: 3 fields where two are expected (identifier,class) (check classfile)"},
      {"id,class\nv1,\"c1\n", "classfile line 2: a quoted field is not closed (check classfile)"},
      {"id,class\nv1,c1\nv2,c2\nv1,c2\n",
       "classfile line 4: identifier \"v1\" has class \"c2\" here and \"c1\" on line 2 (check classfile)"},
  };
  for (const auto& [text, message] : cases) {
    RunFolder s("saveSummary=true\nclassFile=given.csv\n");
    if (text == "DIR") {
      s.f.mkdir("given.csv");
    } else if (!text.empty()) {
      s.f.write("given.csv", text);
    }
    const e2e::Run run = s.f.run("run.prop");
    EXPECT_EQ(run.status, 1) << message;
    EXPECT_EQ(run.out.substr(run.out.rfind('\n', run.out.size() - 2) + 1), message + "\n");
    EXPECT_EQ(run.out.find("MQE0"), std::string::npos) << message;
    EXPECT_TRUE(s.f.list("out").empty()) << message;
  }
  RunFolder s("saveSummary=true\nsaveAsHTML=false\nsaveAsCartix=false\nsaveOverview=false\nsaveAssignments=false\n");
  s.f.write("run.prop", "inputFile=data.vec\ndescriptionFile=data.tv\nsaveAsHTML=false\nsaveSummary=true\n");
  const e2e::Run run = s.f.run("run.prop");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("savePath not set (check propertyfile)\n"), std::string::npos);
}

// Standard error on a terminal gets the status line; the console report stays what it is.
TEST(Quality, TheProgressLineGoesOnlyToATerminal) {
  RunFolder s("");
  std::string seen;
  const e2e::Run onTerminal = s.f.run("run.prop", 60, "/dev/null", &seen);
  ASSERT_EQ(onTerminal.status, 0);
  EXPECT_NE(seen.find("level 1, map 1 (2 x 2 units), "), std::string::npos) << seen;
  EXPECT_NE(seen.find(" growth check"), std::string::npos);

  RunFolder piped("");
  const e2e::Run plain = piped.f.run("run.prop");
  EXPECT_EQ(piped.f.read("stderr"), "");
  // The same report but the processor time (the line before the first BEL).
  auto withoutTime = [](const std::string& out) {
    const size_t bell = out.find('\a');
    return out.substr(0, out.rfind('\n', bell - 2)) + out.substr(bell);
  };
  EXPECT_EQ(withoutTime(onTerminal.out), withoutTime(plain.out));
}

}  // namespace
