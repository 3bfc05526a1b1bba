#ifndef VELMAR_OUTPUTFILE_H
#define VELMAR_OUTPUTFILE_H

#include <cstddef>
#include <cstdio>
#include <functional>
#include <iosfwd>
#include <string>

// One output file of a run, checked at every step: created or truncated with
// access mode 0664 (before the umask), every write, the flush and the close.
// Whatever fails ends the run with "KIND could not be opened" or "KIND could
// not be written" (KIND names the file, e.g. "HTML file"); the files written
// before stay on disk.
class OutputFile {
 public:
  OutputFile(const std::string& name, const char* kind);
  // Takes over a stream already open for writing (standard output, say):
  // checked and closed the same way.
  OutputFile(FILE* open, const char* kind);
  // Releases, unchecked, a file that close() never reached.
  ~OutputFile();

  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(const char* data, size_t size);
  void write(const std::string& text) { write(text.data(), text.size()); }
  // The same, but a failure only returns false, for a thread that must not
  // end the run itself: its caller then calls failWritten().
  bool tryWrite(const std::string& text) { return fwrite(text.data(), 1, text.size(), file) == text.size(); }
  // Ends the run with "KIND could not be written".
  [[noreturn]] void failWritten();
  // Flushes and closes; only now is it known that everything reached the file.
  void close();

 private:
  FILE* file;
  const char* kind;
};

// Writes one complete output file: announces "saving NAME", creates the file,
// lets `writeText` build its text on a fresh stream (default formatting),
// writes it, flushes and closes it. Any failure ends the run (see OutputFile).
void saveOutputFile(const std::string& name, const char* kind, const std::function<void(std::ostream&)>& writeText);

// The same, for a file that must never be seen incomplete under its name:
// the text goes to NAME.part in the same folder, which is flushed to the
// disk, closed and then renamed to NAME. A failure removes NAME.part and
// leaves an older NAME as it was; only a run killed while writing leaves
// NAME.part behind.
void saveOutputFileWhole(const std::string& name, const char* kind,
                         const std::function<void(std::ostream&)>& writeText);

// Ends the run with status 1 once standard output has failed (a console log on
// a full disk, say): a run whose report was lost must not count as a success.
// No message, since none could be shown. Call it after a flush.
void endRunIfConsoleFailed();

#endif
