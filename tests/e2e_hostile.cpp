// Hostile input files: every run either trains to the end or ends with one clear line and status 1, never with
// a signal, a hang or anything on standard error but warnings.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tuple>
#include <utility>
#include <vector>

#include "e2e_support.h"

namespace {

using namespace std::string_literals;
using Files = std::vector<std::pair<std::string, std::string>>;

const std::string kVec = "$TYPE vectors\n$XDIM 3\n$YDIM 1\n$VEC_DIM 2\n1 2 a\n3 1 b\n5 5 c\n";
const std::string kTv = "$TYPE template\n$XDIM 3\n$YDIM 2\n$VEC_DIM 2\n0 x u\n1 y u\n";
const std::string kProps = "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\n";

// Bytes without digits, blanks, line ends or "=": no count, field or key can be read from them.
std::string garbage(size_t n) {
  std::string text;
  unsigned state = 12345;
  for (size_t i = 0; i < n; i++) {
    state = state * 1103515245u + 12345u;
    text.push_back(static_cast<char>(0x80 | (state >> 16 & 0x7f)));
    if (i % 7 == 3) text.push_back('\0');
  }
  return text;
}

std::string vectors(const std::string& vecDimLine, const std::string& records, const std::string& count = "3") {
  return "$TYPE vectors\n$XDIM " + count + "\n$YDIM 1\n" + vecDimLine + "\n" + records;
}

std::string withValue(const std::string& value) { return vectors("$VEC_DIM 2", "1 2 a\n" + value + " 1 b\n5 5 c\n"); }

struct Case {
  const char* name;
  Files files;  // written over the defaults: data.vec, data.tv, run.prop
  int status;
  std::string last;          // the last line of standard output, for a refused run
  std::string warning = "";  // a piece of the warnings on standard error; none without it
};

std::vector<Case> cases() {
  const std::string big(4 << 20, 'w');  // a line of several megabytes
  const std::string notFinite = "inputfile vector 2 (b) holds a value that is not a finite number (check inputfile)";
  return {
      {"property-garbage",
       {{"run.prop", garbage(3000)}},
       1,
       "inputfile not found (check propertyfile)",
       "propertyfile line 1 has no \"=\""},
      {"property-nul-in-key",
       {{"run.prop", "input\0File=data.vec\n"s}},
       1,
       "inputfile not found (check propertyfile)",
       "unknown key \"input\" is ignored"},
      {"property-folder", {{"run.prop/", ""}}, 1, "propertyfile run.prop not found"},
      {"property-long-value", {{"run.prop", kProps + "DATAFILE_EXTENSION=" + big + "\n"}}, 0, ""},
      {"input-garbage", {{"data.vec", garbage(3000)}}, 1, "inputfile announces 0 vectors (check inputfile)"},
      {"input-nul-bytes",
       {{"data.vec", vectors("$VEC_DIM 2", "1\0 2 a\0z\n3 1 \0\n5 5 c\n"s)}},
       1,
       "inputfile vector 1 has the identifier \"a\\x00z\", whose NUL byte would cut it short in every output "
       "(check inputfile)"},
      {"input-nul-values",
       {{"data.vec", vectors("$VEC_DIM 2", "1\0 2 a\n3 1 b\n5 5 c\n"s)}},
       0,
       "",
       "data.vec line 5, component 1: \"1\\x00\" read as 1"},
      {"input-folder", {{"data.vec/", ""}}, 1, "inputfile not found (check propertyfile)", "data.vec: it is a folder"},
      {"input-huge-vector-count",
       {{"data.vec", vectors("$VEC_DIM 2", "1 2 a\n3 1 b\n5 5 c\n", "2000000000")}},
       1,
       "inputfile ends after 3 of 2000000000 vectors (check inputfile)"},
      {"input-huge-component-count",
       {{"data.vec", vectors("$VEC_DIM 2000000000", "1 2 a\n3 1 b\n5 5 c\n")}},
       1,
       "inputfile ends after 0 of 3 vectors (check inputfile)"},
      {"input-long-identifier",
       {{"data.vec", vectors("$VEC_DIM 2", "1 2 " + std::string(100000, 'i') + "\n3 1 b\n5 5 c\n")}},
       0,
       ""},
      {"input-long-line", {{"data.vec", vectors("$VEC_DIM 2", "1 2 a" + big + "\n3 1 b\n5 5 c\n")}}, 0, ""},
      {"input-long-number",
       {{"data.vec", vectors("$VEC_DIM 2", "1" + big + " 2 a\n3 1 b\n5 5 c\n")}},
       0,
       "",
       "read as 1"},
      {"value-nan", {{"data.vec", withValue("nan")}}, 1, notFinite},
      {"value-inf", {{"data.vec", withValue("inf")}}, 1, notFinite},
      {"value-out-of-range", {{"data.vec", withValue("1e999")}}, 1, notFinite},
      {"value-hexadecimal", {{"data.vec", withValue("0x1p3")}}, 0, ""},
      {"value-squares-overflow", {{"data.vec", withValue("1e38")}}, 0, ""},
      {"description-garbage",
       {{"data.tv", garbage(3000)}},
       1,
       "descriptionfile ends after 1 of 2 components (check descriptionfile)"},  // a list of one name
      {"description-nul-bytes", {{"data.tv", "$TYPE\0\n\n\n\n0 x\0y u\n1 \0 u\n"s}}, 0, ""},
      {"description-folder",
       {{"data.tv/", ""}},
       1,
       "descriptionfile not found (check propertyfile)",
       "data.tv: it is a folder"},
      {"description-long-name", {{"data.tv", "$TYPE template\n\n\n\n0 " + big + " u\n1 y u\n"}}, 0, ""},
      {"save-path-is-a-file",
       {{"run.prop", "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=/dev/null\n"}},
       1,
       "savePath /dev/null: it is not a folder (check propertyfile)"},
      {"mqe0-garbage",
       {{"run.prop", kProps + "MQE0_FILE=mqe0\n"}, {"mqe0", garbage(3000)}},
       1,
       "cannot read $MEAN_VEC"},
      {"mqe0-nul-bytes",
       {{"run.prop", kProps + "MQE0_FILE=mqe0\n"}, {"mqe0", "$MEAN_VEC\0 1 2 $MQE0 5"s}},
       1,
       "cannot read $MEAN_VEC"},
      {"mqe0-folder", {{"run.prop", kProps + "MQE0_FILE=mqe0\n"}, {"mqe0/", ""}}, 1, "cannot open MQE0 file mqe0"},
      {"mqe0-long-keyword",
       {{"run.prop", kProps + "MQE0_FILE=mqe0\n"}, {"mqe0", std::string(10000, 'M') + " 1 2 $MQE0 5"}},
       1,
       "cannot read $MEAN_VEC"},
      {"mqe0-long-number",
       {{"run.prop", kProps + "MQE0_FILE=mqe0\n"}, {"mqe0", "$MEAN_VEC 1 " + std::string(10000, '7') + " $MQE0 5"}},
       0,
       ""},
      {"mqe0-vector-too-long",
       {{"run.prop", kProps + "MQE0_FILE=mqe0\n"}, {"mqe0", "$MEAN_VEC 1 2 3 $MQE0 5"}},
       1,
       "cannot read $MQE0"},
      {"mqe0-vector-too-short", {{"run.prop", kProps + "MQE0_FILE=mqe0\n"}, {"mqe0", "$MEAN_VEC 1 $MQE0 5"}}, 0, ""},
  };
}

void writeCase(const e2e::Folder& f, const Files& files) {
  Files all = {{"data.vec", kVec}, {"data.tv", kTv}, {"run.prop", kProps}};
  for (const auto& file : files) {
    bool replaced = false;
    for (auto& existing : all) {
      if (existing.first + "/" == file.first || existing.first == file.first) {
        existing = file;
        replaced = true;
      }
    }
    if (!replaced) all.push_back(file);
  }
  for (const auto& [name, text] : all) {
    if (name.back() == '/') {
      f.mkdir(name.substr(0, name.size() - 1));  // a folder where a file is expected
    } else {
      f.write(name, text);
    }
  }
  f.mkdir("out");
}

void expectOutcome(const e2e::Folder& f, const e2e::Run& r, int status, const std::string& last,
                   const std::string& warning = "") {
  EXPECT_GE(r.status, 0) << "killed by signal " << -r.status;
  EXPECT_EQ(r.status, status) << r.out.substr(r.out.size() > 2000 ? r.out.size() - 2000 : 0);
  if (status != 0) {
    ASSERT_GE(r.out.size(), last.size() + 1);
    EXPECT_EQ(r.out.substr(r.out.size() - last.size() - 1), last + "\n");
  } else {
    EXPECT_EQ(r.out.substr(r.out.size() - 1), "\a");  // the run went to its end
  }
  // Standard error holds warning lines only, and only where the case expects one.
  const std::string error = f.read("stderr");
  EXPECT_EQ(e2e::count("\n" + error, "\nvelmar: warning: "), e2e::count(error, "\n")) << error;
  EXPECT_EQ(error.empty(), warning.empty()) << error;
  EXPECT_NE(error.find(warning), std::string::npos) << error;
}

TEST(Hostile, EveryInputEndsCleanly) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    e2e::Folder f;
    writeCase(f, c.files);
    expectOutcome(f, f.run("run.prop", 20), c.status, c.last, c.warning);
  }
}

TEST(Hostile, UnreadableFilesAreReported) {
  if (getuid() == 0) GTEST_SKIP() << "root reads every file";
  const std::vector<std::tuple<std::string, std::string, std::string>> unreadable = {
      {"run.prop", "propertyfile run.prop not found", ""},
      {"data.vec", "inputfile not found (check propertyfile)", "inputFile data.vec: it may not be read"},
      {"data.tv", "descriptionfile not found (check propertyfile)", "descriptionFile data.tv: it may not be read"}};
  for (const auto& [name, message, warning] : unreadable) {
    SCOPED_TRACE(name);
    e2e::Folder f;
    writeCase(f, {});
    chmod(f.path(name).c_str(), 0);
    expectOutcome(f, f.run("run.prop", 20), 1, message, warning);
  }
}

}  // namespace
