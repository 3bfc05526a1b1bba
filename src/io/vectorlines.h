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
// included; an empty one (or a lone CR) is no identifier, and one that holds
// a NUL byte is refused rather than cut short.
//
// Values are converted as the trainer converts them, leniently: a value that
// is not a number reads as 0, one with text after its number as that number
// ("1x" as 1), so that mapping agrees with training byte for byte. Such
// values are counted, and the count and the first of them make one warning
// for the whole input (slips()); `strict` refuses the first one instead.
class VectorLines : public RecordSource {
 public:
  // Takes over `in` (open for reading) and closes it when destroyed; `name`
  // ("-" for standard input) is used in messages only.
  VectorLines(FILE* in, const std::string& name, int components, bool strict = false);
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

  // Values that are not numbers, read as the trainer reads them: how many,
  // and the first of them (its line, its 1-based component, its text and
  // the value it was read as).
  struct Lenient {
    long long count = 0;
    long long line = 0;
    int component = 0;
    std::string text;
    float value = 0.0f;
    // Counts in those of another part of the input; the first is the one on
    // the earliest line.
    void add(const Lenient& other);
  };

  // Parses one record line into `values` and `id` (a view into the line),
  // adding its values that are not numbers to `lenient` (as on line `line`).
  // False, with the reason in `why`, when the line is not a record of
  // `components` finite values and an identifier, or, when `strict`, holds a
  // value that is not a number; `why` then follows where(line) in a message
  // (failureAt). Changes nothing else, so lines can be parsed on several
  // threads at once.
  static bool parse(const Line& line, long long lineNumber, int components, bool strict, float* values,
                    std::string_view& id, Lenient& lenient, std::string& why);

  // "input NAME line N", or "standard input line N": how messages name a line.
  std::string where(long long line) const override;
  // The message for line `line` that parse() refused with `why`.
  std::string failureAt(long long line, const std::string& why) const;

  bool strict() const { return strict_; }
  // Counts in the values that were read leniently in a block.
  void addLenient(const Lenient& block) { lenient_.add(block); }
  // The warning about them, once the input has been read: "" when there were none.
  std::string slips() const override;

  bool next(std::string& id, float* values) override;
  const std::string& failure() const override { return failure_; }
  long long lastLine() const override { return lastLine_; }

 private:
  FILE* in_;
  std::string name_;
  int components_;
  bool strict_;
  Lenient lenient_;
  std::string failure_;     // why next() could not read a record
  long long lastLine_ = 0;  // the line of the record next() read last
  bool started_ = false;
  long long remaining_ = -1;  // records left to read by the header's count; -1: no header
  long long nextLine_ = 1;    // the line number of the next line to hand out
  std::string carry_;         // bytes read but not handed out yet: the start of a line
  bool atEnd_ = false;
  bool readFailed_ = false;
  Block single_;  // what next() reads from
  size_t singleAt_ = 0;

  // Reads up to `size` more bytes to `to`; 0 at the end of the input.
  size_t read(char* to, size_t size);
  // The header's field reads: everything up to `delimiter`, which is
  // consumed; false when the input ends first.
  bool field(char delimiter, std::string& text);
};

#endif
