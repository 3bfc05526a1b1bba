// A failure handed to a replaced handler, and the release of a run, which
// let one process run many inputs (the fuzz targets).

#include "settings/propertyfile.h"
#include "test_support.h"

namespace {

using testsupport::failureOf;

TEST(FailHandlerTest, TheMessageLineComesFirstThenTheHandlerWithTheSameMessage) {
  std::string printed;
  EXPECT_EQ(failureOf([] { fail("cannot read $MQE0"); }, printed), "cannot read $MQE0");
  EXPECT_EQ(printed, "cannot read $MQE0\n");
}

TEST(FailHandlerTest, ReadersUnwindFromEveryFailureWithTheirMessage) {
  testsupport::resetGlobals(0);
  std::string printed;
  DataLoader loader;
  const std::string shortFile = testsupport::writeTempFile("fail_short.vec", "t\nn 3\nt\nd 2\n1 2 a\n3 ");
  EXPECT_EQ(failureOf([&] { loader.readDataItems(shortFile.c_str()); }, printed),
            "inputfile ends after 1 of 3 vectors (check inputfile)");
  EXPECT_EQ(printed, "added a\ninputfile ends after 1 of 3 vectors (check inputfile)\n");

  // A malformed MQE0 file: the level-0 map stays whole and is released by its owner.
  testsupport::resetGlobals(2);
  Globals::dataItems->addElement(testsupport::item("a", {1, 0}));
  Globals::dataItems->addElement(testsupport::item("b", {3, 0}));
  const std::string mqe0 = testsupport::writeTempFile("fail.mqe0", "$MEAN_VEC 1 2 3 $MQE0 4");
  Globals::MQE0_FILE = mqe0.c_str();
  EXPECT_EQ(failureOf([] { Globals::initHFM(); }, printed), "cannot read $MQE0");
  EXPECT_EQ(printed, "loading MQE0 file: " + mqe0 + "\ncannot read $MQE0\n");
  ASSERT_NE(Globals::hfm, nullptr);
  Globals::releaseRun();
  EXPECT_EQ(Globals::hfm, nullptr);
  Globals::MQE0_FILE = nullptr;
}

TEST(ReleaseRunTest, LeavesTheEmptyStartUpObjectsAndTheSettings) {
  testsupport::resetGlobals(0);
  Globals::setRandom(1);
  testing::internal::CaptureStdout();
  getProps(testsupport::writeTempFile("release.prop", "HTML_PREFIX=pre\nTAU_1=0.5\n").c_str());
  Globals::dataItems = Globals::currentDataLoader->readDataItems(
      testsupport::writeTempFile("release.vec", "t\nn 2\nt\nd 2\n1 0 a\n3 0 b\n").c_str());
  Globals::currentDataLoader->readVectorDescription(
      testsupport::writeTempFile("release.tv", "h\nh\nh\nh\n0 x u\n1 y u\n").c_str());
  Globals::initHFM();
  testing::internal::GetCapturedStdout();
  ASSERT_NE(Globals::currentDataLoader->getVectorDescription(), nullptr);
  ASSERT_EQ(Globals::layers->size(), 2);

  Globals::releaseRun();
  EXPECT_EQ(Globals::hfm, nullptr);
  EXPECT_EQ(Globals::layers->size(), 0);
  EXPECT_EQ(Globals::dataItems->size(), 0);
  // A fresh loader (the allocator may well give it the old one's address).
  EXPECT_NE(Globals::currentDataLoader, nullptr);
  EXPECT_EQ(Globals::currentDataLoader->getVectorDescription(), nullptr);
  // Settings are the caller's to restore; a text setting read from the file
  // pointed into the released texts and must be set again before use.
  EXPECT_EQ(Globals::TAU_1, 0.5f);
  Globals::HTML_PREFIX = "map";
}

}  // namespace
