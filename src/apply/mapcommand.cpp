#include "apply/mapcommand.h"

#include <sys/stat.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "apply/hierarchywalk.h"
#include "apply/mapstream.h"
#include "base/failure.h"
#include "config.h"
#include "io/files.h"
#include "io/modelfile.h"
#include "io/outputfile.h"
#include "io/vectorlines.h"
#include "output/assignments.h"

const char* const kMapUsage = VELMAR_NAME " --map MODEL [INPUT [OUTPUT]] [--threads N] [--no-header]";

namespace {

// More threads than this are refused: no machine the command runs on has
// use for them, and each costs memory.
constexpr int kMostThreads = 1024;

struct Options {
  std::string model;
  std::string input = "-";
  std::string output = "-";
  int threads = 0;
  bool header = true;
};

[[noreturn]] void usageError(const std::string& why) { fail(VELMAR_NAME " --map: " + why + " (usage: " + kMapUsage + ")"); }

int threadCount(const std::string& text) {
  int n = 0;
  bool number = !text.empty() && text.size() <= 4;
  for (char c : text) {
    number = number && c >= '0' && c <= '9';
    n = number ? n * 10 + (c - '0') : n;
  }
  if (!number || n > kMostThreads) {
    usageError("--threads takes a number from 0 (every core) to " + std::to_string(kMostThreads) + ", not \"" + text +
               "\"");
  }
  if (n == 0) {
    n = static_cast<int>(std::thread::hardware_concurrency());
  }
  return n > 0 ? n : 1;
}

Options parse(int argc, char** argv) {
  Options options;
  std::vector<std::string> names;
  for (int i = 2; i < argc; i++) {
    const std::string arg = argv[i];
    if (arg == "--no-header") {
      options.header = false;
    } else if (arg == "--threads") {
      if (i + 1 >= argc) {
        usageError("--threads needs a number");
      }
      options.threads = threadCount(argv[++i]);
    } else if (arg.size() > 1 && arg[0] == '-') {
      usageError("unknown option " + arg);
    } else {
      names.push_back(arg);
    }
  }
  if (names.empty() || names.size() > 3) {
    usageError(names.empty() ? "no model given" : "too many file names");
  }
  options.model = names[0];
  if (names.size() > 1) options.input = names[1];
  if (names.size() > 2) options.output = names[2];
  if (options.threads == 0) {
    options.threads = threadCount("0");
  }
  return options;
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat first;
  struct stat second;
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

}  // namespace

int runMapCommand(int argc, char** argv) {
  setFailStream(&std::cerr);
  const Options options = parse(argc, argv);
  const Model model = readModelFile(options.model);
  const MappingModel prepared(model);
  FILE* in = options.input == "-" ? stdin : openForReading(options.input.c_str());
  if (in == nullptr) {
    fail("input " + options.input + " not found");
  }
  VectorLines lines(in, options.input, prepared.components());
  lines.start();
  // Creating the output truncates it: never the model or the input.
  if (options.output != "-" && (sameFile(options.output, options.model) ||
                                (options.input != "-" && sameFile(options.output, options.input)))) {
    fail("output " + options.output + " is the model or the input file itself");
  }
  const std::string kind = options.output == "-" ? "standard output" : "output " + options.output;
  std::optional<OutputFile> out;
  if (options.output == "-") {
    out.emplace(stdout, kind.c_str());
  } else {
    out.emplace(options.output, kind.c_str());
  }
  if (options.header) {
    out->write(Assignments::kHeader, std::char_traits<char>::length(Assignments::kHeader));
  }
  MapStream(prepared, options.threads, *out).run(lines);
  out->close();
  return 0;
}
