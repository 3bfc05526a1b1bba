#ifndef VELMAR_SETTINGS_SETTINGTABLE_H
#define VELMAR_SETTINGS_SETTINGTABLE_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The one table of the settings a property file can set: for each key the
// member of Globals it sets, how its value is read, its default and a line of
// help. The defaults of the members, the property reader, the help (-h) and
// the harnesses that restore a fresh process's settings all come from it.

// The values of normInputVectors, in the order of the numbers they give (0, 1, 2).
inline constexpr const char* kNormalisationNames[] = {"NONE", "LENGTH", "INTERVAL"};

// How a property value is read. Every kind is lenient, as the C library's
// conversions are: a value that is not a number reads as 0.
enum class SettingKind {
  Integer,        // atoi: blanks, a sign, digits; values outside int are refused (they would wrap)
  Real,           // atof, rounded to float
  Seed,           // atol stored into 32 unsigned bits (negatives wrap), then seeds the random sequence
  Switch,         // on exactly for the four characters "true"
  Normalisation,  // "NONE", "LENGTH", "INTERVAL" give 0, 1, 2; any other value leaves the setting as it is
  Text,           // the value's characters exactly, kept for the whole run
};

struct Setting {
  const char* key;
  SettingKind kind;
  void* target;       // the member of Globals, of the kind's type
  double number;      // the default of Integer, Real, Seed and Normalisation
  const char* text;   // the default of Text (nullptr: unset)
  bool flag;          // the default of Switch
  const char* unset;  // how the help shows an unset Text: "(none)", "(required)"
  const char* help;   // one line
};

// Every setting, in the order in which the property reader tests the keys.
const std::vector<Setting>& settingTable();

// The setting with this key (exact, case-sensitive), or nullptr.
const Setting* findSetting(std::string_view key);

// Applies one key/value pair as the property reader does; an unknown or
// empty key changes nothing. `value` must live for the whole run (text
// settings keep it). An Integer value outside int is applied as the C
// library would (wrapped) and noted; a later valid value of the key clears
// the note.
void applySetting(std::string_view key, const char* value);

// Ends the run with one line ("KEY=VALUE is out of range ...") when an
// integer value read from the property file is outside int.
void refuseSettingsOutOfRange();

// The default as the help and the README show it: "25", "0.25", "true",
// "NONE", "map", "(empty)", "(none)", ...
std::string shownDefault(const Setting& s);

// The value a setting holds now, as text: integers and the seed in
// decimal, reals as the shortest decimal that reads back as the same float,
// switches "true" or "false", the normalisation by its name; no value for an
// unset text, nor for the seed when the property file gave none (the
// sequence was left unseeded).
std::optional<std::string> currentValue(const Setting& s);

// Puts every setting back to its default, without seeding the random
// sequence, and forgets values noted out of range: a fresh process's
// settings, for harnesses that run many inputs in one process.
void restoreDefaultSettings();

#endif
