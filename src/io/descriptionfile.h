#ifndef VELMAR_IO_DESCRIPTIONFILE_H
#define VELMAR_IO_DESCRIPTIONFILE_H

#include <string>
#include <string_view>
#include <vector>

// The description file names the vector components, in one of two forms:
//   - four header lines (ignored), then one line per component with at least
//     three fields separated by single blanks; the second field is the name
//     (empty where two blanks follow the first field);
//   - a list: one name a line, the whole line (blanks included, a final
//     carriage return left out).
// A file whose first line begins with "$", or in which some line from the
// fifth on (of those that would hold the names wanted) holds three fields or
// more, has the header lines: a component line of fewer fields is then
// refused, never taken for a list. Any other file is a list. Lines after the
// names wanted are not looked at.

// The first `count` names of the file's text (count > 0), or with count 0
// every name it holds (empty lines at its end aside). Ends the run with one
// line, naming the file's line, at a component line of fewer than three
// fields or an empty line among a list's names, and when the file holds
// fewer than `count` names or, with count 0, none.
std::vector<std::string> descriptionNames(std::string_view text, int count);

#endif
