#include "output/knownclasses.h"

#include <string_view>

#include "dataitem.h"

KnownClasses::KnownClasses(const std::vector<ClassEntry>& entries, Data_Vector* items) {
  std::unordered_map<std::string_view, size_t> entryOf;
  entryOf.reserve(entries.size());
  for (size_t e = 0; e < entries.size(); e++) entryOf.emplace(entries[e].id, e);

  // Each vector's entry (or none), then the classes of the entries used, in file order.
  std::vector<long long> entryOfItem(static_cast<size_t>(items->size()), -1);
  std::vector<bool> used(entries.size(), false);
  bool someWithout = false;
  for (int k = 0; k < items->size(); k++) {
    auto found = entryOf.find(items->elementAt(k)->getId());
    if (found == entryOf.end()) {
      someWithout = true;
      without_++;
      continue;
    }
    entryOfItem[static_cast<size_t>(k)] = static_cast<long long>(found->second);
    used[found->second] = true;
  }
  std::unordered_map<std::string_view, int> indexOfName;
  std::vector<int> classOfEntry(entries.size(), -1);
  for (size_t e = 0; e < entries.size(); e++) {
    if (!used[e]) {
      unknown_++;
      continue;
    }
    auto [it, added] = indexOfName.emplace(entries[e].className, static_cast<int>(names_.size()));
    if (added) names_.push_back(entries[e].className);
    classOfEntry[e] = it->second;
  }
  given_ = static_cast<int>(names_.size());
  // A file may name "(none)" itself: vectors without a class join it.
  auto named = indexOfName.find(kNone);
  const int none = named != indexOfName.end() ? named->second : static_cast<int>(names_.size());
  if (someWithout && named == indexOfName.end()) names_.push_back(kNone);
  classOf_.reserve(static_cast<size_t>(items->size()));
  sizes_.assign(names_.size(), 0);
  for (int k = 0; k < items->size(); k++) {
    const long long e = entryOfItem[static_cast<size_t>(k)];
    const int c = e < 0 ? none : classOfEntry[static_cast<size_t>(e)];
    classOf_[items->elementAt(k)] = c;
    sizes_[static_cast<size_t>(c)]++;
  }
}

std::unique_ptr<KnownClasses> KnownClasses::ofEachVector(const std::vector<std::string>& classOfEach,
                                                         Data_Vector* items) {
  std::unique_ptr<KnownClasses> known(new KnownClasses());
  std::unordered_map<std::string_view, int> indexOfName;
  known->classOf_.reserve(static_cast<size_t>(items->size()));
  for (int k = 0; k < items->size(); k++) {
    const std::string& name = classOfEach[static_cast<size_t>(k)];
    auto [it, added] = indexOfName.emplace(name, static_cast<int>(known->names_.size()));
    if (added) {
      known->names_.push_back(name);
      known->sizes_.push_back(0);
    }
    known->classOf_[items->elementAt(k)] = it->second;
    known->sizes_[static_cast<size_t>(it->second)]++;
  }
  known->given_ = static_cast<int>(known->names_.size());
  return known;
}

int KnownClasses::classOf(const DataItem* item) const {
  auto found = classOf_.find(item);
  return found == classOf_.end() ? 0 : found->second;
}
