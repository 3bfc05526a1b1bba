#ifndef VELMAR_OUTPUT_OVERVIEWCLASSES_H
#define VELMAR_OUTPUT_OVERVIEWCLASSES_H

#include <cstddef>
#include <string>
#include <vector>

class KnownClasses;

// The known classes as the overview page shows them: each class's colour and
// the classes its legend names. Up to kNamed classes, every class is named in
// its own order, coloured by its place in the palette ("(none)" grey). A
// collection of more classes would fill the screen with its legend and run
// out of colours that tell apart: the legend then names the kNamed largest
// (by vector count, the earlier of equals first), each in its own colour, and
// folds the rest behind a toggle, all shaded in one neutral colour, on the
// units' class bars too.
class OverviewClasses {
 public:
  static constexpr size_t kNamed = 12;

  explicit OverviewClasses(const KnownClasses& classes);

  const KnownClasses& known() const { return known_; }
  // The colour of class `index` (an index into known().names()).
  const std::string& colour(int index) const { return colours_[static_cast<size_t>(index)]; }
  // The classes the legend names, in its order.
  const std::vector<int>& named() const { return named_; }
  // The classes folded behind the toggle, largest first; empty up to kNamed classes.
  const std::vector<int>& folded() const { return folded_; }

 private:
  const KnownClasses& known_;
  std::vector<std::string> colours_;
  std::vector<int> named_;
  std::vector<int> folded_;
};

#endif
