#ifndef VELMAR_IO_VECTORLINES_H
#define VELMAR_IO_VECTORLINES_H

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "io/recordsource.h"

// The input-vector format, read for mapping a block of whole lines at a
// time, so that the lines of a block can be parsed side by side.
//
// An input that starts with "$" starts with the four header lines, read as
// the trainer reads them: its component count (line 4) must be the model's,
// and at most its vector count (line 2) of records is read, what follows is
// ignored; fewer records are fine (the first piece of a cut file). Any other
// input is bare record lines, so every piece of a file cut at line ends
// reads as well. A record line is one value per component, each followed by
// exactly one blank, then the identifier: the rest of the line, blanks
// included. Values are converted as the trainer converts them.
class VectorLines : public RecordSource {
 public:
  // Takes over `in` (open for reading) and closes it when destroyed; `name`
  // ("-" for standard input) is used in messages only.
  VectorLines(FILE* in, const std::string& name, int components);
  ~VectorLines() override;

  VectorLines(const VectorLines&) = delete;
  VectorLines& operator=(const VectorLines&) = delete;

  // Reads the header lines, if any; ends the run when they are incomplete
  // or announce another component count. Called by the first read if not before.
  void start();

  // One record line; it ends with a NUL byte (at text[length]) in place of
  // its line end.
  struct Line {
    char* text;
    size_t length;
  };
  // The lines of a block and the bytes they lie in, which the block owns:
  // one block can be read while the lines of another are still in use.
  struct Block {
    std::vector<Line> lines;
    long long firstLine = 0;  // the input's line number of lines[0], from 1
    std::vector<char> bytes;
  };
  // Reads the next lines into `block`, whole, about `bytes` of them (more
  // when one line is longer). False when none is left, or when the input
  // could not be read (readFailed() tells; the caller ends the run, so that
  // a read on another thread never ends it).
  bool nextBlock(Block& block, size_t bytes);
  bool readFailed() const { return readFailed_; }
  // "input NAME could not be read" (or "standard input ...").
  std::string readFailure() const;

  // Parses one record line into `values` and `id` (a view into the line).
  // False, with the reason in `why`, when the line is not a record of
  // `components` finite values and an identifier. Changes nothing, so lines
  // can be parsed on several threads at once.
  static bool parse(const Line& line, int components, float* values, std::string_view& id, std::string& why);

  // "input NAME line N", or "standard input line N": how messages name a line.
  std::string where(long long line) const;

  bool next(std::string& id, float* values) override;

 private:
  FILE* in_;
  std::string name_;
  int components_;
  bool started_ = false;
  long long remaining_ = -1;  // records left to read by the header's count; -1: no header
  long long nextLine_ = 1;    // the line number of the next line to hand out
  std::string carry_;         // bytes read but not handed out yet: the start of a line
  bool atEnd_ = false;
  bool readFailed_ = false;
  Block single_;  // what next() reads from
  size_t singleAt_ = 0;

  // "input NAME", or "standard input".
  std::string input() const;
  // Reads up to `size` more bytes to `to`; 0 at the end of the input.
  size_t read(char* to, size_t size);
  // The header's field reads: everything up to `delimiter`, which is
  // consumed; false when the input ends first.
  bool field(char delimiter, std::string& text);
};

#endif
