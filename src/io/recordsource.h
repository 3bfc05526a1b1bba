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
  // end of the input. A record that cannot be read ends the run (fail) with
  // one line that names it.
  virtual bool next(std::string& id, float* values) = 0;
};

#endif
