// Maps: construction, assignment, growth, corner vectors, expansion of units and the level-0 error.

#include <unistd.h>

#include <cmath>

#include "test_support.h"
#include "training/schedule.h"
#include "training/trainingdraws.h"

using testsupport::item;
using A = NeuronLayerTestAccess;
using V = std::vector<float>;

namespace {

// A map of x by y units whose first components are `w`, row by row.
NeuronLayer* newMap(int x, int y, std::initializer_list<float> w, Data_Vector* list = nullptr, int level = 1) {
  NeuronLayer* m = new NeuronLayer(nullptr, list, 0.0f, level, x, y, 0, 0, nullptr, nullptr, nullptr, nullptr);
  auto v = w.begin();
  for (int k = 0; k < x * y && v != w.end(); k++) m->getNeuron(k % x, k / x)->weights[0] = *v++;
  return m;
}

TEST(LayerConstruction, DrawsUnitWeightsRowByRow) {
  testsupport::resetGlobals(2);
  NeuronLayer* m = newMap(3, 2, {});
  Globals::setRandom(1);  // the fresh state's sequence again, drawn unit by unit with the columns inner
  for (int k = 0; k < 6; k++) EXPECT_EQ(m->getNeuron(k % 3, k / 3)->weights[1], Neuron(2, 0, 1, 0, 0).weights[1]) << k;
}

TEST(LayerTraining, AssignmentTiesGoToTheFirstUnitAndFarVectorsToTheirNearest) {
  testsupport::resetGlobals(1);
  for (DataItem* d : {item("near", {1}), item("far", {1e5f}), item("beyond", {3e38f})}) {
    Globals::dataItems->addElement(d);
  }
  NeuronLayer* m = newMap(2, 2, {5, 1, 1, 1}, Globals::dataItems);
  A::testDataItems(*m);  // (1,0) wins the tie for "near"; "far", 1e10 away, still gets its nearest unit (0,0)
  EXPECT_EQ(m->getNeuron(1, 0)->representsMultiDataItems(), 1);
  // Every distance of "beyond" overflows the float range: it stays with the previous vector's unit.
  EXPECT_EQ(m->getNeuron(0, 0)->representsMultiDataItems(), 2);
}

TEST(LayerGrowth, MostDissimilarNeighbourTiesGoToTheLaterOne) {
  testsupport::resetGlobals(1);
  NeuronLayer* m = newMap(3, 3, {0, 1, 0, 1, 0, -1, 0, -1, 0});  // the centre's four neighbours all at distance 1
  const int centre[2] = {1, 1};
  // Looked at above, below, left, right: moving each pick nearer hands the tie to the one before.
  for (const char* expected : {"2,1", "0,1", "1,2", "1,0"}) {
    const GridPos r = A::getMaxDissNeighbour(*m, centre);
    EXPECT_EQ(std::to_string(r[0]) + "," + std::to_string(r[1]), expected);
    m->getNeuron(r[0], r[1])->weights[0] = 0.5f;
  }
}

TEST(LayerTraining, SawtoothRateAndRadiusStep) {
  const float ini = 0.3f, mn = 0.02f;
  const double slope = sawtoothSlope(ini, mn, 100);
  EXPECT_FLOAT_EQ(sawtoothRate(slope, ini, 100), mn);
  EXPECT_EQ(sawtoothRate(slope, ini, 0), ini);
  EXPECT_EQ(radiusStep(100, 2), 33);
  EXPECT_EQ(radiusStep(2, 2), 1);                 // a step of 0 cycles would never shrink the radius
  EXPECT_EQ(radiusStep(1000000, 2147483647), 1);  // the largest radius count does not overflow
  // The counters: a growth check every P cycles, a tooth of P + 1, a radius step every T, a dot every N.
  TrainingSchedule schedule(4, 100, 33);
  int dots = 0, checks = 0, steps = 0;
  TrainingSchedule::Cycle c{};
  for (int cycle = 1; cycle <= 202; cycle++) {
    c = schedule.next();
    dots += c.dot;
    checks += c.growthCheck;
    steps += c.shrinkRadius;
    if (cycle == 100) {
      EXPECT_TRUE(c.growthCheck && c.stepInTooth == 100 && schedule.cyclesBeforeCheck() == 0);
    }
    if (cycle == 101) {
      EXPECT_TRUE(!c.growthCheck && c.stepInTooth == 0 && schedule.cyclesBeforeCheck() == 99);
    }
  }
  EXPECT_EQ(c.stepInTooth, 0);  // 202 = 2 x 101
  EXPECT_EQ((std::vector<int>{dots, checks, steps}), (std::vector<int>{50, 2, 6}));
}

// Drawn ahead or not, the cycles get the vectors of one draw each, in order,
// and no number is drawn for a cycle that is not sure to come: after each
// cycle at most `certain` draws are ahead of it, through checks every 7 and
// 50 cycles (fewer cycles ahead than the draws' depth, and more).
TEST(LayerTraining, VectorsDrawnAheadComeInTheOrderOfOneDrawPerCycle) {
  Data_Vector items;
  for (int k = 0; k < 97; k++) items.addElement(new DataItem(Globals::newText("v"), Globals::newVector(3), 3));
  for (long long period : {7LL, 50LL}) {
    int drawn = 0;
    auto draw = [&drawn] { return (drawn++ * 7919 + 13) % 10007; };
    TrainingDraws<Data_Vector, decltype(draw)> draws(&items, items.size(), draw);
    TrainingSchedule schedule(items.size(), period, 5);
    for (int cycle = 0; cycle < 400; cycle++) {
      schedule.next();
      const long long certain = schedule.cyclesBeforeCheck();
      ASSERT_EQ(draws.next(certain), (cycle * 7919 + 13) % 10007 % items.size()) << "cycle " << cycle;
      ASSERT_LE(drawn, cycle + 1 + certain) << "cycle " << cycle;
    }
  }
  for (int k = 0; k < items.size(); k++) delete items.elementAt(k);
}

// Four vectors and 25 passes give a growth check every 100 cycles. A cap of 26
// passes lets the first check grow the map and ends training at the second,
// where the rate still drifts with the cycle count: 200 mod 101 = 99 of 100
// steps down, not the 0 steps a reset count would give.
TEST(LayerTraining, GrowsOnceThenStopsAtTheCapWithTheDriftedRate) {
  testsupport::resetGlobals(1);
  Globals::MAX_CYCLES = 26;
  for (float v : {0.0f, 1.0f, 2.0f, 3.0f}) Globals::dataItems->addElement(item("d", {v}));
  Globals::hfm = new NeuronLayer(nullptr, Globals::dataItems, 0.0f, 0, 1, 1, 0, 0, nullptr, nullptr, nullptr, nullptr);
  Globals::hfm->getNeuron(0, 0)->addMap(Globals::dataItems, 1e-9f, 1, 2, 2, 0, 0);  // a bound it cannot meet
  NeuronLayer* m = Globals::getFirstLayerMap();
  Globals::addLayer(0, Globals::hfm);
  Globals::addLayer(1, m);
  testing::internal::CaptureStdout();
  m->train();
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(m->getCurrentCycle(), 200);
  EXPECT_EQ(m->getX() * m->getY(), 6);  // one row or column inserted
  EXPECT_FLOAT_EQ(A::learnrate(*m), 0.3f - 0.99f * (0.3f - 0.02f));
  EXPECT_EQ(A::neighbourhood(*m), 0);
  // One dot per pass over the four vectors: the second check follows the insertion line after 25 dots.
  EXPECT_EQ(out.rfind(std::string(25, '.') + "MQE ; "), out.find('\n', out.find("inserting ")) + 1) << out;
}

TEST(LayerGrowth, InsertedColumnAndRowSitAtPosWithMeanWeights) {
  testsupport::resetGlobals(1);
  NeuronLayer* m = newMap(3, 2, {0, 10, 20, 1, 11, 21});
  m->insertColumn(2);
  A::insertRow(*m, 1);
  ASSERT_EQ(m->getX() * 10 + m->getY(), 43);
  auto w = [&](int i, int j) { return m->getNeuron(i, j)->weights[0]; };
  EXPECT_EQ((V{w(2, 0), w(2, 2), w(0, 1), w(2, 1)}), (V{15, 16, 0.5f, 15.5f}));  // means of the units either side
  EXPECT_EQ((V{w(1, 0), w(3, 0), w(0, 2), w(3, 2)}), (V{10, 20, 1, 21}));        // the old units moved on
}

TEST(LayerExpansion, CornerVectorsOfChildMaps) {
  testsupport::resetGlobals(2);
  NeuronLayer* m = newMap(2, 2, {0, 1, 0, 1});
  for (int k = 0; k < 4; k++) m->getNeuron(k % 2, k / 2)->weights[1] = k / 2;  // the corners of the unit square
  float UL[2], UR[2], LL[2], LR[2];
  testing::internal::CaptureStdout();
  A::getNewWeights(*m, 0, 0, UL, UR, LL, LR);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "UL: 0.000000 / 0.000000\nUR: 0.500000 / 0.000000\nLL: 0.000000 / 0.500000\nLR: 0.666667 / 0.666667\n");
  testing::internal::CaptureStdout();
  A::getNewWeights(*m, 1, 1, UL, UR, LL, LR);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // only unit (0,0) prints its corners
}

