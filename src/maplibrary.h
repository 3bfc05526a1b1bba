#ifndef VELMAR_MAPLIBRARY_H
#define VELMAR_MAPLIBRARY_H

#include <iosfwd>
#include <string>

class NeuronLayer;

// The three map-library files of one map, plain keyword records with numbers
// to ten significant digits: the map description (size, training settings,
// the names of the other files), the weight vectors, one line per unit, and the
// unit descriptions, one block per unit (error, vectors, child map, labels).
class MapLibrary {
 public:
  MapLibrary() = delete;

  static void writeMapDescription(std::ostream& out, const NeuronLayer& map);
  static void writeWeightVectors(std::ostream& out, const NeuronLayer& map);
  static void writeUnitDescriptions(std::ostream& out, const NeuronLayer& map);

 private:
  // Ten significant digits, the four comment lines (`firstPiece`, the version,
  // a common tail) and the grid size.
  static void writeHeader(std::ostream& out, const char* firstPiece, const NeuronLayer& map);
  // gid_level_parentColumn/parentRow_column/row: names a unit across the hierarchy.
  static std::string unitIdentifier(const NeuronLayer& map, int column, int row);
};

#endif
