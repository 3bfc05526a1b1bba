#include "base/failure.h"

#include <cstdlib>
#include <iostream>

namespace {

void exitWithFailure(const std::string&) { exit(1); }

FailHandler failHandler = exitWithFailure;
std::ostream* failStream = &std::cout;
FailPrelude failPrelude = nullptr;

}  // namespace

void fail(const std::string& message) {
  if (failPrelude != nullptr) failPrelude();
  *failStream << message << std::endl;
  failHandler(message);
  exit(1);
}

void failOutOfMemory() { fail("out of memory"); }

void setFailStream(std::ostream* out) { failStream = out != nullptr ? out : &std::cout; }

void setFailPrelude(FailPrelude prelude) { failPrelude = prelude; }

void setFailHandler(FailHandler handler) { failHandler = handler != nullptr ? handler : exitWithFailure; }
