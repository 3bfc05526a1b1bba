#ifndef VELMAR_HELPTEXT_H
#define VELMAR_HELPTEXT_H

#include <iosfwd>

// The answer to "-h" and "--help": the command forms, then every property key
// with its default and what it sets, one line each, each line starting with
// the key.
void printHelp(std::ostream& out);

#endif
