#include "base/interrupt.h"

#include <atomic>

#include "base/failure.h"

namespace {

std::atomic<bool> stopAsked{false};

}  // namespace

void requestStop() { stopAsked.store(true, std::memory_order_relaxed); }

void clearStopRequest() { stopAsked.store(false, std::memory_order_relaxed); }

bool stopRequested() { return stopAsked.load(std::memory_order_relaxed); }

void failIfStopRequested() {
  if (stopRequested()) {
    fail(kStoppedMessage);
  }
}
