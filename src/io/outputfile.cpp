#include "io/outputfile.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "base/failure.h"
#include "io/files.h"

OutputFile::OutputFile(const std::string& name, const char* inkind) : file(createOutputFile(name)), kind(inkind) {
  if (file == nullptr) {
    fail(std::string(kind) + " could not be opened");
  }
}

OutputFile::OutputFile(FILE* open, const char* inkind) : file(open), kind(inkind) {}

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

void saveOutputFileWhole(const std::string& name, const char* kind,
                         const std::function<void(std::ostream&)>& writeText) {
  std::cout << "saving " << name << std::endl;
  endRunIfConsoleFailed();
  std::ostringstream text;
  writeText(text);
  const std::string part = name + ".part";
  FILE* file = createOutputFile(part);
  if (file == nullptr) {
    fail(std::string(kind) + " could not be opened");
  }
  const std::string& whole = text.str();
  bool written = fwrite(whole.data(), 1, whole.size(), file) == whole.size();
  written = fflush(file) == 0 && written;
  written = fsync(fileno(file)) == 0 && written;
  written = fclose(file) == 0 && written;
  written = written && rename(part.c_str(), name.c_str()) == 0;
  if (!written) {
    unlink(part.c_str());
    fail(std::string(kind) + " could not be written");
  }
}

void endRunIfConsoleFailed() {
  if (!std::cout) {
    exit(1);
  }
}
