// The overview page and the assignments file of complete runs: strict markup, links that resolve, counts that add
// up, escaped data, tooltips that name their unit, a legend of many classes folded; every vector's line in the CSV
// agreeing with the unit files; write failures.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <vector>

#include "e2e_support.h"
#include "html_checker.h"

namespace {

const std::string kOddId = "a<b&\"c'", kOddName = "<i>g&\"'</i>";
const std::vector<std::string> kSpecialIds = {kOddId, "x,y", "q\"q", "cr\r", "twin", "twin"};
const int kVectors = 60;

// Cluster data whose first vectors carry awkward identifiers (the two "twin"s are equal vectors), a component name
// with markup, and a file prefix that a link must encode.
struct Trained {
  e2e::Folder f;
  std::vector<std::string> ids;
  e2e::Run run;
  std::string page;
  html::Document doc;
  explicit Trained(const std::string& extra) {
    std::istringstream lines(e2e::clusterData(kVectors));
    std::string data, line, values;
    for (int n = -4; std::getline(lines, line); n++) {
      if (n < 0) {
        data += line + "\n";
        continue;
      }
      values = n == 5 ? values : line.substr(0, line.rfind(' ') + 1);  // the second twin repeats the first
      ids.push_back(n < static_cast<int>(kSpecialIds.size()) ? kSpecialIds[n] : line.substr(line.rfind(' ') + 1));
      data += values + ids.back() + "\n";
    }
    f.write("data.vec", data);
    std::string names = e2e::kDescription;
    f.write("data.tv", names.replace(names.find("green"), 5, kOddName));
    f.mkdir("out");
    f.write("run.prop",
            "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\nrandomSeed=42\nTAU_1=0.03\n"
            "TAU_2=0.02\nHTML_PREFIX=r&d #1\nsaveOverview=true\nsaveAssignments=true\n" +
                extra);
    run = f.run("run.prop");
    page = f.read("out/r&d #1_overview.html");
    doc = html::parse(page);
  }
  static const Trained& full() {
    static const Trained r("saveAsCartix=true\n");
    return r;
  }
};

std::string percentDecoded(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); i++) {
    out += s[i] == '%' ? static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16)) : s[i];
    i += s[i] == '%' ? 2 : 0;
  }
  return out;
}

std::map<std::string, const html::Element*> sectionsById(const html::Document& doc) {
  std::map<std::string, const html::Element*> sections;
  for (const html::Element* d : doc.root->all("details")) sections[d->attr("id")] = d;
  return sections;
}

TEST(Overview, StrictMarkupSelfContainedAndEveryLinkResolves) {
  const Trained& r = Trained::full();
  ASSERT_EQ(r.run.status, 0) << r.run.out;
  for (const std::string& e : r.doc.errors) ADD_FAILURE() << e;
  std::set<std::string> ids;
  for (const html::Element* e : r.doc.root->all()) {
    if (!e->attr("id").empty()) {
      EXPECT_TRUE(ids.insert(e->attr("id")).second) << "duplicate id " << e->attr("id");
    }
    EXPECT_EQ(e->attr("src"), "") << "external resource in <" << e->tag << ">";
    EXPECT_NE(e->tag, "link");
  }
  int pages = 0;
  for (const html::Element* a : r.doc.root->all("a")) {
    const std::string href = a->attr("href");
    if (href[0] == '#') {
      EXPECT_TRUE(ids.count(href.substr(1))) << href;
    } else {
      EXPECT_TRUE(std::filesystem::exists(r.f.path("out/" + percentDecoded(href)))) << href;
      pages++;
    }
  }
  EXPECT_EQ(pages, static_cast<int>(r.f.list("out", ".html").size()) - 1);  // each map's page once, not the overview
  // Written after the pages and before the map-library files.
  std::vector<std::string> saved;
  std::istringstream out(r.run.out.substr(r.run.out.find("\asaving") + 1));
  for (std::string line; std::getline(out, line) && line.rfind("saving ", 0) == 0;) saved.push_back(line.substr(11));
  ASSERT_EQ(saved.size(), 4u * pages + 2);
  EXPECT_EQ(saved[pages], "r&d #1_overview.html");
  EXPECT_EQ(saved[pages + 1], "r&d #1_assignments.csv");
  EXPECT_EQ(saved[pages + 2], "r&d #1_1_1_0_0.mapdescr");
}

