#ifndef VELMAR_IO_INPUTFAILURE_H
#define VELMAR_IO_INPUTFAILURE_H

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

// How the readers of data files report bad input: one line that names the
// file, the line and, where there is one, the column, says what is wrong and
// ends with "(check inputfile)"; then the run ends (fail). For example
//   inputfile iris.csv, line 7, column 3 (petal_length): "1,4" is not a number (check inputfile)

// `column` 0 leaves the column out; `columnName`, if not empty, follows the
// column number in parentheses.
[[noreturn]] void failInputAt(const std::string& file, long line, long column, std::string_view columnName,
                              const std::string& what);

// Runs read() so that bad input it meets does not end the run: where
// failInputAt would, on this thread, the message lands in `why` and false is
// returned. For a caller that must finish what came before the bad input
// (the map command writes the lines of the vectors before it) and then end
// the run with that message. The reader is left where it stopped and must
// not be read on. Other failures (out of memory, say) still end the run.
template <class Read>
bool readCatchingBadInput(Read&& read, std::string& why);

// A piece of the input as a message shows it: in double quotes, control
// characters escaped (see escapedInput), cut after 40 bytes of the input
// with "..." when longer.
std::string shownInput(std::string_view text);

// A name, identifier or file name as a message shows it, so that the
// message stays one line: control characters written as \n, \r, \t or \xNN
// (a NUL as \x00), every other byte as it is; cut after `most` bytes of the
// input with "..." when longer.
std::string escapedInput(std::string_view text, size_t most = std::string_view::npos);

namespace inputfailure {

// What failInputAt throws while a catch is open on its thread.
struct BadInput {
  std::string message;
};

// Open while it exists; catches may nest.
class CatchOpen {
 public:
  CatchOpen();
  ~CatchOpen();
  CatchOpen(const CatchOpen&) = delete;
  CatchOpen& operator=(const CatchOpen&) = delete;
};

}  // namespace inputfailure

template <class Read>
bool readCatchingBadInput(Read&& read, std::string& why) {
  try {
    inputfailure::CatchOpen open;
    read();
    return true;
  } catch (inputfailure::BadInput& bad) {
    why = std::move(bad.message);
    return false;
  }
}

#endif
