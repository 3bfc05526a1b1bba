#ifndef VELMAR_SETTINGS_SETTINGSNAPSHOT_H
#define VELMAR_SETTINGS_SETTINGSNAPSHOT_H

#include <vector>

// The value of every setting of the table at one moment, and whether the
// random sequence was seeded, to be put back later: a trained run set aside
// (Globals::detachRun) keeps the settings it was trained with while other
// runs use Globals. Text settings are kept as pointers: they stay valid as
// long as the texts they point to (the run's kept texts travel with it).
class SettingsSnapshot {
 public:
  // The settings as they are now.
  static SettingsSnapshot take();
  // Puts every setting back as it was taken; seeds nothing.
  void restore() const;

 private:
  union Value {
    int integer;
    unsigned int seed;
    float real;
    bool flag;
    const char* text;
  };
  std::vector<Value> values_;  // in the order of the table
  bool seedGiven_ = false;
};

#endif
