#ifndef VELMAR_IO_FILES_H
#define VELMAR_IO_FILES_H

#include <cstdio>
#include <string>

// Opening files the way every reader and writer of a run does, and saying
// why a file or folder a setting names cannot be used.

// Opens a file for reading; a folder counts as a file that cannot be opened.
// nullptr for a null name or a file that cannot be opened.
FILE* openForReading(const char* name);

// Creates or truncates an output file with access mode 0664 (before the
// umask); nullptr when it cannot be created.
FILE* createOutputFile(const std::string& name);

// Appends every byte of `file` to `text` and closes the file; false when
// reading failed.
bool readWholeFile(FILE* file, std::string& text);

// Why the file `name` (not null) cannot be read, for a message that names
// the setting before it: "data.vec: there is no such file (looked for as
// /home/u/run/data.vec: a relative name is taken from the folder velmar was
// started in)". Control characters of the name show as "?"; a final carriage
// return is left out and noted.
std::string whyNotReadable(const char* name);

// "" when files can be created in the folder `name` (not null; output file
// names are `name` + "/" + file, so the empty name is the root folder);
// otherwise why not, said as whyNotReadable says it.
std::string whyNoOutputFolder(const char* name);

#endif
