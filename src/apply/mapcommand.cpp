#include "apply/mapcommand.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "apply/hierarchywalk.h"
#include "apply/inputsource.h"
#include "apply/mapprogress.h"
#include "apply/mapstream.h"
#include "base/failure.h"
#include "base/workers.h"
#include "config.h"
#include "io/files.h"
#include "io/inputfailure.h"
#include "io/modelfile.h"
#include "io/outputfile.h"
#include "io/recordreader.h"
#include "io/vectorlines.h"
#include "output/assignments.h"

const char* const kMapUsage = VELMAR_NAME
    " --map MODEL [INPUT [OUTPUT]] [--threads N] [--no-header] [--format vectors|csv|sparse]"
    " [--separator ,|;|tab] [--id-column NAME] [--strict]";

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
  bool strict = false;  // refuse a value that is not a number instead of reading it as 0
  // The input's format; unset: the one the model was trained from.
  std::optional<std::string> format, separator, idColumn;
};

[[noreturn]] void usageError(const std::string& why) {
  fail(VELMAR_NAME " --map: " + why + " (usage: " + kMapUsage + ")");
}

int threadCount(const std::string& text) {
  int n = 0;
  bool number = !text.empty() && text.size() <= 4;
  for (char c : text) {
    number = number && c >= '0' && c <= '9';
    n = number ? n * 10 + (c - '0') : n;
  }
  if (!number || n > kMostThreads) {
    usageError("--threads takes a number from 0 (every core) to " + std::to_string(kMostThreads) + ", not " +
               shownInput(text));
  }
  return n;
}

Options parse(int argc, char** argv) {
  Options options;
  std::vector<std::string> names;
  for (int i = 2; i < argc; i++) {
    const std::string arg = argv[i];
    if (arg == "--no-header") {
      options.header = false;
    } else if (arg == "--strict") {
      options.strict = true;
    } else if (arg == "--threads") {
      if (i + 1 >= argc) {
        usageError("--threads needs a number");
      }
      options.threads = threadCount(argv[++i]);
    } else if (arg == "--format" || arg == "--separator" || arg == "--id-column") {
      if (i + 1 >= argc) {
        usageError(arg + " needs a value");
      }
      (arg == "--format" ? options.format : arg == "--separator" ? options.separator : options.idColumn) = argv[++i];
    } else if (arg.size() > 1 && arg[0] == '-') {
      usageError("unknown option " + escapedInput(arg));
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
  return options;
}

// The value of a setting the model recorded for its run, if set.
std::optional<std::string> recorded(const Model& model, const std::string& key) {
  for (const Model::Setting& s : model.settings) {
    if (s.key == key && s.set) {
      return s.value;
    }
  }
  return std::nullopt;
}

// How the input is laid out: as given, else as the model's training input was.
InputFormat inputFormat(const Options& options, const Model& model) {
  const std::string text = options.format.value_or(recorded(model, "inputFormat").value_or("vectors"));
  InputFormat format;
  if (!parseInputFormat(text, format)) {
    usageError("--format takes vectors, csv or sparse, not " + shownInput(text));
  }
  // An option of another format's layout is a mistake, never something to ignore.
  if (format != InputFormat::Csv) {
    for (const auto& [option, given] : {std::pair("--separator", options.separator.has_value()),
                                        std::pair("--id-column", options.idColumn.has_value())}) {
      if (given) {
        usageError(std::string(option) + " lays out a table (csv), but the input is read as " +
                   (format == InputFormat::Vectors ? "vectors" : "sparse vectors"));
      }
    }
  }
  return format;
}

CsvOptions csvOptions(const Options& options, const Model& model, std::string& idColumn) {
  CsvOptions csv;
  const std::string separator = options.separator.value_or(recorded(model, "separator").value_or(","));
  if (!parseSeparator(separator, csv.separator)) {
    usageError("--separator takes , or ; or tab, not " + shownInput(separator));
  }
  const std::optional<std::string> named = options.idColumn ? options.idColumn : recorded(model, "idColumn");
  if (named) {
    idColumn = *named;
    csv.idColumn = idColumn.c_str();
  }
  return csv;
}

bool sameFile(const std::string& a, const std::string& b) {
  struct stat first;
  struct stat second;
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
         first.st_ino == second.st_ino;
}

// Whether the regular file open as `fd` (standard input or output) is the
// file `name`, or, for the name "-", the regular file open as `otherFd`.
// Terminals, pipes and devices such as /dev/null are never the same file:
// reading and writing them destroys nothing.
bool sameRegularFile(int fd, const std::string& name, int otherFd) {
  struct stat open;
  struct stat other;
  const bool found = name == "-" ? fstat(otherFd, &other) == 0 : stat(name.c_str(), &other) == 0;
  return fstat(fd, &open) == 0 && found && S_ISREG(open.st_mode) && open.st_dev == other.st_dev &&
         open.st_ino == other.st_ino;
}

// Writing the output must not destroy the model or the input: creating a
// named output truncates it, and standard output appended to the input
// would be read back as input. Checked before the output is opened.
void refuseOutputOverInput(const Options& options) {
  if (options.output != "-") {
    if (sameFile(options.output, options.model) || (options.input != "-" && sameFile(options.output, options.input)) ||
        (options.input == "-" && sameRegularFile(STDIN_FILENO, options.output, STDIN_FILENO))) {
      fail("output " + escapedInput(options.output) + " is the model or the input file itself");
    }
  } else if (sameRegularFile(STDOUT_FILENO, options.model, STDIN_FILENO) ||
             sameRegularFile(STDOUT_FILENO, options.input, STDIN_FILENO)) {
    fail("standard output is the model or the input file itself");
  }
}

}  // namespace

int runMapCommand(int argc, char** argv) {
  setFailStream(&std::cerr);
  const Options options = parse(argc, argv);
  const Model model = readModelFile(options.model);
  const MappingModel prepared(model);
  const InputFormat format = inputFormat(options, model);
  FILE* in = options.input == "-" ? stdin : openForReading(options.input.c_str());
  if (in == nullptr) {
    fail("input " + escapedInput(options.input) + " not found");
  }
  std::string idColumn;
  std::optional<VectorLines> lines;
  std::optional<ReaderSource> records;
  if (format == InputFormat::Vectors) {
    lines.emplace(in, options.input, prepared.components(), options.strict);
    lines->start();
  } else {
    records.emplace(format, in, options.input, csvOptions(options, model, idColumn), model.componentNames);
    records->start();
  }
  refuseOutputOverInput(options);
  // The last check is done: only now may the output be created (truncated).
  const std::string kind = options.output == "-" ? "standard output" : "output " + escapedInput(options.output);
  std::optional<OutputFile> out;
  if (options.output == "-") {
    out.emplace(stdout, kind.c_str());
  } else {
    out.emplace(options.output, kind.c_str());
  }
  if (options.header) {
    out->write(Assignments::kHeader, std::char_traits<char>::length(Assignments::kHeader));
  }
  Workers team(Workers::membersFor(options.threads));
  MapStream stream(prepared, team, *out);
  MapProgress progress(options.output == "-");
  stream.reportTo(&progress);
  if (lines) {
    stream.run(*lines);
  } else {
    stream.run(*records);
  }
  out->close();
  return 0;
}