// Each map's cells hold its vectors; an expanded cell holds exactly its child's, whose section lies inside.
TEST(Overview, MapsNestedWithCountsThatAddUp) {
  const Trained& r = Trained::full();
  auto sections = sectionsById(r.doc);
  ASSERT_GE(sections.size(), 3u);
  EXPECT_EQ(sections["map-1"]->attr("data-vectors"), std::to_string(kVectors));
  EXPECT_EQ(sections["map-1"]->attrs.count("open"), 1u);
  int lastGid = 0;
  for (const html::Element* d : r.doc.root->all("details")) {
    const int gid = std::stoi(d->attr("id").substr(4));
    EXPECT_GT(gid, lastGid);  // in the order of the map numbers
    lastGid = gid;
    long sum = 0;
    for (const html::Element* cell : d->all("rect")) {
      const html::Element* owner = cell;
      while (owner->tag != "details") owner = owner->parent;
      if (owner != d || cell->attr("class") != "cell") continue;
      sum += std::stol(cell->attr("data-n"));
      if (cell->parent->tag != "a") continue;
      const html::Element* child = sections[cell->parent->attr("href").substr(1)];
      ASSERT_NE(child, nullptr);
      EXPECT_EQ(cell->attr("data-n"), child->attr("data-vectors"));
      EXPECT_EQ(child->parent, d);
    }
    EXPECT_EQ(std::to_string(sum), d->attr("data-vectors")) << d->attr("id");
  }
}

// Identifiers and names reach the reader intact, never as markup; the embedded names cannot end the script.
TEST(Overview, DataIsEscapedEverywhere) {
  const Trained& r = Trained::full();
  EXPECT_EQ(r.page.find(kOddId), std::string::npos);
  EXPECT_EQ(r.page.find(kOddName), std::string::npos);
  int tips = 0, labels = 0;
  for (const html::Element* t : r.doc.root->all("title")) tips += t->text.find(kOddId) != std::string::npos;
  for (const html::Element* t : r.doc.root->all("text")) labels += t->text == kOddName;
  EXPECT_GE(tips, 2);  // on the first layer and below
  EXPECT_GE(labels, 1);
  EXPECT_EQ(r.doc.root->all("title")[0]->text, "r&d #1: overview of the map hierarchy");
  const auto scripts = r.doc.root->all("script");
  ASSERT_EQ(scripts.size(), 2u);
  EXPECT_EQ(scripts[0]->attr("id"), "velmar-weights");
  EXPECT_EQ(scripts[0]->text.find('<'), std::string::npos);
  EXPECT_NE(scripts[0]->text.find("\\u003ci\\u003eg\\u0026\\\"'\\u003c/i\\u003e"), std::string::npos);
}

TEST(Overview, WithoutPagesLinksOnlyWithin) {
  Trained r("saveAsHTML=false\n");
  ASSERT_EQ(r.run.status, 0);
  EXPECT_TRUE(r.doc.errors.empty());
  EXPECT_EQ(r.f.list("out"), (std::set<std::string>{"r&d #1_overview.html", "r&d #1_assignments.csv"}));
  for (const html::Element* a : r.doc.root->all("a")) EXPECT_EQ(a->attr("href")[0], '#');
}

// Each unit's tooltip names the column and row at which its square is drawn and which its number (data-u) counts.
TEST(Overview, EveryTooltipNamesItsOwnColumnAndRow) {
  const Trained& r = Trained::full();
  int units = 0;
  for (const html::Element* grid : r.doc.root->all("svg")) {
    if (grid->attr("class") != "grid") continue;
    std::map<int, std::set<std::string>> xOf, yOf;     // by the column and row the tooltips name
    std::vector<std::pair<int, std::string>> numbers;  // row * columns + column (columns known at the end), data-u
    for (const html::Element* g : grid->all("g")) {
      int column = -1, row = -1;
      ASSERT_EQ(sscanf(g->all("title")[0]->text.c_str(), "unit %d,%d: ", &column, &row), 2);
      const html::Element* cell = g->all("rect")[0];
      ASSERT_EQ(cell->attr("class"), "cell");
      xOf[column].insert(cell->attr("x"));
      yOf[row].insert(cell->attr("y"));
      numbers.push_back({row * 1000 + column, cell->attr("data-u")});
      units++;
    }
    for (const auto* axis : {&xOf, &yOf}) {
      int last = -1;
      for (const auto& [place, drawn] : *axis) {
        ASSERT_EQ(drawn.size(), 1u) << grid->attr("id") << ": one place drawn at several";
        EXPECT_GT(std::stoi(*drawn.begin()), last) << grid->attr("id");
        last = std::stoi(*drawn.begin());
      }
    }
    for (const auto& [at, number] : numbers) {
      EXPECT_EQ(number, std::to_string(at / 1000 * static_cast<int>(xOf.size()) + at % 1000)) << grid->attr("id");
    }
  }
  int cells = 0;
  for (const html::Element* rect : r.doc.root->all("rect")) cells += rect->attr("class") == "cell";
  EXPECT_EQ(units, cells);
}

