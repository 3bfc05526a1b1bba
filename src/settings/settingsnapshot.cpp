#include "settings/settingsnapshot.h"

#include "globals.h"
#include "settings/settingtable.h"

SettingsSnapshot SettingsSnapshot::take() {
  SettingsSnapshot snapshot;
  for (const Setting& s : settingTable()) {
    Value v{};
    switch (s.kind) {
      case SettingKind::Integer:
      case SettingKind::Normalisation:
        v.integer = *static_cast<const int*>(s.target);
        break;
      case SettingKind::Seed:
        v.seed = *static_cast<const unsigned int*>(s.target);
        break;
      case SettingKind::Real:
        v.real = *static_cast<const float*>(s.target);
        break;
      case SettingKind::Switch:
        v.flag = *static_cast<const bool*>(s.target);
        break;
      case SettingKind::Text:
        v.text = *static_cast<const char* const*>(s.target);
        break;
    }
    snapshot.values_.push_back(v);
  }
  snapshot.seedGiven_ = Globals::randomSeedGiven;
  return snapshot;
}

void SettingsSnapshot::restore() const {
  size_t k = 0;
  for (const Setting& s : settingTable()) {
    const Value& v = values_[k++];
    switch (s.kind) {
      case SettingKind::Integer:
      case SettingKind::Normalisation:
        *static_cast<int*>(s.target) = v.integer;
        break;
      case SettingKind::Seed:
        *static_cast<unsigned int*>(s.target) = v.seed;
        break;
      case SettingKind::Real:
        *static_cast<float*>(s.target) = v.real;
        break;
      case SettingKind::Switch:
        *static_cast<bool*>(s.target) = v.flag;
        break;
      case SettingKind::Text:
        *static_cast<const char**>(s.target) = v.text;
        break;
    }
  }
  Globals::randomSeedGiven = seedGiven_;
}
