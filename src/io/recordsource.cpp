#include "io/recordsource.h"

#include "io/inputfailure.h"

std::string inputName(const std::string& name) {
  return name == "-" ? std::string("standard input") : "input " + escapedInput(name);
}

std::string inputLine(const std::string& name, long long line) {
  return inputName(name) + " line " + std::to_string(line);
}