// A legend of 13 classes or more names the 12 largest, each in its own colour, and folds the rest behind a toggle
// in one neutral colour; the units' class bars take their class's legend colour. Up to 12, every class is named in
// the class file's order. Class k of the file holds k + 1 vectors, so the largest come last.
TEST(Overview, ALegendOfManyClassesFoldsAllButTheTwelveLargest) {
  for (const int count : {12, 14}) {
    e2e::Folder f;
    f.write("data.vec", e2e::clusterData(count * (count + 1) / 2));
    f.write("data.tv", e2e::kDescription);
    std::string classes = "id,class\n";
    for (int k = 0, i = 0; k < count; k++) {
      for (int n = 0; n <= k; n++) classes += "v" + std::to_string(i++) + ",k" + std::to_string(k) + "\n";
    }
    f.write("classes.csv", classes);
    f.mkdir("out");
    f.write("run.prop",
            "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\nsaveAsHTML=false\n"
            "saveOverview=true\nclassFile=classes.csv\nTAU_2=0.02\n");
    ASSERT_EQ(f.run("run.prop").status, 0);
    const html::Document doc = html::parse(f.read("out/map_overview.html"));
    for (const std::string& e : doc.errors) ADD_FAILURE() << e;

    std::map<std::string, std::string> colourOf;
    std::set<std::string> named, folded;
    int place = 0;
    for (const html::Element* span : doc.root->all("span")) {
      if (span->attr("class") != "cls") continue;
      const int k = count > 12 ? count - 1 - place : place;  // largest first, or in file order
      EXPECT_EQ(span->text, " k" + std::to_string(k) + " (" + std::to_string(k + 1) + ")") << count;
      EXPECT_EQ(span->within("details"), place >= 12) << span->text;
      const std::string fill = span->all("rect")[0]->attr("fill");
      colourOf["k" + std::to_string(k)] = fill;
      (place++ < 12 ? named : folded).insert(fill);
    }
    EXPECT_EQ(place, count);
    EXPECT_EQ(named.size(), 12u);
    EXPECT_EQ(folded.size(), count > 12 ? 1u : 0u);
    if (count > 12) {
      EXPECT_EQ(named.count(*folded.begin()), 0u);
      const auto summaries = doc.root->all("summary");
      EXPECT_EQ(summaries[0]->text, std::to_string(count - 12) + " more classes");
    }
    int bars = 0;
    for (const html::Element* g : doc.root->all("g")) {
      const std::string tip = g->all("title")[0]->text;
      for (const html::Element* bar : g->all("rect")) {
        if (bar->attr("class") != "cls") continue;
        const size_t at = tip.find("\nclass ") + 7;
        EXPECT_EQ(bar->attr("fill"), colourOf[tip.substr(at, tip.find(':', at) - at)]) << tip;
        bars++;
      }
    }
    EXPECT_GT(bars, 0);
  }
}

// RFC 4180 records: fields split at commas outside quotes, "" inside quotes is one quote, lines end with CRLF.
std::vector<std::vector<std::string>> readCsv(const std::string& text) {
  std::vector<std::vector<std::string>> rows(1, std::vector<std::string>(1));
  bool quoted = false;
  for (size_t i = 0; i < text.size(); i++) {
    const char c = text[i];
    if (quoted && c == '"' && i + 1 < text.size() && text[i + 1] == '"')
      rows.back().back() += text[i++];
    else if (c == '"')
      quoted = !quoted;
    else if (!quoted && c == ',')
      rows.back().emplace_back();
    else if (!quoted && c == '\r' && text.compare(i, 2, "\r\n") == 0 && ++i)
      rows.emplace_back(1);
    else
      rows.back().back() += c;
  }
  EXPECT_EQ(rows.back(), std::vector<std::string>(1));  // the last line ended too
  rows.pop_back();
  return rows;
}

