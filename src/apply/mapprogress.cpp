#include "apply/mapprogress.h"

#include <unistd.h>

#include <cstdio>
#include <sstream>

#include "base/failure.h"

namespace {

const double kRedrawSeconds = 0.25;  // the least time between two redraws
const char* kErase = "\r\033[K";     // to the start of the line, and clear it

bool drawn = false;

void erase() {
  if (drawn) {
    fputs(kErase, stderr);
    fflush(stderr);
    drawn = false;
  }
}

}  // namespace

MapProgress::MapProgress(bool toStandardOutput)
    : on_(isatty(STDERR_FILENO) != 0 && !(toStandardOutput && isatty(STDOUT_FILENO) != 0)),
      start_(Clock::now()),
      lastDraw_(start_) {
  if (on_) setFailPrelude(erase);
}

MapProgress::~MapProgress() {
  if (on_) {
    erase();
    setFailPrelude(nullptr);
  }
}

void MapProgress::mapped(size_t vectors) {
  vectors_ += vectors;
  if (!on_) return;
  const Clock::time_point now = Clock::now();
  if (drawn && std::chrono::duration<double>(now - lastDraw_).count() < kRedrawSeconds) return;
  const std::string line = kErase + text(vectors_, std::chrono::duration<double>(now - start_).count());
  fwrite(line.data(), 1, line.size(), stderr);
  fflush(stderr);
  drawn = true;
  lastDraw_ = now;
}

std::string MapProgress::text(unsigned long long vectors, double seconds) {
  std::ostringstream line;
  line << vectors << (vectors == 1 ? " vector" : " vectors") << " mapped";
  if (seconds > 0) {
    line << " (" << static_cast<unsigned long long>(static_cast<double>(vectors) / seconds) << " a second)";
  }
  line.precision(1);
  line << std::fixed << ", " << seconds << " s";
  return line.str();
}
