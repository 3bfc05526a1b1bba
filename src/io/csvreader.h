#ifndef VELMAR_IO_CSVREADER_H
#define VELMAR_IO_CSVREADER_H

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "io/fieldreader.h"
#include "io/record.h"

// How a table is laid out.
struct CsvOptions {
  char separator = ',';  // ',', ';' or a tab
  // The name of the identifier column. nullptr: the first column when its
  // header is empty (an index column, as data frames write one) or its value
  // in the first data row is neither a number nor empty; otherwise no
  // column, and the rows are numbered 1, 2, ... as their identifiers.
  const char* idColumn = nullptr;
  // False: a header row alone is a table of no rows (mapping new vectors),
  // not an error (training).
  bool rowsRequired = true;
};

// Reads a table of comma-separated values row by row: a header row naming
// the columns, then one vector per row. Fields may be quoted with double
// quotes, and a quoted field may hold separators, doubled quotes and line
// ends; lines end with LF or CR LF; a byte-order mark at the start is
// skipped. Every column but the identifier's holds numbers, read exactly as
// the input-vector reader reads them (decimalToFloat), blanks and tabs around
// a number allowed. The file is read in blocks (FieldReader) and a row
// without quotes is split in place, without copies.
//
// Anything else ends the run with one line naming the file, the line and the
// column (failInputAt): an empty file, a header row without data rows, a
// column without a name (but the first, see CsvOptions::idColumn), two
// columns of one name, an idColumn that names no column, a name or
// identifier that holds a NUL byte (it would be cut short where it is kept as
// a text), no column left for values, an empty line, a row with more or
// fewer fields than the header row, an empty value, a value that is not a
// number or not finite, a double quote within a field that is not quoted,
// text after a closing quote, a quoted field that is never closed.
class CsvReader {
 public:
  // Takes over `file` (open for reading; closed when the reader is
  // destroyed); `name` names it in messages. Reads the header row and the
  // first data row, which settle the columns.
  CsvReader(FILE* file, std::string name, const CsvOptions& options);

  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;

  // The number of value columns: every column but the identifier's.
  int components() const { return static_cast<int>(componentNames_.size()); }
  // The names of the value columns, in order.
  const std::vector<std::string>& componentNames() const { return componentNames_; }

  // False for a header row alone (allowed only without rowsRequired).
  bool hasRows() const { return !noRows_; }

  // The next data row as a dense record (the values in column order); false
  // after the last row.
  bool next(Record& record);

 private:
  void readHeader(const char* idColumn);
  void settleIdColumn();
  // The next row's fields into fields_; false at the end of the file.
  bool readRow();
  // Splits the row that starts with `line` into fields_.
  void splitRow(std::string_view line);
  // Reads a row of plain decimals (and an unquoted identifier) straight into
  // values_ and rowId, without splitting it first; false, with nothing
  // decided, for any other row: the split and its checks then read it.
  bool readPlainRow(std::string_view line, std::string_view& rowId);
  // The next line of the file without its LF; false when no line is left.
  bool readLine(std::string_view& line);
  // Splits a row in place; false, with nothing split, when a field is quoted.
  bool splitPlain(std::string_view line);
  // Splits a row with quoted fields into rowText_, reading on while a quoted
  // field runs over the line end.
  void splitQuoted(std::string_view line);
  // Appends the quoted field at `rest` (after its opening quote) to rowText_;
  // returns what follows its closing quote.
  std::string_view readQuoted(std::string_view rest, long column);
  // The values of the row split into fields_ into values_, its identifier
  // returned (empty without an identifier column); or the end of the run.
  std::string_view readSplitRow();
  // The value of field `column`, or the end of the run.
  float valueAt(int column) const;
  [[noreturn]] void refuseValue(int column) const;
  // Field `column` as an identifier or a name: any text, but no stray quote.
  std::string_view textAt(int column) const;
  [[noreturn]] void failAt(long line, long column, const std::string& what) const;

  FieldReader reader_;
  std::string name_;
  char separator_;
  bool atStart_ = true;     // the byte-order mark is looked for in the first line
  long lineNumber_ = 0;     // lines read so far
  long rowLine_ = 0;        // the line on which the current row starts
  long rowNumber_ = 0;      // data rows handed out so far
  bool pending_ = false;    // the first data row is read but not handed out
  bool noRows_ = false;     // a header row alone, where that is allowed
  bool rowQuoted_ = false;  // the current row was split by splitQuoted
  int idColumn_ = -1;       // -1: none
  std::vector<std::string_view> fields_;
  std::string rowText_;              // fields of a quoted row, each followed by a NUL byte
  std::vector<size_t> fieldStarts_;  // where they start in rowText_
  std::vector<std::string> columnNames_;
  std::vector<std::string> componentNames_;
  std::vector<float> values_;
  std::string rowId_;  // the row number, when rows are numbered
};

#endif