// Every input vector once, in input order, at the deepest unit the unit files list it in, with the path of units
// leading there and its exact distance to that unit's weights.
TEST(Assignments, EveryVectorOnceAgreeingWithTheUnitFiles) {
  const Trained& r = Trained::full();
  struct Step {
    std::string gid, column, row;
    std::vector<float> weights;
  };
  std::map<std::string, std::map<int, Step>> steps;  // by identifier, then level: the units that list it
  for (const std::string& name : r.f.list("out", ".unit")) {
    const std::string unit = r.f.read("out/" + name), stem = name.substr(0, name.size() - 5);
    std::istringstream wgt(r.f.read("out/" + stem + ".wgt"));
    std::vector<std::vector<float>> weights;
    for (std::string line; std::getline(wgt, line);) {
      std::istringstream in(line);
      std::vector<float> w(3);
      if (line[0] != '#' && line[0] != '$' && (in >> w[0] >> w[1] >> w[2])) weights.push_back(w);
    }
    const std::regex block(R"(\$NODE_ID (\d+)_(\d+)_\d+/\d+_(\d+)/(\d+)\n[^\n]*\n[^\n]*\n\$MAPPED_VECS ([^\n]*)\n)");
    const int columns = std::stoi(unit.substr(unit.find("$XDIM ") + 6));
    for (std::sregex_iterator it(unit.begin(), unit.end(), block), end; it != end; ++it) {
      std::istringstream listed((*it)[5]);
      const size_t u = std::stoul((*it)[4]) * columns + std::stoul((*it)[3]);
      for (std::string id; std::getline(listed, id, ' ');)
        steps[id][std::stoi((*it)[2])] = {(*it)[1], (*it)[3], (*it)[4], weights[u]};
    }
  }
  const auto rows = readCsv(r.f.read("out/r&d #1_assignments.csv"));
  ASSERT_EQ(rows.size(), kVectors + 1u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"id", "map", "level", "column", "row", "distance", "path"}));
  std::istringstream data(r.f.read("data.vec"));
  std::string line;
  for (int k = 0; k < 4; k++) std::getline(data, line);
  for (int k = 0; k < kVectors; k++) {
    const auto& row = rows[k + 1];
    ASSERT_EQ(row.size(), 7u);
    EXPECT_EQ(row[0], r.ids[k]);
    const auto& chain = steps[row[0]];
    ASSERT_FALSE(chain.empty()) << row[0];
    std::string path;
    for (const auto& [level, s] : chain) path += (path.empty() ? "" : "/") + s.column + "," + s.row;
    const auto& [level, deepest] = *chain.rbegin();
    EXPECT_EQ(row[1] + " " + row[2] + " " + row[3] + " " + row[4] + " " + row[6],
              deepest.gid + " " + std::to_string(level) + " " + deepest.column + " " + deepest.row + " " + path);
    std::getline(data, line);
    std::istringstream in(line);
    std::vector<float> v(3);
    for (float& x : v) {
      std::string t;
      in >> t;
      x = static_cast<float>(atof(t.c_str()));
    }
    EXPECT_EQ(static_cast<float>(std::strtod(row[5].c_str(), nullptr)), e2e::squaredDistance(v, deepest.weights))
        << row[0];
  }
}

TEST(Overview, FilesThatCannotBeWrittenEndTheRun) {
  for (const std::string kind : {"overview.html", "assignments.csv"}) {
    e2e::Folder f;
    f.write("data.vec", e2e::clusterData(30));
    f.write("data.tv", e2e::kDescription);
    f.mkdir("out");
    f.write("run.prop",
            "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\nsaveOverview=true\n"
            "saveAssignments=true\nsaveAsCartix=true\n");
    std::filesystem::create_symlink("/dev/full", f.path("out/map_" + kind));
    const e2e::Run r = f.run("run.prop");
    EXPECT_EQ(r.status, 1);
    const std::string what = kind[0] == 'o' ? "Overview" : "Assignments";
    EXPECT_EQ(r.out.substr(r.out.rfind("saving ")),
              "saving out/map_" + kind + "\n" + what + " file could not be written\n");
  }
}

}  // namespace
