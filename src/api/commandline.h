#ifndef VELMAR_API_COMMANDLINE_H
#define VELMAR_API_COMMANDLINE_H

// The command line's own pieces: its usage line and its property-file
// reader. velmar::runCommandLine (api/velmar.h) runs them; tests and fuzz
// targets call them directly.

// Writes "Usage: velmar propertyfile" and a line end to standard output.
void usage();

// Reads the property file, applying and echoing every pair; a file that
// cannot be opened ends the run.
void getProps(const char* propFileName);

// Applies one key and value as a property line does.
void setProp(const char* prop, const char* val);

#endif
