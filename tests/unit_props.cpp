#include "settings/checks.h"
#include "settings/propertyfile.h"
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
// Every slip is applied as it stands, and warned of.
TEST(PropertiesTest, PairsAreAppliedAndEchoedExactlyAsRead) {
  testsupport::resetGlobals(0);
  srand(7);
  int first = rand();
  int second = rand();
  std::vector<std::string> warnings = testsupport::warningsOf([&] {
    EXPECT_EQ(readProps("p_pairs.properties",
                        "randomSeed=7\nTAU_1=0.05\nHTML_PREFIX=a=b\nTAU_1 = 0.9\n# note\n"
                        "TAU_2=0.02\nINITIAL_LEARNRATE=\nsaveAsHTML=True\nLABELS_ONLY=true\r\n"
                        "printMQE=true\nnormInputVectors=length\nMAX_CYCLES=7"),
              "randomSeed = 7\nTAU_1 = 0.05\nHTML_PREFIX = a=b\nTAU_1  =  0.9\n# note\nTAU_2 = 0.02\n"
              "INITIAL_LEARNRATE = \nsaveAsHTML = True\nLABELS_ONLY = true\r\nprintMQE = true\n"
              "normInputVectors = length\nMAX_CYCLES = 7\n");
  });
  EXPECT_EQ(warnings,
            (std::vector<std::string>{
                "propertyfile line 4: unknown key \"TAU_1 \" is ignored; did you mean TAU_1?",
                "propertyfile line 5 has no \"=\" and ran into the key of line 6: \"# note\\nTAU_2\" is no key, so "
                "TAU_2 on line 6 is not applied",
                "propertyfile line 7: \"INITIAL_LEARNRATE=\" is read as 0 (not a number)",
                "propertyfile line 8: \"saveAsHTML=True\" is read as false: a switch is on only for exactly \"true\"",
                "propertyfile line 9: \"LABELS_ONLY=true\\r\" is read as false: a switch is on only for exactly "
                "\"true\"",
                "propertyfile line 11: \"normInputVectors=length\" is none of NONE, LENGTH, INTERVAL and leaves "
                "the setting NONE; did you mean LENGTH?",
                "propertyfile line 9: the value of \"LABELS_ONLY\" ends in a carriage return, which stays part of "
                "it (the file has CR LF line ends)"}));
  EXPECT_EQ(Globals::TAU_1, 0.05f);
  EXPECT_STREQ(Globals::HTML_PREFIX, "a=b");
  EXPECT_EQ(Globals::TAU_2, 0.1f);
  EXPECT_EQ(Globals::INITIAL_LEARNRATE, 0.0f);
  EXPECT_FALSE(Globals::SAVE_AS_HTML);  // a switch needs exactly "true"
  EXPECT_FALSE(Globals::LABELS_ONLY);   // the carriage return is part of the value
  EXPECT_TRUE(Globals::printMQE);
  EXPECT_EQ(Globals::normInputVectors, 0);    // keywords are case-sensitive
  EXPECT_EQ(Globals::MAX_CYCLES, 7);          // last line without newline
  EXPECT_EQ(Globals::getIntRandom(), first);  // seeded when the key was read
  // Text after the last pair that holds no "=" is dropped without echo; nothing but the key reseeds.
  warnings = testsupport::warningsOf(
      [] { EXPECT_EQ(readProps("p_tail.properties", "MAX_CYCLES=9\nLABELS_NUM"), "MAX_CYCLES = 9\n"); });
  EXPECT_EQ(warnings, std::vector<std::string>{"propertyfile line 2 has no \"=\": \"LABELS_NUM\" is ignored"});
  EXPECT_EQ(Globals::getIntRandom(), second);
  setProp("randomSeed", "7");
  EXPECT_EQ(Globals::getIntRandom(), first);
}

// Numbers are read as the C library reads them, blanks and tabs around them
// aside: a value with other text, or none, is warned of with what it was read
// as. Switches that read as false are warned of only where they look like
// "on"; keys and keywords are matched ignoring case and blanks for a hint.
TEST(PropertiesTest, SlipsAreWarnedOfWithWhatWasRead) {
  testsupport::resetGlobals(0);
  const std::vector<std::string> warnings = testsupport::warningsOf([] {
    readProps("p_slips.properties",
              "TAU_1=10%\nEXPAND_CYCLES=1e3\nrandomSeed=abc\nMAX_CYCLES= -4 \t\nTAU_2=0x1p-3\nLABELS_THRESHOLD=inf\n"
              "printMQE=on\nsaveAsCartix=1\nORIENTATION=False\nLABELS_ONLY=0\nsaveAsHTML=\n"
              "Inputfile=a\r\n=x\r\none\ntwo\nINITIAL_X_SIZE=3\r\nnormInputVectors= interval\n");
  });
  EXPECT_EQ(
      warnings,
      (std::vector<std::string>{
          "propertyfile line 1: \"TAU_1=10%\" is read as 10 (the text after the number is ignored)",
          "propertyfile line 2: \"EXPAND_CYCLES=1e3\" is read as 1 (the text after the number is ignored)",
          "propertyfile line 3: \"randomSeed=abc\" is read as 0 (not a number)",
          "propertyfile line 7: \"printMQE=on\" is read as false: a switch is on only for exactly \"true\"",
          "propertyfile line 8: \"saveAsCartix=1\" is read as false: a switch is on only for exactly "
          "\"true\"",
          "propertyfile line 12: unknown key \"Inputfile\" is ignored; did you mean inputFile?",
          "propertyfile line 13: \"=x\\r\" has no key and is ignored",
          "propertyfile lines 14 to 15 have no \"=\" and ran into the key of line 16: \"one\\ntwo\\nINITIAL_X_SIZE\" "
          "is no key, so INITIAL_X_SIZE on line 16 is not applied",
          "propertyfile line 17: \"normInputVectors= interval\" is none of NONE, LENGTH, INTERVAL and leaves "
          "the setting NONE; did you mean INTERVAL?",
          "propertyfile line 12: the value of \"Inputfile\" ends in a carriage return, which stays part of "
          "it (the file has CR LF line ends); 3 values like it"}));
  EXPECT_EQ(Globals::MAX_CYCLES, -4);
  EXPECT_EQ(Globals::TAU_2, 0.125f);
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
