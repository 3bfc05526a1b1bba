#ifndef VELMAR_OUTPUT_SUMMARY_H
#define VELMAR_OUTPUT_SUMMARY_H

#include <iosfwd>
#include <string>
#include <utility>
#include <vector>

#include "output/figures.h"

class KnownClasses;
struct OutputSettings;

// Names and values of a JSON object, each value already JSON text.
using JsonMembers = std::vector<std::pair<std::string, std::string>>;

// The run's figures as one JSON object, for scripts that compare runs:
//   "settings":  every setting of the run with its value (given as `settings`);
//   "hierarchy": levels, maps, units, leafUnits, vectors, meanQuantizationError,
//                explainedVariance, trainingSeconds, mqe0 and, with classes,
//                purity, adjustedRandIndex (of the leaf units), byLevel (each
//                level's partition: level, clusters, adjustedRandIndex),
//                classes (name and vectors of each) and unknownIdentifiers;
//   "maps":      one object per map in map-number order: map, level, parentMap
//                (null for the first layer), parentColumn, parentRow, columns,
//                rows, vectors, units, emptyUnits, meanQuantizationError,
//                meanSquaredError, topographicError, explainedVariance,
//                errorBound, errorReached and, with classes, purity.
// Numbers have the digits that give their float back; undefined figures are null.
class Summary {
 public:
  Summary() = delete;

  // savePath/PREFIX_summary.json
  static std::string fileName(const OutputSettings& shown);
  static void write(std::ostream& out, const RunFigures& figures, const KnownClasses* classes,
                    const JsonMembers& settings);
};

// Announces and writes the file; a failure ends the run like every other output file.
void saveSummary(const OutputSettings& shown, const RunFigures& figures, const KnownClasses* classes,
                 const JsonMembers& settings);

#endif
