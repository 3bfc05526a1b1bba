#include "settings/helptext.h"

#include <ostream>
#include <string>

#include "apply/mapcommand.h"
#include "config.h"
#include "settings/settingtable.h"

namespace {

std::string padded(const char* text, size_t width) {
  std::string s(text);
  return s + std::string(s.size() < width ? width - s.size() : 1, ' ');
}

}  // namespace

void printHelp(std::ostream& out) {
  out << "Usage: " VELMAR_NAME
         " propertyfile   train the map hierarchy and save it as the file says\n"
         "       " VELMAR_NAME
         " -v             print the version\n"
         "       " VELMAR_NAME
         " -h, --help     print this help\n"
         "       "
      << kMapUsage
      << "\n"
         "                             map the vectors of INPUT through a model saved by saveModel=true\n"
         "                             and write their assignments (CSV) to OUTPUT; \"-\" or left out:\n"
         "                             standard input and output; --threads 0 (the default): every core;\n"
         "                             --strict: refuse a value that is not a number instead of reading it as 0\n"
         "\n"
         "The property file holds one key=value pair per line: no blanks around \"=\", no comment\n"
         "or blank lines; a switch is on only for exactly \"true\". Slips (an unknown key, a number\n"
         "read as 0, ...) are warned of on standard error. Keys, defaults and meanings:\n";
  for (const Setting& s : settingTable()) {
    out << padded(s.key, 22) << padded(shownDefault(s).c_str(), 11) << s.help << "\n";
  }
}
