#include "apply/mapprogress.h"

#include <unistd.h>

#include <sstream>

#include "base/statusline.h"

MapProgress::MapProgress(bool toStandardOutput)
    : on_(statusline::isTerminal(STDERR_FILENO) && !(toStandardOutput && statusline::isTerminal(STDOUT_FILENO))),
      start_(Clock::now()) {}

MapProgress::~MapProgress() {
  if (on_) statusline::erase();
}

void MapProgress::mapped(size_t vectors) {
  vectors_ += vectors;
  if (on_ && statusline::dueForRedraw()) {
    statusline::draw(text(vectors_, std::chrono::duration<double>(Clock::now() - start_).count()));
  }
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
