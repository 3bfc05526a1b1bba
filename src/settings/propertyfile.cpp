#include "settings/propertyfile.h"

#include <algorithm>
#include <iostream>
#include <string>
#include <string_view>

#include "base/failure.h"
#include "globals.h"
#include "io/fieldreader.h"
#include "io/files.h"
#include "settings/propertyslips.h"
#include "settings/settingtable.h"

void setProp(const char* prop, const char* val) { applySetting(prop, val); }

std::vector<PropertyPair> readPropertyPairs(const char* propFileName, std::string_view* tail, long* tailLine) {
  FILE* file = openForReading(propFileName);
  if (file == nullptr) {
    fail(std::string("propertyfile ") + propFileName + " not found");
  }
  FieldReader reader(file);
  std::vector<PropertyPair> pairs;
  long line = 1;  // the line on which the next key starts
  std::string_view field;
  *tail = std::string_view();
  for (;;) {
    if (!reader.read('=', field)) {
      *tail = std::string_view(Globals::keepText(field), field.size());
      *tailLine = line;
      break;
    }
    // Kept for the whole run (a harness releases them with Globals::releaseRun):
    // text settings refer to the value.
    const std::string_view key(Globals::keepText(field), field.size());
    bool more = reader.read('\n', field);
    const std::string_view value(Globals::keepText(field), field.size());
    pairs.push_back({key, value, line});
    line += std::count(key.begin(), key.end(), '\n') + 1;
    if (!more) {
      break;
    }
  }
  return pairs;
}

void applyPropertyPairs(const std::vector<PropertyPair>& pairs) {
  PropertySlips slips;
  for (const PropertyPair& p : pairs) {
    setProp(p.key.data(), p.value.data());
    slips.pair(p.key, p.value, p.line);
  }
  slips.finish();
  refuseSettingsOutOfRange();
}

void getProps(const char* propFileName) {
  std::string_view tail;
  long tailLine = 0;
  const std::vector<PropertyPair> pairs = readPropertyPairs(propFileName, &tail, &tailLine);
  PropertySlips slips;
  for (const PropertyPair& p : pairs) {
    setProp(p.key.data(), p.value.data());
    std::cout << p.key.data() << " = " << p.value.data() << std::endl;
    slips.pair(p.key, p.value, p.line);
  }
  slips.unpairedTail(tail, tailLine);
  slips.finish();
  refuseSettingsOutOfRange();
}
