#ifndef VELMAR_OVERVIEW_H
#define VELMAR_OVERVIEW_H

#include <cstddef>
#include <iosfwd>
#include <string>

class KnownClasses;
struct OutputSettings;
struct RunFigures;

// One self-contained page that shows the whole trained hierarchy at a glance:
// what the run was, then every map as a collapsible section nested in its
// parent's, drawn as a grid of units shaded by how many vectors they hold,
// with the borders between neighbours shaded by how far apart their weights
// are, the units' first labels, and expanded units linked to their child
// map's section. A small inline script re-shades a map by one component's
// weight, from the weights embedded in the page (three significant digits).
class Overview {
 public:
  Overview() = delete;

  // Larger pages leave the component weights out (and say so).
  static const size_t kPageBudget = 20000000;

  // savePath/PREFIX_overview.html
  static std::string fileName(const OutputSettings& shown);
  // The run summary shows `shown`. With figures, it and each map's header
  // line show them; with classes as well, the classes (the largest of many,
  // the rest folded) and each unit's majority class and purity.
  static void write(std::ostream& out, const OutputSettings& shown, size_t pageBudget = kPageBudget,
                    const RunFigures* figures = nullptr, const KnownClasses* classes = nullptr);
};

// Announces and writes the page; a failure ends the run like every other output file.
void saveOverview(const OutputSettings& shown, const RunFigures* figures = nullptr,
                  const KnownClasses* classes = nullptr);

#endif