TEST(LayerExpansion, Mqe0FromTheVectorsSetsTheThresholdAndLevelTwoMapsAreGated) {
  testsupport::resetGlobals(1);
  DataItem* vectors[2] = {item("a", {1}), item("b", {3})};
  for (DataItem* d : vectors) Globals::dataItems->addElement(d);
  Globals::initHFM();  // maps of 2 x 2
  NeuronLayer* m = Globals::getFirstLayerMap();
  // The mean, MQE0 (the error around it summed, not averaged) and the first-layer map's bound.
  EXPECT_EQ((V{Globals::hfm->getNeuron(0, 0)->weights[0], Globals::hfm->getMQE(), m->superMQE}), (V{2, 2, 2}));
  m->getNeuron(0, 0)->MQE = 0.1f * 2.0f;  // TAU_2 x MQE0 exactly: not expanded
  m->getNeuron(1, 0)->MQE = std::nextafter(0.1f * 2.0f, 1.0f);
  A::expandUnits(*m);
  NeuronLayer* child = m->getNeuron(1, 0)->getMap();
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(Globals::getLayerAt(2)->size(), 1);
  // A level-2 map whose unit (0,0) holds all the map's vectors expands nothing; once it holds fewer, it does.
  for (int k = 0; k < 4; k++) child->getNeuron(k % 2, k / 2)->MQE = 100.0f;
  m->getNeuron(1, 0)->addRepresentingDataItem(vectors[0]);
  child->getNeuron(0, 0)->addRepresentingDataItem(vectors[0]);
  A::expandUnits(*child);
  EXPECT_EQ(Globals::getLayerAt(3), nullptr);
  m->getNeuron(1, 0)->addRepresentingDataItem(vectors[1]);
  A::expandUnits(*child);
  ASSERT_NE(Globals::getLayerAt(3), nullptr);
  EXPECT_EQ(Globals::getLayerAt(3)->size(), 4);
}

