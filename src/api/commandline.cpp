// The command line: its arguments, then the property file and the run sequence.

#include "api/commandline.h"

#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <string_view>

#include "api/runsequence.h"
#include "api/velmar.h"
#include "apply/mapcommand.h"
#include "base/failure.h"
#include "config.h"
#include "globals.h"
#include "io/outputfile.h"
#include "settings/helptext.h"
#include "settings/propertyfile.h"

void usage() { std::cout << "Usage: " VELMAR_NAME " propertyfile" << std::endl; }

namespace velmar {

int runCommandLine(int argc, char** argv) {
  // Running out of memory (a grid of absurd size, say) ends the run like every
  // other failure: one line and exit status 1.
  std::set_new_handler(failOutOfMemory);
  if (argc >= 2 && strcmp(argv[1], "--map") == 0) {
    return runMapCommand(argc, argv);
  }
  if (argc != 2) {
    usage();
    return 1;
  }
  if (strcmp(argv[1], "-v") == 0) {
    std::cout << VELMAR_NAME ": Version " VELMAR_VERSION << std::endl;
    endRunIfConsoleFailed();
    return 0;
  }
  if (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0) {
    printHelp(std::cout);
    std::cout << std::flush;
    endRunIfConsoleFailed();
    return 0;
  }
  getProps(argv[1]);
  startIt();
  return 0;
}

}  // namespace velmar
