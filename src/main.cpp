// The entry point of the command line; everything it does is in the library
// (api/velmar.h), which the Python module, the tests and the fuzz targets use too.

#include "api/velmar.h"

int main(int argc, char** argv) { return velmar::runCommandLine(argc, argv); }