// Loads `text` as the MQE0 file of a level-0 map over one 3-component vector (no file if `text` is empty). `loud`
// sends standard output, where the messages go, to the error stream that a death test matches.
NeuronLayer* loadMqe0(const std::string& text, bool loud = false) {
  testsupport::resetGlobals(3);
  Globals::dataItems->addElement(item("v", {9, 9, 9}));
  Globals::MQE0_FILE = text.empty() ? "/nonexistent/mqe0" : strdup(testsupport::writeTempFile("mqe0", text).c_str());
  NeuronLayer* m = newMap(1, 1, {}, Globals::dataItems, 0);
  fflush(stdout);
  if (loud) dup2(2, 1);
  m->calcLayer0MQE();
  return m;
}

TEST(Level0DeathTest, Mqe0FileIsReadLenientlyAndRefusedWhenMalformedOrNotPositive) {
  NeuronLayer* m = loadMqe0("$MEAN_VEC\n0.25\n\t0.5 $MQE0\n12.75\n");  // a missing component stays 0
  const float* w = m->getNeuron(0, 0)->weights;
  EXPECT_EQ((V{w[0], w[1], w[2], m->getLayer1Map()->superMQE}), (V{0.25f, 0.5f, 0.0f, 12.75f}));
  EXPECT_EXIT(loadMqe0("$mean_vec 1 2 3 $MQE0 5", true), ::testing::ExitedWithCode(1), "cannot read \\$MEAN_VEC");
  EXPECT_EXIT(loadMqe0("$MEAN_VEC 1 2 3 4 $MQE0 5", true), ::testing::ExitedWithCode(1), "cannot read \\$MQE0");
  EXPECT_EXIT(loadMqe0("$MEAN_VEC 1 2 3 $MQE0 -1", true), ::testing::ExitedWithCode(1), "MQE0 must not be negative");
  EXPECT_EQ(loadMqe0("$MEAN_VEC 1 2 3 $MQE0 0")->getLayer1Map()->superMQE, 0.0f);  // all vectors equal: trained
  EXPECT_EXIT(loadMqe0("", true), ::testing::ExitedWithCode(1), "cannot open MQE0 file /nonexistent/mqe0");
}

}  // namespace
