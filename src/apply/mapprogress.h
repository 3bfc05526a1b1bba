#ifndef VELMAR_APPLY_MAPPROGRESS_H
#define VELMAR_APPLY_MAPPROGRESS_H

#include <chrono>
#include <cstddef>
#include <string>

// One status line on standard error while the map command runs: the vectors
// mapped so far, their rate and the time since mapping began. It is drawn
// only when standard error is a terminal that the mapped lines do not go to,
// so piped, logged and on-screen output stay as they are; it is erased when
// mapping ends and before a failure's message. One at a time.
class MapProgress {
 public:
  // `toStandardOutput`: the mapped lines go to standard output.
  explicit MapProgress(bool toStandardOutput);
  ~MapProgress();

  MapProgress(const MapProgress&) = delete;
  MapProgress& operator=(const MapProgress&) = delete;

  // `vectors` more were written: redraws at most a few times a second.
  void mapped(size_t vectors);

  // The line's text, without the control characters that put it in place.
  static std::string text(unsigned long long vectors, double seconds);

 private:
  using Clock = std::chrono::steady_clock;
  bool on_;
  unsigned long long vectors_ = 0;
  Clock::time_point start_;
};

#endif
