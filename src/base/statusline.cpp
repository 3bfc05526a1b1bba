#include "base/statusline.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>

#include "base/failure.h"

namespace statusline {

namespace {

using Clock = std::chrono::steady_clock;

const double kRedrawSeconds = 0.25;  // the least time between two redraws
const char* kErase = "\r\033[K";     // to the start of the line, and clear it

bool drawn = false;
Clock::time_point lastDraw;

}  // namespace

bool isTerminal(int fd) { return isatty(fd) != 0; }

void draw(const std::string& text) {
  const std::string line = kErase + text;
  fwrite(line.data(), 1, line.size(), stderr);
  fflush(stderr);
  drawn = true;
  lastDraw = Clock::now();
  setFailPrelude(erase);
}

void erase() {
  if (drawn) {
    fputs(kErase, stderr);
    fflush(stderr);
    drawn = false;
  }
}

bool dueForRedraw() {
  return !drawn || std::chrono::duration<double>(Clock::now() - lastDraw).count() >= kRedrawSeconds;
}

}  // namespace statusline
