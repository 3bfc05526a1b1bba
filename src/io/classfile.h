#ifndef VELMAR_IO_CLASSFILE_H
#define VELMAR_IO_CLASSFILE_H

#include <string>
#include <string_view>
#include <vector>

// The known classes of input vectors: a CSV file (RFC 4180: fields separated
// by commas, a field holding a comma, a double quote or a line end put in
// double quotes with the quotes inside doubled; lines end with CR LF or LF)
// with a header line and then one line per vector: identifier, class.
// Empty lines are skipped, a byte-order mark before the header is ignored.

struct ClassEntry {
  std::string id;
  std::string className;
};

// The entries in file order, each identifier once (a repetition with the
// same class is dropped). A file that cannot be opened or read, an empty
// file, a line that is not two fields of well-formed CSV and an identifier
// given two different classes end the run with one line naming the file's
// line (status 1); a file that cannot be opened is also named on standard
// error. `header`, if given, gets the two fields of the header line.
std::vector<ClassEntry> readClassFile(const char* name, ClassEntry* header = nullptr);

// The same for the file's text, already read.
std::vector<ClassEntry> parseClassFile(std::string_view text, ClassEntry* header = nullptr);

#endif
