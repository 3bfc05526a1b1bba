#ifndef VELMAR_E2E_SUPPORT_H
#define VELMAR_E2E_SUPPORT_H

// Helpers of the end-to-end tests: a fresh folder per test, a run of the real binary inside it, generated data.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace e2e {

struct Run {
  std::string out;  // standard output, byte for byte
  int status;       // exit status, or -signal when the process was killed
};

class Folder {
 public:
  ~Folder() { std::filesystem::remove_all(root_); }

  std::string path(const std::string& name) const { return root_ + "/" + name; }
  void mkdir(const std::string& name) const { std::filesystem::create_directory(path(name)); }
  void write(const std::string& name, const std::string& text) const { std::ofstream(path(name)) << text; }
  std::string read(const std::string& name) const {
    std::ifstream in(path(name));
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  std::set<std::string> list(const std::string& sub, const std::string& part = "") const {  // names containing it
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path(sub))) {
      if (entry.path().filename().string().find(part) != std::string::npos) names.insert(entry.path().filename());
    }
    return names;
  }

  // Runs the binary in this folder with blank-separated arguments; standard input is empty (or the file
  // `input` of the folder), standard error goes to the file "stderr". A run that takes longer than `seconds`
  // is killed (status -9), so a hang fails the test.
  // With `terminal` set, standard error goes to a pseudo-terminal instead, and *terminal gets what it saw.
  Run run(const std::string& args, int seconds = 60, const std::string& input = "/dev/null",
          std::string* terminal = nullptr) const {
    if (terminal != nullptr) return runOnTerminal(args, seconds, input, *terminal);
    return runWithError(args, seconds, input, "stderr");
  }

 private:
  Run runWithError(const std::string& args, int seconds, const std::string& input, const std::string& error) const {
    const std::string command = "cd '" + root_ + "' && exec timeout -s KILL " + std::to_string(seconds) + " '" +
                                VELMAR_BINARY "' " + args + " <'" + input + "' 2>'" + error + "'";
    FILE* pipe = popen(command.c_str(), "r");
    Run r{"", 0};
    char buf[4096];
    for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) r.out.append(buf, n);
    const int st = pclose(pipe);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -WTERMSIG(st);
    return r;
  }

  Run runOnTerminal(const std::string& args, int seconds, const std::string& input, std::string& seen) const {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
      if (master >= 0) close(master);
      return Run{"no pseudo-terminal", -1};
    }
    const std::string name = ptsname(master);
    // Held open until the run has ended, so that the reader meets the end only after everything was written.
    const int slave = open(name.c_str(), O_RDWR | O_NOCTTY);
    seen.clear();
    std::thread reader([&] {
      char buf[4096];
      for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) seen.append(buf, static_cast<size_t>(n));
    });
    const Run r = runWithError(args, seconds, input, name);
    close(slave);
    reader.join();
    close(master);
    return r;
  }

  char pattern_[23] = "/tmp/velmar-e2e-XXXXXX";
  std::string root_ = mkdtemp(pattern_);  // a fresh, empty folder
};

// An input file of n 3-component vectors v0, v1, ... in three clusters; kDescription names the components.
inline std::string clusterData(int n) {
  std::string text = "$TYPE vectors\n$XDIM " + std::to_string(n) + "\n$YDIM 1\n$VEC_DIM 3\n";
  for (int i = 0; i < n; i++) {
    for (int k = 0; k < 3; k++) text += std::to_string(10.0 * (k == i % 3) + 3.0 * std::sin(7.0 * i + k)) + " ";
    text += "v" + std::to_string(i) + "\n";
  }
  return text;
}
inline const char* kDescription = "$TYPE template\n$XDIM 3\n$YDIM 3\n$VEC_DIM 3\n0 red x\n1 green x\n2 blue x\n";

inline int count(const std::string& text, const std::string& needle) {
  int n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size())) n++;
  return n;
}

// The program's squared distance: a float sum rounded after every component.
inline float squaredDistance(const std::vector<float>& a, const std::vector<float>& b) {
  float res = 0.0f;
  for (size_t i = 0; i < a.size(); i++) {
    const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
    res = static_cast<float>(static_cast<double>(res) + d * d);
  }
  return res;
}

}  // namespace e2e

#endif
