#include <gtest/gtest.h>

#include "test_support.h"
#include "vector.h"

namespace {

TEST(VectorTest, KeepsInsertionOrderAndDuplicates) {
  Vector<int> v;
  EXPECT_EQ(v.size(), 0);
  v.removeAllElements();
  EXPECT_EQ(v.size(), 0);

  int a = 1, b = 2;
  v.addElement(&a);
  v.addElement(&b);
  v.addElement(&a);
  ASSERT_EQ(v.size(), 3);
  EXPECT_EQ(v.elementAt(0), &a);
  EXPECT_EQ(v.elementAt(1), &b);
  EXPECT_EQ(v.elementAt(2), &a);
}

TEST(VectorTest, ClearingLeavesElementsAliveAndRestartsAtSlotZero) {
  int a = 7, b = 8;
  Vector<int> first;
  Vector<int> second;
  first.addElement(&a);
  second.addElement(&a);
  first.removeAllElements();
  EXPECT_EQ(first.size(), 0);
  EXPECT_EQ(*second.elementAt(0), 7);
  first.addElement(&b);
  EXPECT_EQ(first.elementAt(0), &b);
  {
    Vector<int> scoped;
    scoped.addElement(&b);
  }
  EXPECT_EQ(b, 8);  // destroying a vector never destroys its elements
}

}  // namespace
