#include "io/filenames.h"

std::string mapFileStem(std::string_view prefix, int gid, int level, int column, int row) {
  std::string stem(prefix);
  for (int number : {gid, level, column, row}) {
    stem += "_";
    stem += std::to_string(number);
  }
  return stem;
}

std::string mapFileName(std::string_view folder, std::string_view prefix, int gid, int level, int column, int row,
                        std::string_view extension) {
  std::string name(folder);
  name += "/";
  name += mapFileStem(prefix, gid, level, column, row);
  name += ".";
  name += extension;
  return name;
}

std::string runFileName(std::string_view folder, std::string_view prefix, std::string_view what) {
  std::string name(folder);
  name += "/";
  name += prefix;
  name += "_";
  name += what;
  return name;
}
