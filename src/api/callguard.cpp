#include "api/callguard.h"

#include <iostream>
#include <string>

#include "api/velmar.h"
#include "base/failure.h"
#include "base/interrupt.h"
#include "globals.h"
#include "settings/settingtable.h"

namespace {

std::mutex& processLock() {
  static std::mutex lock;
  return lock;
}

// Accepts and drops everything written to it.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

NullBuffer& nullBuffer() {
  static NullBuffer buffer;
  return buffer;
}

std::ostream& nullStream() {
  static std::ostream stream(&nullBuffer());
  return stream;
}

[[noreturn]] void throwFailure(const std::string& message) {
  if (stopRequested() && message == kStoppedMessage) {
    throw velmar::Stopped(message);
  }
  throw velmar::Error(message);
}

}  // namespace

CallGuard::CallGuard(std::ostream* console)
    : lock_(processLock()),
      coutBuffer_(std::cout.rdbuf(console != nullptr ? console->rdbuf() : &nullBuffer())),
      newHandler_(std::set_new_handler(failOutOfMemory)) {
  std::cout.clear();
  setFailHandler(throwFailure);
  setFailStream(&nullStream());
  startFresh();
}

CallGuard::~CallGuard() {
  startFresh();
  std::cout.flush();
  std::cout.rdbuf(coutBuffer_);
  std::cout.clear();
  setFailHandler(nullptr);
  setFailStream(nullptr);
  std::set_new_handler(newHandler_);
}

void startFresh() {
  Globals::releaseRun();
  restoreDefaultSettings();
  Globals::vectorlength = 0;
  Globals::numofallvecs = 0;
  Globals::HTML_GID = 0;
  Globals::isTrained = false;
  Globals::trainingTime = 0.0f;
  Globals::setRandom(1);  // an unseeded process draws as if seeded with 1
  clearStopRequest();
}
