#include "settings/settingtable.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <utility>

#include "base/failure.h"
#include "globals.h"

namespace {

constexpr Setting integer(const char* key, int* target, int value, const char* help) {
  return {key, SettingKind::Integer, target, static_cast<double>(value), nullptr, false, nullptr, help};
}
constexpr Setting real(const char* key, float* target, double value, const char* help) {
  return {key, SettingKind::Real, target, value, nullptr, false, nullptr, help};
}
constexpr Setting seed(const char* key, unsigned int* target, unsigned int value, const char* help) {
  return {key, SettingKind::Seed, target, static_cast<double>(value), nullptr, false, nullptr, help};
}
constexpr Setting flag(const char* key, bool* target, bool value, const char* help) {
  return {key, SettingKind::Switch, target, 0.0, nullptr, value, nullptr, help};
}
constexpr Setting normalisation(const char* key, int* target, int value, const char* help) {
  return {key, SettingKind::Normalisation, target, static_cast<double>(value), nullptr, false, nullptr, help};
}
constexpr Setting text(const char* key, const char** target, const char* value, const char* unset, const char* help) {
  return {key, SettingKind::Text, target, 0.0, value, false, unset, help};
}

// In the order in which the property reader tests the keys.
constexpr Setting kSettings[] = {
    integer("EXPAND_CYCLES", &Globals::EXPAND_CYCLES, 25, "growth period, in passes over a map's vectors"),
    integer("MAX_CYCLES", &Globals::MAX_CYCLES, 0,
            "stop a map after this many passes (at a growth check); 0 = no limit"),
    real("TAU_1", &Globals::TAU_1, 0.25, "a map grows while its error is above TAU_1 x the error above it"),
    real("INITIAL_LEARNRATE", &Globals::INITIAL_LEARNRATE, 0.3, "learning rate at the start of each growth period"),
    integer("INITIAL_NEIGHBOURHOOD", &Globals::INITIAL_NEIGHBOURHOOD, 2,
            "neighbourhood radius at the start of each growth period"),
    real("NEIGHBOURHOOD_FALLOFF", &Globals::NEIGHBOURHOOD_FALLOFF, 0.3, "accepted, has no effect"),
    real("TAU_2", &Globals::TAU_2, 0.1, "a unit with error above TAU_2 x MQE0 is expanded into a child map"),
    text("HTML_PREFIX", &Globals::HTML_PREFIX, "map", nullptr, "first part of every output file name"),
    text("DATAFILE_EXTENSION", &Globals::DATAFILE_EXTENSION, "", nullptr,
         "appended to the per-vector links files/ID on the pages"),
    seed("randomSeed", &Globals::randomSeed, 123456789u,
         "seeds the random sequence (unseeded without this key); the same seed, the same run"),
    text("inputFile", &Globals::inputFile, nullptr, "(required)", "the input-vector file"),
    text("descriptionFile", &Globals::descriptionFile, nullptr, "(required)",
         "the file naming the vector components (optional for csv and sparse)"),
    text("savePath", &Globals::savePath, nullptr, "(none)",
         "folder of all output files (must exist); needed when output is on"),
    flag("printMQE", &Globals::printMQE, false, "write each map's error after every training cycle (slow)"),
    normalisation("normInputVectors", &Globals::normInputVectors, 0,
                  "NONE, LENGTH (vectors to length 1) or INTERVAL (each component / its max)"),
    flag("saveAsHTML", &Globals::SAVE_AS_HTML, true, "write one HTML page per map"),
    flag("saveAsCartix", &Globals::SAVE_AS_CARTIX, false, "write three map-library files per map"),
    flag("saveOverview", &Globals::SAVE_OVERVIEW, false, "write PREFIX_overview.html, the whole hierarchy on one page"),
    flag("saveAssignments", &Globals::SAVE_ASSIGNMENTS, false,
         "write PREFIX_assignments.csv, every vector's deepest map and unit"),
    flag("saveSummary", &Globals::SAVE_SUMMARY, false,
         "write PREFIX_summary.json, the quality figures of every map and of the hierarchy"),
    text("classFile", &Globals::classFile, nullptr, "(none)",
         "CSV file of identifier,class lines: class purity in the figures and outputs"),
    flag("saveModel", &Globals::SAVE_MODEL, false, "write PREFIX_model.txt, the hierarchy as a model for --map"),
    integer("INITIAL_X_SIZE", &Globals::INITIAL_X_SIZE, 2, "columns of a new map"),
    integer("INITIAL_Y_SIZE", &Globals::INITIAL_Y_SIZE, 2, "rows of a new map"),
    integer("LABELS_NUM", &Globals::LABELS_NUM, 5, "at most this many component names label a unit; 0 = no labels"),
    flag("LABELS_ONLY", &Globals::LABELS_ONLY, true,
         "a unit with a child map links \"down\" once, not once per vector"),
    real("LABELS_THRESHOLD", &Globals::LABELS_THRESHOLD, 0.7,
         "a label's weight must exceed this share of the unit's largest weight"),
    flag("ORIENTATION", &Globals::ORIENTATION, false,
         "start child maps towards the parent unit's neighbours, not randomly"),
    text("MQE0_FILE", &Globals::MQE0_FILE, nullptr, "(none)",
         "read the mean vector and MQE0 from this file instead of computing"),
    text("inputFormat", &Globals::inputFormat, "vectors", nullptr,
         "vectors (the input-vector file), csv (a table, header row first) or sparse"),
    text("separator", &Globals::separator, ",", nullptr, "csv: the field separator, , or ; or tab"),
    text("idColumn", &Globals::idColumn, nullptr, "(auto)",
         "csv: the identifier column; (auto) = the first if it holds text, else row numbers"),
    integer("components", &Globals::components, 0,
            "sparse: number of components; 0 = the description file's count, else the largest index"),
    integer("threads", &Globals::threads, 1,
            "threads of the training; 0 = as many as pay, found as the run goes (same results)"),
    flag("quiet", &Globals::quiet, false,
         "leave the per-vector \"added\" lines and the progress dots out of the console"),
};

constexpr bool sameKey(const char* a, const char* b) { return std::string_view(a) == std::string_view(b); }

// The entry of a key, at compile time: an unknown key does not compile.
constexpr const Setting& entry(const char* key) {
  for (const Setting& s : kSettings) {
    if (sameKey(s.key, key)) {
      return s;
    }
  }
  throw "no such setting";
}

// Integer values read from the property file that lie outside int, in the
// order read, with the text as written.
std::vector<std::pair<const Setting*, std::string>>& outOfRange() {
  static std::vector<std::pair<const Setting*, std::string>> noted;
  return noted;
}

void noteRange(const Setting& s, const char* value) {
  auto& noted = outOfRange();
  for (auto it = noted.begin(); it != noted.end(); ++it) {
    if (it->first == &s) {
      noted.erase(it);
      break;
    }
  }
  // atoi is strtol narrowed to int: beyond long it saturates, beyond int it wraps.
  errno = 0;
  const long long wide = strtoll(value, nullptr, 10);
  if (errno == ERANGE || wide < INT_MIN || wide > INT_MAX) {
    noted.emplace_back(&s, value);
  }
}

}  // namespace

