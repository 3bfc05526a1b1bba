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

// Several components: each has its own sum in list order (2^24 first absorbs
// the ones that follow, 2^24 last does not) and its own maximum.
TEST(ArithmeticTest, EveryComponentHasItsOwnSumAndMaximum) {
  testsupport::resetGlobals(3);
  Data_Vector list;
  for (DataItem* d : {testsupport::item("a", {16777216, 1, -2}), testsupport::item("b", {1, 1, -6}),
                      testsupport::item("c", {1, 16777216, 0})}) {
    list.addElement(d);
  }
  float* mean = Globals::meanVector(&list, 3);
  EXPECT_EQ(mean[0], static_cast<float>(16777216.0 / 3.0));
  EXPECT_EQ(mean[1], static_cast<float>(16777218.0 / 3.0));
  EXPECT_EQ(mean[2], static_cast<float>(-8.0 / 3.0));
  Globals::normIntervalVector(&list);  // maxima 2^24 and 2^24; none above 0 in the last component
  EXPECT_EQ(std::vector<float>(list.elementAt(0)->dense(), list.elementAt(0)->dense() + 3),
            (std::vector<float>{1, 1.0f / 16777216, -2}));
  EXPECT_EQ(std::vector<float>(list.elementAt(2)->dense(), list.elementAt(2)->dense() + 3),
            (std::vector<float>{1.0f / 16777216, 1, 0}));
}

}  // namespace
