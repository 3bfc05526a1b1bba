#ifndef VELMAR_TEST_SUPPORT_H
#define VELMAR_TEST_SUPPORT_H

// Shared helpers of the unit tests: fresh global state and small hand-made data.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/warning.h"
#include "dataitem.h"
#include "dataloader.h"
#include "globals.h"
#include "neuron.h"
#include "neuronlayer.h"
#include "settings/settingtable.h"
#include "test_access.h"

namespace testsupport {

// Puts every setting back to its default and empties the run state, so each
// test starts as a fresh process would (the hierarchy of earlier tests leaks).
inline void resetGlobals(int vectorlength) {
  restoreDefaultSettings();
  Globals::vectorlength = vectorlength;
  Globals::HTML_GID = 0;
  Globals::hfm = nullptr;
  Globals::layers = new Vector_Vector();
  Globals::dataItems = new Data_Vector();
  Globals::setRandom(1);
}

// A float array owned by the caller (freed with free, like the program's own).
inline float* vec(std::initializer_list<float> values) {
  float* v = static_cast<float*>(calloc(values.size() ? values.size() : 1, sizeof(float)));
  int i = 0;
  for (float f : values) v[i++] = f;
  return v;
}

inline DataItem* item(const char* id, std::initializer_list<float> values) {
  return new DataItem(strdup(id), vec(values), static_cast<int>(values.size()));
}

// A folder of this test process's own under the temporary folder (ending in "/"), so tests running side by side
// in other processes never share a file. The process that made it removes it at exit (not the children that
// death tests fork, which share it).
inline const std::string& tempDir() {
  static const pid_t owner = getpid();
  static const std::string& dir = *[] {  // never destroyed: it must outlive the removal at exit
    std::string base = ::testing::TempDir();
    std::string pattern = base + (base.empty() || base.back() == '/' ? "" : "/") + "velmar-unit-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) abort();
    atexit([] {
      if (getpid() == owner) std::filesystem::remove_all(tempDir());
    });
    return new std::string(pattern + "/");
  }();
  return dir;
}

// Writes `text` to a file in the test's temporary folder and returns its name.
inline std::string writeTempFile(const std::string& name, const std::string& text) {
  std::string path = tempDir() + name;
  FILE* f = fopen(path.c_str(), "wb");
  fwrite(text.data(), 1, text.size(), f);
  fclose(f);
  return path;
}

// A failure, thrown by the handler failureOf installs.
struct Failed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

inline void throwFailed(const std::string& message) { throw Failed(message); }

// Runs `step` with a handler that throws; returns the message it failed with
// ("" if it did not fail) and leaves what it printed in `printed`.
template <class Step>
std::string failureOf(Step step, std::string& printed) {
  setFailHandler(throwFailed);
  std::string message;
  testing::internal::CaptureStdout();
  try {
    step();
  } catch (const Failed& failed) {
    message = failed.what();
  }
  printed = testing::internal::GetCapturedStdout();
  setFailHandler(nullptr);
  return message;
}

// The warnings `step` gives (without "velmar: warning: "), collected instead of written.
template <class Step>
std::vector<std::string> warningsOf(Step step) {
  static std::vector<std::string>* collected = nullptr;
  std::vector<std::string> warnings;
  collected = &warnings;
  setWarnHandler([](const std::string& message) { collected->push_back(message); });
  step();
  setWarnHandler(nullptr);
  return warnings;
}

}  // namespace testsupport

#endif
