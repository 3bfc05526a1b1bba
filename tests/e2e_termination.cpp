// Every run ends: settings and data under which a map could never meet its bound, or the hierarchy never stop
// growing, either train to the end with a line saying why a map stopped, or are refused with a message.

#include <gtest/gtest.h>

#include "e2e_support.h"

namespace {

// n vectors of c components: all equal to (1, 2, ...) but the last, which is `odd` in component 0.
std::string equalButOne(int n, int c, const std::string& odd) {
  std::string text = "$TYPE vectors\n$XDIM " + std::to_string(n) + "\n$YDIM 1\n$VEC_DIM " + std::to_string(c) + "\n";
  for (int i = 0; i < n; i++) {
    for (int k = 0; k < c; k++) text += (i == n - 1 && k == 0 ? odd : std::to_string(k + 1)) + " ";
    text += "v" + std::to_string(i) + "\n";
  }
  return text;
}

std::string description(int c) {
  std::string text = "$TYPE template\n$XDIM 3\n$YDIM " + std::to_string(c) + "\n$VEC_DIM " + std::to_string(c) + "\n";
  for (int k = 0; k < c; k++) text += std::to_string(k) + " c" + std::to_string(k) + " x\n";
  return text;
}

// Six small 2-component vectors with `far` as component 0 of two of them.
std::string withFarValues(const std::string& far) {
  return "$TYPE vectors\n$XDIM 6\n$YDIM 1\n$VEC_DIM 2\n1 2 a\n2 1 b\n" + far + " 3 c\n4 5 d\n5 4 e\n" + far + " 0 f\n";
}

struct Case {
  const char* name;
  std::string data;  // the input file; its component count must match `components`
  int components;
  std::string props;  // added to the common settings
  int status;
  std::string line;  // a whole line the output must hold ("" for none)
};

// Each of these runs takes well under a second; a run still going after this long is taken to hang.
const int kSeconds = 20;

const std::string kMqe0 = "MQE0_FILE=mqe0\n";  // a loaded MQE0 of 10, far below these data's own

std::vector<Case> cases() {
  const std::string clusters = e2e::clusterData(30);
  const std::string stuck = "all units have stayed at one point, the bound cannot be reached: training stops";
  const std::string floor = "MQE cannot fall below the rounding floor: training stops";
  return {
      {"tau2-least-float", clusters, 3, "TAU_2=1e-45\n", 0, floor},
      {"tau1-least-float", clusters, 3, "TAU_1=1e-45\n", 0, floor},
      {"tau1-zero", clusters, 3, "TAU_1=0\n", 1,
       "TAU_1 must be greater than 0 unless MAX_CYCLES is set (check propertyfile)"},
      {"tau1-nan", clusters, 3, "TAU_1=nan\n", 1,
       "TAU_1 must be greater than 0 unless MAX_CYCLES is set (check propertyfile)"},
      {"tau1-one", clusters, 3, "TAU_1=1\n", 0, ""},
      {"tau1-huge", clusters, 3, "TAU_1=3e38\n", 0, ""},
      {"tau1-inf", clusters, 3, "TAU_1=inf\n", 0, ""},
      {"tau2-zero", clusters, 3, "TAU_2=0\n", 1, "TAU_2 must be greater than 0 (check propertyfile)"},
      {"tau2-nan", clusters, 3, "TAU_2=nan\n", 1, "TAU_2 must be greater than 0 (check propertyfile)"},
      {"tau2-one", clusters, 3, "TAU_2=1\n", 0, ""},
      {"tau2-huge", clusters, 3, "TAU_2=1e30\n", 0, ""},
      {"tau2-inf", clusters, 3, "TAU_2=inf\n", 0, ""},
      {"expand-cycles-one", clusters, 3, "EXPAND_CYCLES=1\nTAU_2=0.001\n", 0, ""},
      {"negative-max-cycles", clusters, 3, "MAX_CYCLES=-5\n", 0, ""},
      // The int limit: a radius no grid reaches keeps every unit at one point.
      {"huge-radius", clusters, 3, "INITIAL_NEIGHBOURHOOD=2147483647\n", 0, stuck},
      {"huge-start-size", clusters, 3, "INITIAL_Y_SIZE=2147483647\n", 1,
       "a map of INITIAL_X_SIZE x INITIAL_Y_SIZE = 2 x 2147483647 units does not fit in memory (check propertyfile)"},
      {"one-by-one", clusters, 3, "INITIAL_X_SIZE=1\nINITIAL_Y_SIZE=1\nTAU_1=2\n", 0, ""},
      {"one-by-one-loaded-mqe0", clusters, 3, "INITIAL_X_SIZE=1\nINITIAL_Y_SIZE=1\n" + kMqe0, 0,
       "a 1 x 1 map cannot reach its bound: training stops"},
      {"one-column", clusters, 3, "INITIAL_X_SIZE=1\n", 0, ""},
      {"one-vector", equalButOne(1, 3, "7"), 3, "", 0, ""},
      {"one-component", equalButOne(12, 1, "9"), 1, "TAU_2=1e-45\n", 0, ""},
      {"all-equal-but-one", equalButOne(20, 2, "5"), 2, "TAU_1=1e-10\nTAU_2=1e-45\n", 0, floor},
      {"all-equal-but-one-oriented", equalButOne(20, 2, "5"), 2, "ORIENTATION=true\nTAU_2=1e-45\n", 0, floor},
      {"outlier", withFarValues("99999999999"), 2, kMqe0, 0, floor},
      {"outlier-computed-mqe0", withFarValues("99999999999"), 2, "TAU_1=1e-20\nTAU_2=1e-20\n", 0, floor},
      // Finite values whose squares overflow: with a computed MQE0 the bound is infinite and met at once.
      {"overflowing-squares", withFarValues("3e38"), 2, "", 0, ""},
      {"overflowing-squares-loaded-mqe0", withFarValues("3e38"), 2, kMqe0, 0,
       "MQE stays infinite (squared distances overflow): training stops"},
  };
}

TEST(Termination, EveryRunEndsOrIsRefused) {
  for (const Case& c : cases()) {
    SCOPED_TRACE(c.name);
    e2e::Folder f;
    f.write("data.vec", c.data);
    f.write("data.tv", description(c.components));
    std::string mean;
    for (int k = 0; k < c.components; k++) mean += " 1";
    f.write("mqe0", "$MEAN_VEC" + mean + " $MQE0 10\n");
    f.mkdir("out");
    f.write("run.prop", "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\n" + c.props);
    const e2e::Run r = f.run("run.prop", kSeconds);
    EXPECT_EQ(r.status, c.status) << r.out.substr(r.out.size() > 2000 ? r.out.size() - 2000 : 0);
    if (!c.line.empty()) {
      EXPECT_NE(r.out.find("\n" + c.line + "\n"), std::string::npos) << c.line;
    }
    if (c.status == 0) {
      EXPECT_FALSE(f.list("out", "map_1_1_0_0.html").empty());
    } else {
      EXPECT_EQ(r.out.substr(r.out.size() - c.line.size() - 1), c.line + "\n");  // the refusal is the last line
    }
    EXPECT_EQ(f.read("stderr"), "");
  }
}

// A map stopped at the rounding floor or with an infinite error gives no unit whose error is only rounding
// or overflow a child map: the hierarchy ends right there.
TEST(Termination, StuckMapsHandNothingDown) {
  e2e::Folder f;
  f.write("data.vec", withFarValues("3e38"));
  f.write("data.tv", description(2));
  f.write("mqe0", "$MEAN_VEC 1 1 $MQE0 10\n");
  f.mkdir("out");
  f.write("run.prop", "inputFile=data.vec\ndescriptionFile=data.tv\nsavePath=out\nTAU_2=1e-45\n" + kMqe0);
  const e2e::Run r = f.run("run.prop", kSeconds);
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(e2e::count(r.out, "\nMQE: "), 2);  // level 0 and the first-layer map, no child maps
  EXPECT_EQ(f.list("out", ".html"), std::set<std::string>{"map_1_1_0_0.html"});
}

}  // namespace
