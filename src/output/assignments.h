#ifndef VELMAR_ASSIGNMENTS_H
#define VELMAR_ASSIGNMENTS_H

#include <iosfwd>
#include <string>
#include <string_view>

class KnownClasses;
struct OutputSettings;

// Every input vector's cluster, one CSV line per vector in input order: its
// identifier, the deepest map it reached (number and level), its unit there
// (column, row), its squared distance to that unit's weights (ten significant
// digits, enough to give the float back) and its path of units from the first
// layer down ("column,row/column,row/..."). Fields that hold a comma, a double
// quote, CR or LF are quoted with the quotes doubled; lines end with CR LF.
// With known classes a last column gives each vector's class.
class Assignments {
 public:
  Assignments() = delete;

  // The header line, CR LF included.
  static const char* const kHeader;

  // savePath/PREFIX_assignments.csv
  static std::string fileName(const OutputSettings& shown);
  static void write(std::ostream& out, const KnownClasses* classes = nullptr);
  // One field as it stands in a line: quoted only when it must be.
  static std::string csvField(const std::string& text);
  static void appendField(std::string& out, std::string_view text);
  // Appends one vector's line, CR LF included, with the whole identifier
  // (the readers refuse one that holds a NUL byte, which a vector's
  // identifier text would cut short).
  static void appendLine(std::string& out, std::string_view id, int gid, int level, int column, int row, float distance,
                         std::string_view path);

  // The same line with the part that depends only on the unit made once
  // per unit, by a writer of many lines: appendLine(out, id, gid, level,
  // column, row, distance, path) appends exactly what appendLine(out, id,
  // unitPart(gid, level, column, row), distance, path) does.
  static std::string unitPart(int gid, int level, int column, int row);
  static void appendLine(std::string& out, std::string_view id, std::string_view unitPart, float distance,
                         std::string_view path);
};

// Announces and writes the file; a failure ends the run like every other output file.
void saveAssignments(const OutputSettings& shown, const KnownClasses* classes = nullptr);

#endif
