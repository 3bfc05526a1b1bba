#ifndef VELMAR_IO_RECORDSOURCE_H
#define VELMAR_IO_RECORDSOURCE_H

#include <string>

// Where the vectors to be mapped come from, one record at a time: its
// identifier and its component values as read, before any normalisation.
// A reader of another input format plugs into the map command here.
class RecordSource {
 public:
  virtual ~RecordSource() = default;

  // Reads the next record: its identifier into `id`, its values into
  // `values` (room for the model's component count). Returns false at the
  // end of the input, and at a record that cannot be read: failure() then
  // holds the one line that names it, so that the caller can first finish
  // the records before it, then end the run with that line.
  virtual bool next(std::string& id, float* values) = 0;
  // Why next() returned false: "" at the end of the input.
  virtual const std::string& failure() const = 0;

  // The line on which the record last read starts, and how a message names
  // a line of this input (see inputLine).
  virtual long long lastLine() const = 0;
  virtual std::string where(long long line) const = 0;

  // What to warn about once the whole input has been read ("": nothing).
  virtual std::string slips() const { return ""; }
};

// "input NAME line N", or "standard input line N" for the name "-": how the
// map command's messages name a line of its input.
std::string inputLine(const std::string& name, long long line);
// "input NAME" or "standard input".
std::string inputName(const std::string& name);

#endif
