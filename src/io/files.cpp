#include "io/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

FILE* openForReading(const char* name) {
  if (name == nullptr) {
    return nullptr;
  }
  FILE* file = fopen(name, "r");
  if (file == nullptr) {
    return nullptr;
  }
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode)) {
    fclose(file);
    return nullptr;
  }
  return file;
}

FILE* createOutputFile(const std::string& name) {
  int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0664);
  if (fd < 0) {
    return nullptr;
  }
  FILE* file = fdopen(fd, "w");
  if (file == nullptr) {
    close(fd);
  }
  return file;
}
