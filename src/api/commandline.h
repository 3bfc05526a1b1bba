#ifndef VELMAR_API_COMMANDLINE_H
#define VELMAR_API_COMMANDLINE_H

// The command line's usage line; velmar::runCommandLine (api/velmar.h) runs
// the command line, with the property reader of settings/propertyfile.h and
// the run sequence of api/runsequence.h.

// Writes "Usage: velmar propertyfile" and a line end to standard output.
void usage();

#endif
