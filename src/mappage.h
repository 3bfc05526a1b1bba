#ifndef VELMAR_MAPPAGE_H
#define VELMAR_MAPPAGE_H

#include <iosfwd>
#include <string>

class NeuronLayer;

// PREFIX_gid_level_column_row: the stem of every per-map file name and of the
// links between pages (column and row of the parent unit).
std::string mapFileStem(int gid, int level, int column, int row);

// The HTML page of one map: its two error bounds and a table with one cell per
// unit (error, labels, links to the child map's page or to the data files of
// its vectors), with a link up to the parent map's page.
class MapPage {
 public:
  MapPage() = delete;

  static void write(std::ostream& out, const NeuronLayer& map);

 private:
  static void writeCell(std::ostream& out, const NeuronLayer& map, int xi, int yi);
};

#endif
