#include "base/warning.h"

#include <cstdio>

#include "base/statusline.h"
#include "config.h"

namespace {

void writeToStandardError(const std::string& message) {
  statusline::erase();
  const std::string line = VELMAR_NAME ": warning: " + message + "\n";
  fwrite(line.data(), 1, line.size(), stderr);
  fflush(stderr);
}

WarnHandler warnHandler = writeToStandardError;

}  // namespace

void warn(const std::string& message) { warnHandler(message); }

void setWarnHandler(WarnHandler handler) { warnHandler = handler != nullptr ? handler : writeToStandardError; }
