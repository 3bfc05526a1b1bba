#include "test_support.h"

namespace {

// 4096^2 = 2^24: a float sum no longer absorbs a following 1, so these results show
// that sums are kept in float and taken in order, and that other results are rounded only when stored.
TEST(ArithmeticTest, SumsAccumulateInFloatInOrder) {
  testsupport::resetGlobals(3);
  float* zero = testsupport::vec({0, 0, 0});
  EXPECT_EQ(Globals::calcQE(testsupport::vec({4096, 1, 1}), zero), 16777216.0f);  // squared, no root
  EXPECT_EQ(Globals::calcQE(testsupport::vec({1, 1, -4096}), zero), 16777218.0f);
  Data_Vector list;
  for (DataItem* d : {testsupport::item("a", {16777216}), testsupport::item("b", {1}), testsupport::item("c", {1})}) {
    list.addElement(d);
  }
  EXPECT_EQ(Globals::meanVector(&list, 1)[0], static_cast<float>(16777216.0 / 3.0));
  float* one = testsupport::vec({1, 0, 0});
  EXPECT_EQ(Globals::vectorAdd3Mean(testsupport::vec({16777216, 0, 0}), one, one)[0], 5592406.0f);  // (2^24 + 2) / 3
}

}  // namespace
