#include "api/commandline.h"
#include "settings/checks.h"
#include "test_support.h"


namespace {

// Reads `text` as a property file and returns the echo it printed.
std::string readProps(const std::string& name, const std::string& text) {
  testing::internal::CaptureStdout();
  getProps(testsupport::writeTempFile(name, text).c_str());
  return testing::internal::GetCapturedStdout();
}

// Each "=" ends a key, line ends included, so blanks around the "=" or a comment
// line make keys that match nothing; the value runs to the end of its line.
TEST(PropertiesTest, PairsAreAppliedAndEchoedExactlyAsRead) {
  testsupport::resetGlobals(0);
  srand(7);
  int first = rand();
  int second = rand();
  EXPECT_EQ(readProps("p_pairs.properties", "randomSeed=7\nTAU_1=0.05\nHTML_PREFIX=a=b\nTAU_1 = 0.9\n# note\n"
                                            "TAU_2=0.02\nINITIAL_LEARNRATE=\nsaveAsHTML=True\nLABELS_ONLY=true\r\n"
                                            "printMQE=true\nnormInputVectors=length\nMAX_CYCLES=7"),
            "randomSeed = 7\nTAU_1 = 0.05\nHTML_PREFIX = a=b\nTAU_1  =  0.9\n# note\nTAU_2 = 0.02\n"
            "INITIAL_LEARNRATE = \nsaveAsHTML = True\nLABELS_ONLY = true\r\nprintMQE = true\n"
            "normInputVectors = length\nMAX_CYCLES = 7\n");
  EXPECT_EQ(Globals::TAU_1, 0.05f);
  EXPECT_STREQ(Globals::HTML_PREFIX, "a=b");
  EXPECT_EQ(Globals::TAU_2, 0.1f);
  EXPECT_EQ(Globals::INITIAL_LEARNRATE, 0.0f);
  EXPECT_FALSE(Globals::SAVE_AS_HTML);  // a switch needs exactly "true"
  EXPECT_FALSE(Globals::LABELS_ONLY);   // the carriage return is part of the value
  EXPECT_TRUE(Globals::printMQE);
  EXPECT_EQ(Globals::normInputVectors, 0);  // keywords are case-sensitive
  EXPECT_EQ(Globals::MAX_CYCLES, 7);        // last line without newline
  EXPECT_EQ(Globals::getIntRandom(), first);  // seeded when the key was read
  // Text after the last pair that holds no "=" is dropped without echo; nothing but the key reseeds.
  EXPECT_EQ(readProps("p_tail.properties", "MAX_CYCLES=9\nLABELS_NUM"), "MAX_CYCLES = 9\n");
  EXPECT_EQ(Globals::getIntRandom(), second);
  setProp("randomSeed", "7");
  EXPECT_EQ(Globals::getIntRandom(), first);
}

// A one-unit first-layer map cannot grow and its error never gets below the
// computed MQE0: without a cycle limit it could only stop for a TAU_1 above 1,
// or for a loaded MQE0 that may be larger than the data's.
TEST(SettingsDeathTest, OneUnitStartIsRefusedOnlyWhenItCouldNeverStop) {
  testsupport::resetGlobals(2);
  Globals::savePath = "out";
  Globals::INITIAL_X_SIZE = 1;
  Globals::INITIAL_Y_SIZE = 1;
  Globals::TAU_1 = 1.0f;
  EXPECT_EXIT(checkSettings(), ::testing::ExitedWithCode(1), "");
  Globals::MQE0_FILE = "mqe0.txt";
  checkSettings();
  Globals::MQE0_FILE = nullptr;
  Globals::TAU_1 = 1.5f;
  checkSettings();
  Globals::TAU_1 = 0.25f;
  Globals::MAX_CYCLES = 3;
  checkSettings();
}

}  // namespace
