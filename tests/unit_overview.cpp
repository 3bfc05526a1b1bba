// The overview page without its component weights when they would not fit, and its run summary from the settings
// it is given; CSV fields; the defaults the help states; the agreement of each level's partition with known classes.

#include <sys/stat.h>

#include <cmath>
#include <sstream>

#include "html_checker.h"
#include "output/assignments.h"
#include "output/figures.h"
#include "output/knownclasses.h"
#include "output/outputsettings.h"
#include "output/overview.h"
#include "settings/helptext.h"
#include "test_support.h"

void setProp(const char* prop, const char* val);

namespace {

// A trained-looking two-level hierarchy: a 2 x 1 first-layer map whose left unit holds two vectors and has a child.
void smallHierarchy() {
  DataLoader* loader = Globals::currentDataLoader;
  loader->readDataItems(
      testsupport::writeTempFile("ov.in", "$TYPE vec\n$N 2\n$X x\n$DIM 3\n1 0 0 p\n0 1 0 q\n").c_str());
  loader->readVectorDescription(testsupport::writeTempFile("ov.dsc", "#\n#\n#\n#\n0 a .\n1 b .\n2 c .\n").c_str());
  testsupport::resetGlobals(3);
  Globals::hfm = new NeuronLayer(nullptr, Globals::dataItems, 0.0f, 0, 1, 1, 0, 0, nullptr, nullptr, nullptr, nullptr);
  Globals::hfm->getNeuron(0, 0)->addMap(Globals::dataItems, 4.0f, 1, 2, 1, 0, 0);
  NeuronLayer* first = Globals::getFirstLayerMap();
  Globals::addLayer(0, Globals::hfm);
  Globals::addLayer(1, first);
  Neuron* unit = first->getNeuron(0, 0);
  unit->addRepresentingDataItem(testsupport::item("p", {1, 0, 0}));
  unit->addRepresentingDataItem(testsupport::item("q", {0, 1, 0}));
  unit->addMap(unit, 1.0f, 2, 1, 1, 0, 0);
  Globals::addLayer(2, unit->getMap());
}

TEST(OverviewPage, LeavesTheWeightsOutOnlyWhenTheyWouldPassTheBudget) {
  smallHierarchy();
  const OutputSettings shown;
  std::ostringstream full, trimmed;
  Overview::write(full, shown);
  const size_t size = full.str().size();
  Overview::write(trimmed, shown, size - 1);
  std::ostringstream exact;
  Overview::write(exact, shown, size);
  EXPECT_EQ(exact.str(), full.str());
  for (const std::string& page : {full.str(), trimmed.str()}) {
    const html::Document doc = html::parse(page);
    EXPECT_TRUE(doc.errors.empty()) << doc.errors[0];
    EXPECT_EQ(doc.root->all("details").size(), 2u);
  }
  EXPECT_NE(full.str().find("{\"names\":[\"a\",\"b\",\"c\"],\"maps\":{\"1\":["), std::string::npos);
  EXPECT_EQ(trimmed.str().find("id=\"velmar-weights\""), std::string::npos);
  EXPECT_NE(trimmed.str().find("weights are left out"), std::string::npos);
}

// The run summary shows the settings the page is given (the settings in Globals stay the defaults).
TEST(OverviewPage, RunSummaryShowsTheSettingsItIsGiven) {
  smallHierarchy();
  OutputSettings shown;
  shown.prefix = "r&d";
  shown.inputFile = "in<1>.vec";
  shown.mqe0File = "m.mqe0";
  shown.normalisation = 2;
  shown.tau1 = 0.5f;
  shown.tau2 = 0.125f;
  shown.expandCycles = 7;
  shown.randomSeed = 7;
  shown.randomSeedGiven = true;
  shown.trainingTime = 2.5f;
  shown.mapPages = true;
  std::ostringstream page;
  Overview::write(page, shown);
  for (const char* part : {"<title>r&amp;d: overview", "<td>in&lt;1&gt;.vec</td>", "<td>4 (from m.mqe0)</td>",
                           "<td>INTERVAL (", "<td>0.5, 0.125</td>", "<td>7, 0 (no limit)</td>",
                           "Random seed</th><td>7</td>", "<td>2.5 s</td>", "<a href=\"r%26d_1_1_0_0.html\">page</a>"}) {
    EXPECT_NE(page.str().find(part), std::string::npos) << part;
  }
}

// The five vectors p1 p2 q1 q2 q3 and a first-layer map of `columns` x 1 units, none holding any yet.
NeuronLayer* fiveVectors(int columns) {
  testsupport::resetGlobals(1);
  Globals::quiet = true;  // no "added" lines among the test's output
  delete Globals::dataItems;
  Globals::dataItems = Globals::currentDataLoader->readDataItems(
      testsupport::writeTempFile("ari.in", "$T v\n$N 5\n$X x\n$DIM 1\n0 p1\n0 p2\n1 q1\n2 q2\n2 q3\n").c_str());
  Globals::hfm = new NeuronLayer(nullptr, Globals::dataItems, 0.0f, 0, 1, 1, 0, 0, nullptr, nullptr, nullptr, nullptr);
  Globals::hfm->getNeuron(0, 0)->addMap(Globals::dataItems, 4.0f, 1, columns, 1, 0, 0);
  Globals::addLayer(0, Globals::hfm);
  Globals::addLayer(1, Globals::getFirstLayerMap());
  return Globals::getFirstLayerMap();
}

void place(Neuron* unit, std::initializer_list<int> items) {
  for (int k : items) unit->addRepresentingDataItem(Globals::dataItems->elementAt(k));
}

// Classes P P Q Q Q. The first layer puts p1 p2 q1 in unit 0,0, expanded into a child map that splits them as
// p1 p2 | q1, and q2 q3 in unit 1,0, which stays a leaf. Level 2 is then p1 p2 | q1 | q2 q3: the vectors whose
// path ends on level 1 keep their unit there. By hand, with C(n,2) pair counts over C(5,2) = 10 pairs: level 1
// has 2 pairs together, 4 in one unit, 4 in one class, so (2 - 1.6) / (4 - 1.6) = 1/6; level 2 has 2, 2 and 4,
// so (2 - 0.8) / (3 - 0.8) = 6/11, the leaf units' index.
TEST(Figures, AdjustedRandIndexOfEachLevelsPartition) {
  NeuronLayer* first = fiveVectors(2);
  Neuron* expanded = first->getNeuron(0, 0);
  place(expanded, {0, 1, 2});
  place(first->getNeuron(1, 0), {3, 4});
  expanded->addMap(expanded, 1.0f, 2, 2, 1, 0, 0);
  Globals::addLayer(2, expanded->getMap());
  place(expanded->getMap()->getNeuron(0, 0), {0, 1});
  place(expanded->getMap()->getNeuron(1, 0), {2});
  const KnownClasses classes({{"p1", "P"}, {"p2", "P"}, {"q1", "Q"}, {"q2", "Q"}, {"q3", "Q"}}, Globals::dataItems);

  const HierarchyFigures h = measureHierarchy(&classes, 0.0f).hierarchy;
  ASSERT_EQ(h.byLevel.size(), 2u);
  EXPECT_EQ(h.byLevel[0].level, 1);
  EXPECT_EQ(h.byLevel[0].clusters, 2);
  EXPECT_DOUBLE_EQ(h.byLevel[0].adjustedRandIndex, 1.0 / 6.0);
  EXPECT_EQ(h.byLevel[1].level, 2);
  EXPECT_EQ(h.byLevel[1].clusters, 3);
  EXPECT_DOUBLE_EQ(h.byLevel[1].adjustedRandIndex, 6.0 / 11.0);
  EXPECT_DOUBLE_EQ(h.adjustedRandIndex, 6.0 / 11.0);
  EXPECT_EQ(h.purity, 1.0);  // pure leaves, yet far from the classes' partition
  EXPECT_TRUE(std::isnan(measureHierarchy(nullptr, 0.0f).hierarchy.adjustedRandIndex));
}

// One unit for five vectors of one class: the very same partition, so 1 rather than 0 / 0.
TEST(Figures, AdjustedRandIndexOfTwoEqualTrivialPartitionsIsOne) {
  place(fiveVectors(1)->getNeuron(0, 0), {0, 1, 2, 3, 4});
  const KnownClasses one({{"p1", "P"}, {"p2", "P"}, {"q1", "P"}, {"q2", "P"}, {"q3", "P"}}, Globals::dataItems);
  EXPECT_EQ(measureHierarchy(&one, 0.0f).hierarchy.adjustedRandIndex, 1.0);
}

TEST(AssignmentsFile, FieldsAreQuotedOnlyWhenTheyMustBe) {
  const std::pair<std::string, std::string> cases[] = {{"", ""},
                                                       {"v1", "v1"},
                                                       {"a b;c'", "a b;c'"},
                                                       {"x,y", "\"x,y\""},
                                                       {"say \"hi\"", "\"say \"\"hi\"\"\""},
                                                       {"\"", "\"\"\"\""},
                                                       {"cr\r", "\"cr\r\""},
                                                       {"l\nf", "\"l\nf\""}};
  for (const auto& [text, field] : cases) EXPECT_EQ(Assignments::csvField(text), field) << text;
}

// Every default the help text states is what the program starts with: setting a key to it changes nothing.
TEST(HelpText, StatedDefaultsAreTheCompiledOnes) {
  auto settings = [] {
    std::ostringstream s;
    auto text = [](const char* t) { return t == nullptr ? std::string("(null)") : "'" + std::string(t) + "'"; };
    s << Globals::quiet << Globals::EXPAND_CYCLES << " " << Globals::MAX_CYCLES << " " << Globals::TAU_1 << " "
      << Globals::INITIAL_LEARNRATE << " " << Globals::INITIAL_NEIGHBOURHOOD << " " << Globals::NEIGHBOURHOOD_FALLOFF
      << " " << Globals::TAU_2 << " " << text(Globals::HTML_PREFIX) << text(Globals::DATAFILE_EXTENSION)
      << Globals::randomSeed << text(Globals::inputFile) << text(Globals::descriptionFile) << text(Globals::savePath)
      << Globals::printMQE << Globals::normInputVectors << Globals::SAVE_AS_HTML << Globals::SAVE_AS_CARTIX
      << Globals::SAVE_OVERVIEW << Globals::SAVE_ASSIGNMENTS << Globals::SAVE_SUMMARY << text(Globals::classFile)
      << Globals::SAVE_MODEL << " " << Globals::INITIAL_X_SIZE << " " << Globals::INITIAL_Y_SIZE << " "
      << Globals::LABELS_NUM << Globals::LABELS_ONLY << " " << Globals::LABELS_THRESHOLD << Globals::ORIENTATION
      << text(Globals::MQE0_FILE) << text(Globals::inputFormat) << text(Globals::separator) << text(Globals::idColumn)
      << Globals::components << " " << Globals::threads;
    return s.str();
  };
  std::ostringstream help;
  printHelp(help);
  std::istringstream lines(help.str().substr(help.str().find("meanings:\n") + 10));
  int checked = 0;
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string key, value;
    fields >> key >> value;
    if (value[0] == '(') continue;  // no value to write: none, empty, required
    testsupport::resetGlobals(3);
    const std::string before = settings();
    setProp(key.c_str(), value.c_str());
    EXPECT_EQ(settings(), before) << key << " " << value;
    checked++;
  }
  EXPECT_EQ(checked, 28);
}

}  // namespace