// ---- The settings of Globals, with their defaults from the table ----
int Globals::EXPAND_CYCLES = static_cast<int>(entry("EXPAND_CYCLES").number);
int Globals::MAX_CYCLES = static_cast<int>(entry("MAX_CYCLES").number);
float Globals::TAU_1 = static_cast<float>(entry("TAU_1").number);
float Globals::INITIAL_LEARNRATE = static_cast<float>(entry("INITIAL_LEARNRATE").number);
int Globals::INITIAL_NEIGHBOURHOOD = static_cast<int>(entry("INITIAL_NEIGHBOURHOOD").number);
float Globals::NEIGHBOURHOOD_FALLOFF = static_cast<float>(entry("NEIGHBOURHOOD_FALLOFF").number);
float Globals::TAU_2 = static_cast<float>(entry("TAU_2").number);
const char* Globals::HTML_PREFIX = entry("HTML_PREFIX").text;
const char* Globals::DATAFILE_EXTENSION = entry("DATAFILE_EXTENSION").text;
unsigned int Globals::randomSeed = static_cast<unsigned int>(entry("randomSeed").number);
const char* Globals::inputFile = entry("inputFile").text;
const char* Globals::descriptionFile = entry("descriptionFile").text;
const char* Globals::savePath = entry("savePath").text;
bool Globals::printMQE = entry("printMQE").flag;
int Globals::normInputVectors = static_cast<int>(entry("normInputVectors").number);
bool Globals::SAVE_AS_HTML = entry("saveAsHTML").flag;
bool Globals::SAVE_AS_CARTIX = entry("saveAsCartix").flag;
bool Globals::SAVE_OVERVIEW = entry("saveOverview").flag;
bool Globals::SAVE_ASSIGNMENTS = entry("saveAssignments").flag;
bool Globals::SAVE_SUMMARY = entry("saveSummary").flag;
const char* Globals::classFile = entry("classFile").text;
bool Globals::SAVE_MODEL = entry("saveModel").flag;
int Globals::INITIAL_X_SIZE = static_cast<int>(entry("INITIAL_X_SIZE").number);
int Globals::INITIAL_Y_SIZE = static_cast<int>(entry("INITIAL_Y_SIZE").number);
int Globals::LABELS_NUM = static_cast<int>(entry("LABELS_NUM").number);
bool Globals::LABELS_ONLY = entry("LABELS_ONLY").flag;
float Globals::LABELS_THRESHOLD = static_cast<float>(entry("LABELS_THRESHOLD").number);
bool Globals::ORIENTATION = entry("ORIENTATION").flag;
const char* Globals::MQE0_FILE = entry("MQE0_FILE").text;
const char* Globals::inputFormat = entry("inputFormat").text;
const char* Globals::separator = entry("separator").text;
const char* Globals::idColumn = entry("idColumn").text;
int Globals::components = static_cast<int>(entry("components").number);
int Globals::threads = static_cast<int>(entry("threads").number);
bool Globals::quiet = entry("quiet").flag;
bool Globals::randomSeedGiven = false;

