#include "io/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string_view>

#include "io/settingtext.h"

namespace {

// The whole name, control characters as "?", so a message stays one line.
std::string shownName(std::string_view name) {
  std::string shown(name);
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 32 || c == 127) {
      c = '?';
    }
  }
  return shown;
}

// Where a relative name was looked for; "" for an absolute one.
std::string whereLookedFor(std::string_view name) {
  if (!name.empty() && name[0] == '/') {
    return "";
  }
  const char* rule = "a relative name is taken from the folder velmar was started in";
  char folder[PATH_MAX];
  if (getcwd(folder, sizeof folder) == nullptr) {
    return std::string(" (") + rule + ")";
  }
  return " (looked for as " + shownName(std::string(folder) + "/" + std::string(name)) + ": " + rule + ")";
}

// Why stat found nothing at a name: `what` is "file" or "folder".
std::string missing(int error, const char* what) {
  switch (error) {
    case ENOENT:
      return std::string("there is no such ") + what;
    case ENOTDIR:
      return "a part of the path is not a folder";
    case EACCES:
      return "a folder on the way may not be entered";
    case ENAMETOOLONG:
      return "the name is too long";
    default:
      return strerror(error);
  }
}

// The name as shown, why, where it was looked for, and a carriage return noted.
std::string described(const char* name, const std::string& why) {
  const std::string_view shown = withoutCarriageReturn(name);
  return shownName(shown) + ": " + why + whereLookedFor(shown) + carriageReturnNote(name);
}

}  // namespace

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

bool readWholeFile(FILE* file, std::string& text) {
  char block[1 << 14];
  for (size_t n; (n = fread(block, 1, sizeof block, file)) > 0;) {
    text.append(block, n);
  }
  const bool failed = ferror(file) != 0;
  fclose(file);
  return !failed;
}

std::string whyNotReadable(const char* name) {
  struct stat info;
  if (stat(name, &info) != 0) {
    return described(name, missing(errno, "file"));
  }
  if (S_ISDIR(info.st_mode)) {
    return described(name, "it is a folder");
  }
  if (access(name, R_OK) != 0) {
    return described(name, "it may not be read");
  }
  return described(name, "it cannot be opened");
}

std::string whyNoOutputFolder(const char* name) {
  const char* folder = *name == '\0' ? "/" : name;
  struct stat info;
  if (stat(folder, &info) != 0) {
    return described(folder, missing(errno, "folder"));
  }
  if (!S_ISDIR(info.st_mode)) {
    return described(folder, "it is not a folder");
  }
  if (access(folder, W_OK | X_OK) != 0) {
    return described(folder, "files may not be created in it");
  }
  return "";
}
