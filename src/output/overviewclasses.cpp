#include "output/overviewclasses.h"

#include <algorithm>

#include "output/knownclasses.h"

namespace {

// Class colours, in the order of the named classes.
const char* const kPalette[] = {"#3b6fb6", "#e07b39", "#4a9e4f", "#c8413f", "#8c62b5", "#8a5a44",
                                "#d46fb0", "#a5a83b", "#2fa7b5", "#f2b134", "#5c3c92", "#7f9c2a"};
static_assert(sizeof kPalette / sizeof kPalette[0] == OverviewClasses::kNamed, "a colour per named class");
const char* kNoClassColour = "#bdbdbd";
const char* kFoldedColour = "#a8a196";  // every folded class: a neutral grey-brown, apart from "(none)"

}  // namespace

OverviewClasses::OverviewClasses(const KnownClasses& classes) : known_(classes) {
  const std::vector<std::string>& names = classes.names();
  const std::vector<long long>& sizes = classes.vectorsPerClass();
  std::vector<int> order(names.size());
  for (size_t c = 0; c < order.size(); c++) order[c] = static_cast<int>(c);
  if (order.size() > kNamed) {
    std::stable_sort(order.begin(), order.end(),
                     [&sizes](int a, int b) { return sizes[static_cast<size_t>(a)] > sizes[static_cast<size_t>(b)]; });
    folded_.assign(order.begin() + kNamed, order.end());
    order.resize(kNamed);
  }
  named_ = order;
  colours_.assign(names.size(), kFoldedColour);
  for (size_t place = 0; place < named_.size(); place++) {
    const size_t c = static_cast<size_t>(named_[place]);
    colours_[c] = names[c] == KnownClasses::kNone ? kNoClassColour : kPalette[place];
  }
}
