#ifndef VELMAR_ASSIGNMENTS_H
#define VELMAR_ASSIGNMENTS_H

#include <iosfwd>
#include <string>

class KnownClasses;

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

  // savePath/PREFIX_assignments.csv
  static std::string fileName();
  static void write(std::ostream& out, const KnownClasses* classes = nullptr);
  // One field as it stands in a line: quoted only when it must be.
  static std::string csvField(const std::string& text);
};

// Announces and writes the file; a failure ends the run like every other output file.
void saveAssignments(const KnownClasses* classes = nullptr);

#endif
