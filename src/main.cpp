// Entry point: command line, property file and the run sequence.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "apply/mapcommand.h"
#include "base/failure.h"
#include "config.h"
#include "dataloader.h"
#include "globals.h"
#include "io/fieldreader.h"
#include "io/files.h"
#include "io/outputfile.h"
#include "output/assignments.h"
#include "output/modelexport.h"
#include "output/overview.h"
#include "settings/checks.h"
#include "settings/helptext.h"
#include "settings/settingtable.h"

void usage();
void startIt();
void getProps(const char* propFileName);
void setProp(const char* prop, const char* val);
std::vector<Model::Setting> settingsOfTheRun();

void usage() { std::cout << "Usage: " VELMAR_NAME " propertyfile" << std::endl; }

void setProp(const char* prop, const char* val) { applySetting(prop, val); }

// Each "=" ends a key (line ends included in it); the value runs to the next
// newline or the end of the file. Text after the last "=" that has no "=" of
// its own is dropped.
void getProps(const char* propFileName) {
  FILE* file = openForReading(propFileName);
  if (file == nullptr) {
    fail(std::string("propertyfile ") + propFileName + " not found");
  }
  FieldReader reader(file);
  std::string_view field;
  for (;;) {
    if (!reader.read('=', field)) {
      break;
    }
    // Kept for the whole run (a harness releases them with Globals::releaseRun):
    // text settings refer to the value.
    const char* keptKey = Globals::keepText(field);
    bool more = reader.read('\n', field);
    const char* keptValue = Globals::keepText(field);
    setProp(keptKey, keptValue);
    std::cout << keptKey << " = " << keptValue << std::endl;
    if (!more) {
      break;
    }
  }
  refuseSettingsOutOfRange();
}

// Every setting's value, for the model's record of the run.
std::vector<Model::Setting> settingsOfTheRun() {
  std::vector<Model::Setting> settings;
  for (const Setting& s : settingTable()) {
    const std::optional<std::string> value = currentValue(s);
    settings.push_back({s.key, value.value_or(""), value.has_value()});
  }
  return settings;
}

void startIt() {
  Data_Vector* items = Globals::currentDataLoader->readDataItems(Globals::inputFile);
  delete Globals::dataItems;  // the empty start-up list
  Globals::dataItems = items;
  Globals::currentDataLoader->readVectorDescription(Globals::descriptionFile);
  checkSettings();
  Globals::initHFM();
  Globals::trainHFM();
  std::cout << '\a';
  if (Globals::SAVE_AS_HTML) {
    Globals::saveHFMAs(0);
  }
  if (Globals::SAVE_OVERVIEW) {
    saveOverview();
  }
  if (Globals::SAVE_ASSIGNMENTS) {
    saveAssignments();
  }
  if (Globals::SAVE_AS_CARTIX) {
    Globals::saveHFMAs(2);
  }
  if (Globals::SAVE_MODEL) {
    saveModel(settingsOfTheRun());
  }
  std::cout << '\a' << std::flush;
  endRunIfConsoleFailed();
}

int main(int argc, char** argv) {
  // Running out of memory (a grid of absurd size, say) ends the run like every
  // other failure: one line and exit status 1.
  std::set_new_handler(failOutOfMemory);
  if (argc >= 2 && strcmp(argv[1], "--map") == 0) {
    return runMapCommand(argc, argv);
  }
  if (argc != 2) {
    usage();
    return 1;
  }
  if (strcmp(argv[1], "-v") == 0) {
    std::cout << VELMAR_NAME ": Version " VELMAR_VERSION << std::endl;
    endRunIfConsoleFailed();
    return 0;
  }
  if (strcmp(argv[1], "-h") == 0 || strcmp(argv[1], "--help") == 0) {
    printHelp(std::cout);
    std::cout << std::flush;
    endRunIfConsoleFailed();
    return 0;
  }
  getProps(argv[1]);
  startIt();
  return 0;
}
