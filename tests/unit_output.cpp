// Output of small hand-built maps: the HTML page and the three map-library files, each showing the settings it is
// given; the path every file takes.

#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "io/outputfile.h"
#include "output/outputsettings.h"
#include "test_support.h"

using testsupport::item;
using testsupport::writeTempFile;

namespace {

std::string outDir;
const size_t npos = std::string::npos;

// Fresh run state: 3 components named by the lines `names`, an output folder, an x by y map under MQE0 = 4. The
// settings in Globals stay unset: the writers show only the settings they are given.
NeuronLayer* firstLayerMap(const std::string& tag, const std::string& names, int x, int y) {
  DataLoader* loader = Globals::currentDataLoader;
  loader->readDataItems(writeTempFile(tag + ".in", "$TYPE vec\n$VEC_COUNT 1\n$X x\n$DIM 3\n0 0 0 v\n").c_str());
  loader->readVectorDescription(writeTempFile(tag + ".dsc", "#\n#\n#\n#\n" + names).c_str());
  testsupport::resetGlobals(3);
  outDir = testsupport::tempDir() + tag;
  mkdir(outDir.c_str(), 0775);
  Globals::hfm = new NeuronLayer(nullptr, Globals::dataItems, 0.0f, 0, 1, 1, 0, 0, nullptr, nullptr, nullptr, nullptr);
  Globals::hfm->getNeuron(0, 0)->addMap(Globals::dataItems, 4.0f, 1, x, y, 0, 0);
  return Globals::hfm->getLayer1Map();
}

// Gives a unit its weights, its error and input vectors named `ids`, all with the values `values`.
void setUnit(Neuron* u, const std::vector<float>& w, float mqe, std::initializer_list<const char*> ids = {},
             std::initializer_list<float> values = {}) {
  std::copy(w.begin(), w.end(), u->weights);
  u->MQE = mqe;
  for (const char* id : ids) u->addRepresentingDataItem(item(id, values));
}

// The settings the writers show in a run with the default settings, writing into outDir.
OutputSettings defaultsShown() {
  OutputSettings shown;
  shown.savePath = outDir;
  shown.prefix = "map";
  shown.inputFile = "vectors.in";
  shown.labelsNum = 5;
  shown.labelsOnly = true;
  shown.tau1 = 0.25f;
  shown.tau2 = 0.1f;
  return shown;
}

std::string readOut(const std::string& name) {
  std::ifstream file(outDir + "/" + name);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

TEST(HtmlPage, CellsEscapeTextAndLinkFilesChildAndParentPages) {
  NeuronLayer* map = firstLayerMap("output_html", "0 p<q .\n1 r .\n2 s .\n", 3, 1);
  setUnit(map->getNeuron(0, 0), {1, 0, 0}, 0.25f, {"a<b&\"c>", "d2"}, {0.5f, 0, 0});  // labelled "p<q" alone
  Neuron* parent = map->getNeuron(1, 0);
  setUnit(parent, {0, 0, 0}, 3.0f, {"e1"}, {1, 1, 1});  // no label
  parent->addMap(parent, 3.0f, 2, 1, 1, 1, 0);          // map 2 on level 2 under (1,0)
  OutputSettings shown = defaultsShown();
  NeuronLayerTestAccess::saveAsHTML(*map, shown);
  EXPECT_EQ(readOut("map_1_1_0_0.html"),
            "<HTML><BODY bgcolor=#FFFFFF text=#000000><TITLE>Layer 1 Map</TITLE>\n<H1>Layer 1 Map</H1><BR>\n"
            "TAU_1: 1<BR>\nTAU_2: 0.4<BR>\n\n<BR><table border=4 cellpadding=4>\n<tr>\n<td align=left>\n"
            "QE: 0.25<BR>p&lt;q<BR><HR><a href=files/a&lt;b&amp;&quot;c&gt;>a&lt;b&amp;&quot;c&gt;</a><br>"
            "<a href=files/d2>d2</a><br></td>\n"
            "<td align=left>\nQE: 3<BR><HR><a href=map_2_2_1_0.html>down</a><br></td>\n"
            "<td align=left>\n.</td>\n</tr>\n</table></BODY></HTML>\n");

  // Without labels, a unit with a child links each of its vectors to the child's page, which links back.
  shown.labelsNum = 0;
  NeuronLayerTestAccess::saveAsHTML(*map, shown);
  EXPECT_NE(readOut("map_1_1_0_0.html").find("QE: 3<BR><a href=map_2_2_1_0.html>e1</a><br></td>\n"), npos);
  NeuronLayerTestAccess::saveAsHTML(*parent->getMap(), shown);
  EXPECT_NE(readOut("map_2_2_1_0.html").find("<BR>\n<a href=\"map_1_1_0_0.html\">Up one level</a><BR><BR>\n"), npos);

  // The page's name, its links, the data files' extension and the bound are the given settings'.
  shown.prefix = "run";
  shown.datafileExtension = ".txt";
  shown.tau2 = 0.5f;
  NeuronLayerTestAccess::saveAsHTML(*map, shown);
  const std::string page = readOut("run_1_1_0_0.html");
  for (const char* part : {"TAU_2: 2<BR>", "<a href=run_2_2_1_0.html>e1</a>", "<a href=files/d2.txt>d2</a>"}) {
    EXPECT_NE(page.find(part), npos) << part;
  }
}

TEST(MapLibraryFiles, DescriptionWeightsAndUnitBlocks) {
  NeuronLayer* map = firstLayerMap("output_cartix", "0 a .\n1 b .\n2 c .\n", 3, 2);
  for (int k = 1; k < 6; k++) setUnit(map->getNeuron(k % 3, k / 3), {0, 0, 0}, 0.0f);
  setUnit(map->getNeuron(0, 1), {0.125f, 0, -2}, 0.0f);
  Neuron* u = map->getNeuron(0, 0);
  setUnit(u, {0.5f, 0.25f, 1}, 1.5f, {"d1", "d2"}, {0.5f, 0.25f, 2});  // labelled "c"
  u->addMap(u, 1.5f, 2, 2, 2, 0, 0);                                   // map 2
  NeuronLayerTestAccess::saveAsCartix(*map, defaultsShown());
  const std::string head = "#created by velmar 1.4 (Orvane)\n#Tobrin\n#\n$TYPE rect\n$XDIM 3\n$YDIM 2\n$VEC_DIM 3\n";

  const std::string d = readOut("map_1_1_0_0.mapdescr");
  EXPECT_EQ(d.rfind("#SOM Map Decription File\n" + head + "$STORAGE_DATE ", 0), 0u);
  EXPECT_NE(d.find("\n$URL_NODE_DESCR " + outDir + "/map_1_1_0_0.node\n"), npos);
  EXPECT_NE(d.find("\n$VELMAR_TAU_1 0.25\n$VELMAR_TAU_2 0.1000000015\n"), npos);
  // One line per unit after the header, the columns inner: the fourth is column 0, row 1.
  EXPECT_EQ(readOut("map_1_1_0_0.wgt"), "#SOM Weight Vector File\n" + head +
                                            "0.5 0.25 1 1_1_0/0_0/0\n0 0 0 1_1_0/0_1/0\n0 0 0 1_1_0/0_2/0\n" +
                                            "0.125 0 -2 1_1_0/0_0/1\n0 0 0 1_1_0/0_1/1\n0 0 0 1_1_0/0_2/1\n");
  std::string blocks = readOut("map_1_1_0_0.unit");
  EXPECT_EQ(blocks.substr(0, blocks.find("$POS_X 2\n")),
            "#SOM Node Description File\n#created by velmar1.4 (Orvane)\n#Tobrin\n#\n$TYPE rect\n$XDIM 3\n$YDIM 2\n"
            "$POS_X 0\n$POS_Y 0\n$NODE_ID 1_1_0/0_0/0\n$QUANTERROR_NODE 1.5\n$NR_VEC_MAPPED 2\n$MAPPED_VECS d1 d2 \n"
            "$NR_SOMS_MAPPED 1\n$URL_MAPPED_SOMS " +
                outDir +
                "/map_2_2_0_0.map\n$NR_LABELS 1\n$LABEL c\n"
                "$POS_X 1\n$POS_Y 0\n$NODE_ID 1_1_0/0_1/0\n$QUANTERROR_NODE 0\n$NR_VEC_MAPPED 0\n$MAPPED_VECS \n"
                "$NR_SOMS_MAPPED 0\n$NR_LABELS 0\n");
}

// Every output file takes this path: announced, and an existing longer file replaced by exactly the text built,
// on a stream with the default formatting (six significant digits).
TEST(OutputFile, ReplacesAnExistingFileWithExactlyTheText) {
  const std::string name = writeTempFile("output_replaced.txt", std::string(5000, 'x'));
  testing::internal::CaptureStdout();
  saveOutputFile(name, "Test file", [](std::ostream& out) { out << 0.1f << "\n"; });
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "saving " + name + "\n");
  std::ifstream file(name);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()), "0.1\n");
}

}  // namespace
