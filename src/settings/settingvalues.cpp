#include "settings/settingvalues.h"

#include "globals.h"
#include "output/markup.h"
#include "settings/settingtable.h"

bool inRunRecord(const Setting& s) { return s.target != &Globals::quiet || Globals::quiet; }

JsonMembers settingValues() {
  JsonMembers values;
  for (const Setting& s : settingTable()) {
    if (!inRunRecord(s)) continue;
    std::string value;
    switch (s.kind) {
      case SettingKind::Integer:
        value = std::to_string(*static_cast<const int*>(s.target));
        break;
      case SettingKind::Real:
        value = jsonFloat(*static_cast<const float*>(s.target));
        break;
      case SettingKind::Seed:
        value = Globals::randomSeedGiven ? std::to_string(*static_cast<const unsigned int*>(s.target)) : "null";
        break;
      case SettingKind::Switch:
        value = *static_cast<const bool*>(s.target) ? "true" : "false";
        break;
      case SettingKind::Normalisation: {
        const int k = *static_cast<const int*>(s.target);
        value = jsonText(k >= 0 && k < 3 ? kNormalisationNames[k] : "");
        break;
      }
      case SettingKind::Text: {
        const char* text = *static_cast<const char* const*>(s.target);
        value = text == nullptr ? "null" : jsonText(text);
        break;
      }
    }
    values.emplace_back(s.key, value);
  }
  return values;
}
