#include "training/progressline.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "base/failure.h"

namespace {

using Clock = std::chrono::steady_clock;

const double kRedrawSeconds = 0.25;  // the least time between two redraws during a growth period
const char* kErase = "\r\033[K";     // to the start of the line, and clear it

struct Screen {
  bool on = isatty(STDERR_FILENO) != 0;
  bool shared = on && isatty(STDOUT_FILENO) != 0;
  bool drawn = false;
  Clock::time_point start = Clock::now();
  Clock::time_point lastDraw;
};

Screen& screen() {
  static Screen s;
  return s;
}

double secondsSince(Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); }

void draw(const ProgressLine::State& s) {
  Screen& sc = screen();
  const std::string line = kErase + ProgressLine::text(s, secondsSince(sc.start));
  fwrite(line.data(), 1, line.size(), stderr);
  fflush(stderr);
  sc.drawn = true;
  sc.lastDraw = Clock::now();
}

void erase() {
  Screen& sc = screen();
  if (sc.drawn) {
    fputs(kErase, stderr);
    fflush(stderr);
    sc.drawn = false;
  }
}

}  // namespace

void ProgressLine::startTraining() {
  if (screen().on) {
    screen().start = Clock::now();
    setFailPrelude(erase);  // a failure's message never lands behind the line
  }
}

void ProgressLine::atCheck(const State& s) {
  if (screen().on) draw(s);
}

void ProgressLine::beforeReport() {
  if (screen().shared) erase();
}

void ProgressLine::whileTraining(const State& s) {
  Screen& sc = screen();
  if (sc.on && !sc.shared && (!sc.drawn || secondsSince(sc.lastDraw) >= kRedrawSeconds)) draw(s);
}

void ProgressLine::endTraining() {
  if (screen().on) {
    erase();
    setFailPrelude(nullptr);
  }
}

std::string ProgressLine::text(const State& s, double seconds) {
  std::ostringstream line;
  line << "level " << s.level << ", map " << s.map << " (" << s.columns << " x " << s.rows << " units), "
       << s.checks << (s.checks == 1 ? " growth check" : " growth checks") << ", MQE ";
  if (std::isinf(s.error)) {
    line << "-";
  } else {
    line << s.error;
  }
  line << ", bound " << s.bound << ", ";
  line.precision(1);
  line << std::fixed << seconds << " s";
  return line.str();
}
