#include "training/progressline.h"

#include <unistd.h>

#include <chrono>
#include <cmath>
#include <iostream>
#include <sstream>

#include "base/statusline.h"
#include "io/outputfile.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Screen {
  bool on = statusline::isTerminal(STDERR_FILENO);
  bool shared = on && statusline::isTerminal(STDOUT_FILENO);
  Clock::time_point start = Clock::now();
};

Screen& screen() {
  static Screen s;
  return s;
}

void draw(const ProgressLine::State& s) {
  const double seconds = std::chrono::duration<double>(Clock::now() - screen().start).count();
  statusline::draw(ProgressLine::text(s, seconds));
}

}  // namespace

void ProgressLine::showForLibrary(bool shown) {
  screen().on = shown;
  screen().shared = false;
}

void ProgressLine::showAsTerminalsSay() { screen() = Screen(); }

void ProgressLine::startTraining() {
  if (screen().on) screen().start = Clock::now();
}

void ProgressLine::atCheck(const State& s) {
  if (screen().on) draw(s);
}

void ProgressLine::atDot(const State& s, bool quiet) {
  if (screen().shared) statusline::erase();
  if (!quiet) {  // a quiet console has no dots; the line keeps its pace
    std::cout << "." << std::flush;
    endRunIfConsoleFailed();
  }
  if (screen().on && !screen().shared && statusline::dueForRedraw()) draw(s);
}

void ProgressLine::endTraining() {
  if (screen().on) statusline::erase();
}

std::string ProgressLine::text(const State& s, double seconds) {
  std::ostringstream line;
  line << "level " << s.level << ", map " << s.map << " (" << s.columns << " x " << s.rows << " units), " << s.checks
       << (s.checks == 1 ? " growth check" : " growth checks") << ", MQE ";
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
