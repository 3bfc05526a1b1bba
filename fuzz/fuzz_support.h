#ifndef VELMAR_FUZZ_SUPPORT_H
#define VELMAR_FUZZ_SUPPORT_H

// Shared pieces of the fuzz targets: every input runs in the same process,
// so a failure must unwind instead of ending the process, the global state
// must return to a fresh process's after each input, and the console report
// is swallowed (set VELMAR_FUZZ_VERBOSE to see it).

#include <dirent.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <string_view>

#include "api/runsequence.h"
#include "base/warning.h"
#include "dataloader.h"
#include "globals.h"
#include "io/fieldreader.h"
#include "settings/propertyfile.h"
#include "settings/settingtable.h"

namespace fuzzsupport {

// The failure of one input: Globals::fail has printed its message.
struct RunFailed : std::runtime_error {
  using std::runtime_error::runtime_error;
};

[[noreturn]] inline void throwRunFailed(const std::string& message) { throw RunFailed(message); }

// Accepts and drops everything written to it.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

// The run state that is not a setting, as a fresh process has it.
inline void restoreRunState() {
  Globals::vectorlength = 0;
  Globals::numofallvecs = 0;
  Globals::HTML_GID = 0;
  Globals::isTrained = false;
}

// A small valid input file: three vectors of `components` components, no
// two alike, so that its MQE0 is above 0.
inline std::string smallInputFile(int components) {
  std::string text = "$TYPE vec\n$XDIM 3\n$YDIM 1\n$VEC_DIM " + std::to_string(components) + "\n";
  for (int v = 0; v < 3; v++) {
    for (int i = 0; i < components; i++) {
      text += std::to_string((v * 7 + i * 3) % 5) + ".5 ";
    }
    text += "v" + std::to_string(v) + "\n";
  }
  return text;
}

// Removes the files of `dir` (not its subfolders) and then `dir`, if empty.
inline void removeFiles(const std::string& dir) {
  if (DIR* listing = opendir(dir.c_str())) {
    while (dirent* entry = readdir(listing)) {
      if (entry->d_type != DT_DIR) {
        unlink((dir + "/" + entry->d_name).c_str());
      }
    }
    closedir(listing);
  }
  rmdir(dir.c_str());
}

// A folder of its own under the temporary folder, made at first use and
// removed when the process ends (with an "out" folder in it, if any).
inline const std::string& scratchDir() {
  // Never destroyed, so that it outlives the removal at exit.
  static const std::string& dir = *[] {
    const char* base = getenv("TMPDIR");
    auto* path = new std::string(std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/velmar-fuzz-XXXXXX");
    if (mkdtemp(path->data()) == nullptr) {
      perror("velmar fuzz: mkdtemp");
      abort();
    }
    atexit([] {
      removeFiles(scratchDir() + "/out");
      removeFiles(scratchDir());
    });
    return path;
  }();
  return dir;
}

// Writes `size` bytes to scratchDir()/name and returns the path.
inline std::string writeScratch(const char* name, const uint8_t* data, size_t size) {
  std::string path = scratchDir() + "/" + name;
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr || (size > 0 && fwrite(data, 1, size, f) != size) || fclose(f) != 0) {
    perror("velmar fuzz: cannot write scratch file");
    abort();
  }
  return path;
}

inline std::string writeScratch(const char* name, std::string_view text) {
  return writeScratch(name, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

// Prepares the process once (failures throw, console swallowed) and brings
// the global state back to a fresh process's before every input, releasing
// what the previous input built.
class Harness {
 public:
  Harness() {
    static bool prepared = false;
    if (!prepared) {
      prepared = true;
      setFailHandler(throwRunFailed);
      std::set_new_handler(failOutOfMemory);
      if (getenv("VELMAR_FUZZ_VERBOSE") == nullptr) {
        // Never destroyed: the stream is still flushed at exit, after the
        // function-local statics are gone.
        std::cout.rdbuf(new NullBuffer());
        setWarnHandler([](const std::string&) {});  // the warnings of a fuzzed input say nothing new
      }
    }
    reset();
  }
  ~Harness() { reset(); }

  Harness(const Harness&) = delete;
  Harness& operator=(const Harness&) = delete;

 private:
  void reset() {
    Globals::releaseRun();
    restoreDefaultSettings();
    restoreRunState();
    Globals::setRandom(1);  // an unseeded process draws as if seeded with 1
  }
};

// Reads the input file into Globals::dataItems, in place of the empty
// start-up list, as the run sequence does.
inline void loadInput(const char* path) {
  Data_Vector* items = Globals::currentDataLoader->readDataItems(path);
  delete Globals::dataItems;
  Globals::dataItems = items;
}

// Reads the input file (and the description file, when not null) in the
// format Globals::inputFormat names into Globals::dataItems, as the run
// sequence does.
inline void loadFormatted(const char* path, const char* descriptionPath) {
  Data_Vector* items = Globals::currentDataLoader->readInput(path, descriptionPath);
  delete Globals::dataItems;
  Globals::dataItems = items;
}

// The counts that header lines 2 and 4 of an input file announce, read the
// way the loader reads them; false when the file cannot be read.
inline bool announcedCounts(const std::string& path, int& vectors, int& components) {
  FILE* file = fopen(path.c_str(), "r");
  if (file == nullptr) {
    return false;
  }
  FieldReader reader(file);
  std::string_view field;
  auto count = [&reader, &field] {
    reader.read(' ', field);
    reader.read('\n', field);
    return atoi(field.data());
  };
  reader.read('\n', field);
  vectors = count();
  reader.read('\n', field);
  components = count();
  return true;
}

}  // namespace fuzzsupport

#endif
