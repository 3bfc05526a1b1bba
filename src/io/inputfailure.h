#ifndef VELMAR_IO_INPUTFAILURE_H
#define VELMAR_IO_INPUTFAILURE_H

#include <string>
#include <string_view>

// How the readers of data files report bad input: one line that names the
// file, the line and, where there is one, the column, says what is wrong and
// ends with "(check inputfile)"; then the run ends (fail). For example
//   inputfile iris.csv, line 7, column 3 (petal_length): "1,4" is not a number (check inputfile)

// `column` 0 leaves the column out; `columnName`, if not empty, follows the
// column number in parentheses.
[[noreturn]] void failInputAt(const std::string& file, long line, long column, std::string_view columnName,
                              const std::string& what);

// A piece of the input as a message shows it: in double quotes, control
// characters (line ends included, so the message stays one line) as "?",
// cut after 40 bytes with "..." when longer.
std::string shownInput(std::string_view text);

#endif
