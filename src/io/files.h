#ifndef VELMAR_IO_FILES_H
#define VELMAR_IO_FILES_H

#include <cstdio>
#include <string>

// Opening files the way every reader and writer of a run does.

// Opens a file for reading; a folder counts as a file that cannot be opened.
// nullptr for a null name or a file that cannot be opened.
FILE* openForReading(const char* name);

// Creates or truncates an output file with access mode 0664 (before the
// umask); nullptr when it cannot be created.
FILE* createOutputFile(const std::string& name);

#endif
