#include "base/failure.h"

#include <cstdlib>
#include <iostream>

namespace {

void exitWithFailure(const std::string&) { exit(1); }

FailHandler failHandler = exitWithFailure;

}  // namespace

void fail(const std::string& message) {
  std::cout << message << std::endl;
  failHandler(message);
  exit(1);
}

void failOutOfMemory() { fail("out of memory"); }

void setFailHandler(FailHandler handler) { failHandler = handler != nullptr ? handler : exitWithFailure; }
