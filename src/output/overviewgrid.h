#ifndef VELMAR_OUTPUT_OVERVIEWGRID_H
#define VELMAR_OUTPUT_OVERVIEWGRID_H

#include <iosfwd>
#include <string>

class NeuronLayer;
class OverviewClasses;
struct OutputSettings;
struct MapFigures;

// One map on the overview page, drawn as a grid: a unit's square is shaded by
// the number of vectors it holds and shows that number and its first labels
// (the tooltip has its error, all labels and its first vectors); the bars
// between neighbours are shaded by the squared distance of their weights; an
// expanded unit carries its child map's number and links to its section.
// Above the grid: the menu that re-shades it by one component and the legends.
// With known classes (and the map's figures), each unit that holds vectors
// also gets a bar in its majority class's colour, as long as the unit is
// pure (its share of vectors in that class), and its class counts in the
// tooltip. A unit's labels are its first `shown.labelsNum` (LABELS_NUM).

// The id of a map's section: "map-GID".
std::string overviewSectionId(int gid);

void writeMapGrid(std::ostream& out, const OutputSettings& shown, const NeuronLayer& map,
                  const MapFigures* figures = nullptr, const OverviewClasses* classes = nullptr);

#endif
