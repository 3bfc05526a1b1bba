#include "settings/helptext.h"

#include <ostream>
#include <string>

#include "config.h"

namespace {

struct KeyHelp {
  const char* key;
  const char* defaultValue;  // in parentheses when there is no value to write
  const char* meaning;
};

// In the order in which the property reader tests the keys.
const KeyHelp kKeys[] = {
    {"EXPAND_CYCLES", "25", "growth period, in passes over a map's vectors"},
    {"MAX_CYCLES", "0", "stop a map after this many passes (at a growth check); 0 = no limit"},
    {"TAU_1", "0.25", "a map grows while its error is above TAU_1 x the error above it"},
    {"INITIAL_LEARNRATE", "0.3", "learning rate at the start of each growth period"},
    {"INITIAL_NEIGHBOURHOOD", "2", "neighbourhood radius at the start of each growth period"},
    {"NEIGHBOURHOOD_FALLOFF", "0.3", "accepted, has no effect"},
    {"TAU_2", "0.1", "a unit with error above TAU_2 x MQE0 is expanded into a child map"},
    {"HTML_PREFIX", "map", "first part of every output file name"},
    {"DATAFILE_EXTENSION", "(empty)", "appended to the per-vector links files/ID on the pages"},
    {"randomSeed", "(none)", "seeds the random sequence; the same seed gives the same run"},
    {"inputFile", "(required)", "the input-vector file"},
    {"descriptionFile", "(required)", "the file naming the vector components"},
    {"savePath", "(none)", "folder of all output files (must exist); needed when output is on"},
    {"printMQE", "false", "write each map's error after every training cycle (slow)"},
    {"normInputVectors", "NONE", "NONE, LENGTH (vectors to length 1) or INTERVAL (each component / its max)"},
    {"saveAsHTML", "true", "write one HTML page per map"},
    {"saveAsCartix", "false", "write three map-library files per map"},
    {"saveOverview", "false", "write PREFIX_overview.html, the whole hierarchy on one page"},
    {"saveAssignments", "false", "write PREFIX_assignments.csv, every vector's deepest map and unit"},
    {"INITIAL_X_SIZE", "2", "columns of a new map"},
    {"INITIAL_Y_SIZE", "2", "rows of a new map"},
    {"LABELS_NUM", "5", "at most this many component names label a unit; 0 = no labels"},
    {"LABELS_ONLY", "true", "a unit with a child map links \"down\" once, not once per vector"},
    {"LABELS_THRESHOLD", "0.7", "a label's weight must exceed this share of the unit's largest weight"},
    {"ORIENTATION", "false", "start child maps towards the parent unit's neighbours, not randomly"},
    {"MQE0_FILE", "(none)", "read the mean vector and MQE0 from this file instead of computing"},
};

std::string padded(const char* text, size_t width) {
  std::string s(text);
  return s + std::string(s.size() < width ? width - s.size() : 1, ' ');
}

}  // namespace

void printHelp(std::ostream& out) {
  out << "Usage: " VELMAR_NAME " propertyfile   train the map hierarchy and save it as the file says\n"
         "       " VELMAR_NAME " -v             print the version\n"
         "       " VELMAR_NAME " -h, --help     print this help\n"
         "\n"
         "The property file holds one key=value pair per line: no blanks around \"=\", no comment\n"
         "or blank lines; a switch is on only for exactly \"true\". Keys, defaults and meanings:\n";
  for (const KeyHelp& k : kKeys) {
    out << padded(k.key, 22) << padded(k.defaultValue, 11) << k.meaning << "\n";
  }
}
