// The install rules: the trainer, its README and its manual page land below any prefix, the installed trainer
// runs, and the manual page is of its version and documents every key of the help text with the help's default.

#include <gtest/gtest.h>

#include <sstream>

#include "e2e_support.h"

namespace {

std::string output(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  std::string text;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) text.append(buf, n);
  pclose(pipe);
  return text;
}

TEST(Install, IntoATemporaryPrefix) {
  e2e::Folder f;
  const std::string build = std::filesystem::path(VELMAR_BINARY).parent_path();
  const std::string prefix = f.path("usr");
  const std::string install =
      "cmake --install '" + build + "' --prefix '" + prefix + "' > '" + f.path("log") + "' 2>&1";
  ASSERT_EQ(std::system(install.c_str()), 0) << f.read("log");
  for (const char* file :
       {"bin/velmar", "share/doc/velmar/README.md", "share/doc/velmar/docs/overview.png", "share/man/man1/velmar.1"}) {
    EXPECT_TRUE(std::filesystem::is_regular_file(prefix + "/" + file)) << file;
  }
  const std::string version = output("'" + prefix + "/bin/velmar' -v");
  ASSERT_EQ(version.rfind("velmar: Version ", 0), 0u) << version;

  const std::string page = f.read("usr/share/man/man1/velmar.1");
  EXPECT_NE(page.find("\"velmar " + version.substr(16, version.size() - 17) + "\""), std::string::npos);
  const std::string help = output("'" + prefix + "/bin/velmar' -h");
  std::istringstream lines(help.substr(help.find("meanings:\n") + 10));
  int keys = 0;
  for (std::string line; std::getline(lines, line); keys++) {
    std::istringstream fields(line);
    std::string key, shown;
    fields >> key >> shown;
    if (shown == "(none)" || shown == "(required)") {
      EXPECT_NE(page.find("\n.B " + key + "\n"), std::string::npos) << key;
    } else {
      EXPECT_NE(page.find(key + " \" " + (shown[0] == '(' ? shown : "(" + shown + ")")), std::string::npos)
          << key << " with its default " << shown;
    }
  }
  EXPECT_GE(keys, 35);
}

}  // namespace
