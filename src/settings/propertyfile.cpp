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

void getProps(const char* propFileName) {
  FILE* file = openForReading(propFileName);
  if (file == nullptr) {
    fail(std::string("propertyfile ") + propFileName + " not found");
  }
  FieldReader reader(file);
  PropertySlips slips;
  long line = 1;  // the line on which the next key starts
  std::string_view field;
  for (;;) {
    if (!reader.read('=', field)) {
      slips.unpairedTail(field, line);
      break;
    }
    // Kept for the whole run (a harness releases them with Globals::releaseRun):
    // text settings refer to the value.
    const std::string_view key(Globals::keepText(field), field.size());
    bool more = reader.read('\n', field);
    const std::string_view value(Globals::keepText(field), field.size());
    setProp(key.data(), value.data());
    std::cout << key.data() << " = " << value.data() << std::endl;
    slips.pair(key, value, line);
    line += std::count(key.begin(), key.end(), '\n') + 1;
    if (!more) {
      break;
    }
  }
  slips.finish();
  refuseSettingsOutOfRange();
}
