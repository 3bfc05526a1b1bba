#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

TEST(CommandLine, VersionLine) {
  FILE* p = popen(VELMAR_BINARY " -v", "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[256];
  while (fgets(buf, sizeof buf, p)) out += buf;
  int status = pclose(p);
  EXPECT_EQ(out, "velmar: Version 1.4\n");
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
