#include "test_support.h"

namespace {

using testsupport::item;
using testsupport::vec;

// A random unit draws rand() / 2^31 once per component, in order, then normalises.
TEST(NeuronTest, RandomUnitTakesOneDrawPerComponent) {
  testsupport::resetGlobals(2);
  float* draws = vec({static_cast<float>(rand() / 2147483648.0), static_cast<float>(rand() / 2147483648.0)});
  int next = rand();
  Globals::setRandom(1);
  Neuron unit(2, 0, 1, 0, 0);
  Globals::normVec(draws);
  EXPECT_TRUE(unit.weights[0] == draws[0] && unit.weights[1] == draws[1]);
  EXPECT_EQ(Globals::getIntRandom(), next);
}

TEST(NeuronTest, ErrorsAndWeightsAreRoundedToFloatWhereStored) {
  testsupport::resetGlobals(1);
  // Squared distance 2^24 absorbs a following 1; one vector may be listed twice.
  Neuron unit(vec({0}), 0, 1, 0, 0);
  DataItem* big = item("big", {4096});
  DataItem* one = item("one", {-1});
  for (DataItem* d : {one, one, big}) unit.addRepresentingDataItem(d);
  unit.calcMQE();
  unit.calcMQE();  // recomputed from 0, not added up
  EXPECT_EQ(unit.MQE, 16777218.0f);
  unit.clearRepresentingDataItems();
  for (DataItem* d : {big, one, one}) unit.addRepresentingDataItem(d);
  unit.calcMQE();
  EXPECT_EQ(unit.MQE, 16777216.0f);
  unit.adaptWeights(one, 2.8284f, 1.0f, 2);  // beyond radius + 0.5 it moves away from the input
  EXPECT_NEAR(unit.weights[0], 0.1314, 5e-5);
  unit.weights[0] = 0;
  unit.adaptWeights(item("z", {1000}), 1.0f, 0.3f, 2);  // influence 0.6 becomes 0.60000002 first
  EXPECT_EQ(unit.weights[0], 180.000015f);
}

// The labels of a unit over one represented vector, joined with blanks.
std::string labels(std::initializer_list<float> weights, std::initializer_list<float> data, int num) {
  Neuron unit(vec(weights), 1, 1, 0, 0);
  unit.addRepresentingDataItem(item("v", data));
  String_Vector* res = unit.getLabels(num);
  std::string joined;
  for (int i = 0; i < res->size(); i++) joined += std::string(res->elementAt(i)) + " ";
  delete res;
  return joined;
}

TEST(NeuronTest, LabelsByIncreasingErrorAmongHeavyWeights) {
  testsupport::resetGlobals(4);
  DataLoader* names = Globals::currentDataLoader = new DataLoader();
  testing::internal::CaptureStdout();
  names->readDataItems(testsupport::writeTempFile("l_in.txt", "t\nn 1\nt\nd 4\n0 0 0 0 v\n").c_str());
  testing::internal::GetCapturedStdout();
  // The name is the second field of a line; the last line may end without a newline.
  std::string description = testsupport::writeTempFile("l_desc.txt", "h\nh\nh\nh\n0 c0 x\n1 c1 x\n2 c2 x\n3 c3 x");
  names->readVectorDescription(description.c_str());
  // Component errors 0.2, 0.1, 0.1, 0.3: ties in index order, cut off at num.
  const char* expected[] = {"", "c1 ", "c1 c2 ", "c1 c2 c0 ", "c1 c2 c0 c3 ", "c1 c2 c0 c3 "};
  for (int num = 0; num <= 5; num++) EXPECT_EQ(labels({1, 1, 1, 1}, {0.8f, 0.9f, 0.9f, 0.7f}, num), expected[num]);
  // 0.7 of 1.0 equals the threshold; 0.5 ties with c0's error 0.25 but is too light.
  EXPECT_EQ(labels({1, 0.7f, 0.5f, 1}, {0.75f, 0.45f, 0.25f, 0.75f}, 5), "c0 c3 ");
  // The float product 0.7f * 0.05f rounds above the exact double product, so it passes.
  EXPECT_EQ(labels({0.05f, 0.7f * 0.05f, 0, 0}, {0, 0, 1, 1}, 5), "c1 c0 ");
  EXPECT_EQ(labels({1, 0.9f, 0, 0}, {1, 0.5f, 1, 1}, 5), "c1 ");  // zero error never labels
}

}  // namespace
