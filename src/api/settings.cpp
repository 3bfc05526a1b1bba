// The table of settings and the reading of property pairs, for library callers.

#include <algorithm>

#include "api/callguard.h"
#include "api/velmar.h"
#include "globals.h"
#include "settings/propertyfile.h"
#include "settings/settingtable.h"

namespace velmar {

namespace {

const char* kindName(SettingKind kind) {
  switch (kind) {
    case SettingKind::Integer:
      return "integer";
    case SettingKind::Real:
      return "real";
    case SettingKind::Seed:
      return "seed";
    case SettingKind::Switch:
      return "switch";
    case SettingKind::Normalisation:
      return "normalisation";
    case SettingKind::Text:
      return "text";
  }
  return "";
}

}  // namespace

std::vector<SettingInfo> settingTable() {
  std::vector<SettingInfo> table;
  for (const Setting& s : ::settingTable()) {
    table.push_back({s.key, kindName(s.kind), shownDefault(s), s.help});
  }
  return table;
}

std::vector<std::pair<std::string, std::optional<std::string>>> readSettings(const Settings& pairs) {
  CallGuard guard(nullptr);
  std::vector<PropertyPair> kept;
  long line = 1;
  for (const auto& [key, value] : pairs) {
    kept.push_back({std::string_view(Globals::keepText(key), key.size()),
                    std::string_view(Globals::keepText(value), value.size()), line});
    line += std::count(key.begin(), key.end(), '\n') + 1;
  }
  applyPropertyPairs(kept);
  std::vector<std::pair<std::string, std::optional<std::string>>> values;
  for (const Setting& s : ::settingTable()) {
    values.emplace_back(s.key, currentValue(s));
  }
  return values;
}

Settings readPropertyFile(const std::string& path) {
  CallGuard guard(nullptr);
  std::string_view tail;
  long tailLine = 0;
  Settings pairs;
  for (const PropertyPair& p : readPropertyPairs(path.c_str(), &tail, &tailLine)) {
    pairs.emplace_back(std::string(p.key), std::string(p.value));
  }
  return pairs;
}

}  // namespace velmar