const std::vector<Setting>& settingTable() {
  static const std::vector<Setting> table(std::begin(kSettings), std::end(kSettings));
  return table;
}

const Setting* findSetting(std::string_view key) {
  for (const Setting& s : kSettings) {
    if (key == s.key) {
      return &s;
    }
  }
  return nullptr;
}

void applySetting(std::string_view key, const char* value) {
  const Setting* s = findSetting(key);
  if (s == nullptr) {
    return;
  }
  switch (s->kind) {
    case SettingKind::Integer:
      *static_cast<int*>(s->target) = atoi(value);
      noteRange(*s, value);
      break;
    case SettingKind::Real:
      *static_cast<float*>(s->target) = static_cast<float>(atof(value));
      break;
    case SettingKind::Seed:
      *static_cast<unsigned int*>(s->target) = static_cast<unsigned int>(atol(value));
      Globals::setRandom(*static_cast<unsigned int*>(s->target));
      Globals::randomSeedGiven = true;
      break;
    case SettingKind::Switch:
      *static_cast<bool*>(s->target) = strcmp(value, "true") == 0;
      break;
    case SettingKind::Normalisation: {
      for (int k = 0; k < 3; k++) {
        if (strcmp(value, kNormalisationNames[k]) == 0) {
          *static_cast<int*>(s->target) = k;
        }
      }
      break;
    }
    case SettingKind::Text:
      *static_cast<const char**>(s->target) = value;
      break;
  }
}

void refuseSettingsOutOfRange() {
  if (outOfRange().empty()) {
    return;
  }
  const auto& [s, value] = outOfRange().front();
  fail(std::string(s->key) + "=" + value + " is out of range: an integer setting lies between " +
       std::to_string(INT_MIN) + " and " + std::to_string(INT_MAX) + " (check propertyfile)");
}

std::string shownDefault(const Setting& s) {
  switch (s.kind) {
    case SettingKind::Integer:
    case SettingKind::Seed:
      return std::to_string(static_cast<long long>(s.number));
    case SettingKind::Real: {
      std::ostringstream shown;
      shown << static_cast<float>(s.number);
      return shown.str();
    }
    case SettingKind::Switch:
      return s.flag ? "true" : "false";
    case SettingKind::Normalisation:
      return kNormalisationNames[static_cast<int>(s.number)];
    case SettingKind::Text:
      return s.text == nullptr ? s.unset : (*s.text == '\0' ? "(empty)" : s.text);
  }
  return "";
}

std::optional<std::string> currentValue(const Setting& s) {
  switch (s.kind) {
    case SettingKind::Integer:
      return std::to_string(*static_cast<const int*>(s.target));
    case SettingKind::Seed:
      if (!Globals::randomSeedGiven) {
        return std::nullopt;  // the sequence was left unseeded
      }
      return std::to_string(*static_cast<const unsigned int*>(s.target));
    case SettingKind::Real: {
      char text[32];
      return std::string(text, std::to_chars(text, text + sizeof text, *static_cast<const float*>(s.target)).ptr);
    }
    case SettingKind::Switch:
      return *static_cast<const bool*>(s.target) ? "true" : "false";
    case SettingKind::Normalisation:
      return kNormalisationNames[*static_cast<const int*>(s.target)];
    case SettingKind::Text: {
      const char* text = *static_cast<const char* const*>(s.target);
      return text == nullptr ? std::nullopt : std::optional<std::string>(text);
    }
  }
  return std::nullopt;
}

void restoreDefaultSettings() {
  for (const Setting& s : kSettings) {
    switch (s.kind) {
      case SettingKind::Integer:
      case SettingKind::Normalisation:
        *static_cast<int*>(s.target) = static_cast<int>(s.number);
        break;
      case SettingKind::Real:
        *static_cast<float*>(s.target) = static_cast<float>(s.number);
        break;
      case SettingKind::Seed:
        *static_cast<unsigned int*>(s.target) = static_cast<unsigned int>(s.number);
        break;
      case SettingKind::Switch:
        *static_cast<bool*>(s.target) = s.flag;
        break;
      case SettingKind::Text:
        *static_cast<const char**>(s.target) = s.text;
        break;
    }
  }
  Globals::randomSeedGiven = false;
  outOfRange().clear();
}
