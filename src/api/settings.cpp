// The table of settings and the reading of property pairs, for library callers.

#include "api/callguard.h"
#include "api/velmar.h"
#include "globals.h"
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
  for (const auto& [key, value] : pairs) {
    applySetting(Globals::keepText(key), Globals::keepText(value));
  }
  refuseSettingsOutOfRange();
  std::vector<std::pair<std::string, std::optional<std::string>>> values;
  for (const Setting& s : ::settingTable()) {
    values.emplace_back(s.key, currentValue(s));
  }
  return values;
}

}  // namespace velmar
