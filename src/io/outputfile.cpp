#include "io/outputfile.h"

#include <cstdlib>
#include <iostream>
#include <sstream>

#include "base/failure.h"
#include "io/files.h"

OutputFile::OutputFile(const std::string& name, const char* inkind)
    : file(createOutputFile(name)), kind(inkind) {
  if (file == nullptr) {
    fail(std::string(kind) + " could not be opened");
  }
}

OutputFile::~OutputFile() {
  if (file != nullptr) {
    fclose(file);
  }
}

void OutputFile::write(const char* data, size_t size) {
  // The text is buffered: a full disk shows here only once a buffer's worth
  // has gone out, and at the latest in close().
  if (fwrite(data, 1, size, file) != size) {
    failWritten();
  }
}

void OutputFile::close() {
  const bool flushed = fflush(file) == 0;
  const bool closed = fclose(file) == 0;
  file = nullptr;
  if (!flushed || !closed) {
    fail(std::string(kind) + " could not be written");
  }
}

void OutputFile::failWritten() {
  fclose(file);  // released now: the run ends with this error, not another one at exit
  file = nullptr;
  fail(std::string(kind) + " could not be written");
}

void saveOutputFile(const std::string& name, const char* kind, const std::function<void(std::ostream&)>& writeText) {
  std::cout << "saving " << name << std::endl;
  endRunIfConsoleFailed();
  OutputFile file(name, kind);
  std::ostringstream text;
  writeText(text);
  file.write(text.str());
  file.close();
}

void endRunIfConsoleFailed() {
  if (!std::cout) {
    exit(1);
  }
}
