// Entry point: command line, property file and the run sequence.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <string_view>

#include "base/failure.h"
#include "output/assignments.h"
#include "config.h"
#include "dataloader.h"
#include "io/fieldreader.h"
#include "globals.h"
#include "io/files.h"
#include "settings/checks.h"
#include "settings/helptext.h"
#include "io/outputfile.h"
#include "output/overview.h"

void usage();
void startIt();
void getProps(const char* propFileName);
void setProp(const char* prop, const char* val);

void usage() { std::cout << "Usage: " VELMAR_NAME " propertyfile" << std::endl; }

namespace {

// A switch is on only for exactly "true".
bool parseSwitch(const char* val) { return strcmp(val, "true") == 0; }

float parseReal(const char* val) { return static_cast<float>(atof(val)); }

}  // namespace

void setProp(const char* prop, const char* val) {
  if (prop[0] == '\0') {
    return;
  }
  if (strcmp(prop, "EXPAND_CYCLES") == 0) {
    Globals::EXPAND_CYCLES = atoi(val);
  } else if (strcmp(prop, "MAX_CYCLES") == 0) {
    Globals::MAX_CYCLES = atoi(val);
  } else if (strcmp(prop, "TAU_1") == 0) {
    Globals::TAU_1 = parseReal(val);
  } else if (strcmp(prop, "INITIAL_LEARNRATE") == 0) {
    Globals::INITIAL_LEARNRATE = parseReal(val);
  } else if (strcmp(prop, "INITIAL_NEIGHBOURHOOD") == 0) {
    Globals::INITIAL_NEIGHBOURHOOD = atoi(val);
  } else if (strcmp(prop, "NEIGHBOURHOOD_FALLOFF") == 0) {
    Globals::NEIGHBOURHOOD_FALLOFF = parseReal(val);
  } else if (strcmp(prop, "TAU_2") == 0) {
    Globals::TAU_2 = parseReal(val);
  } else if (strcmp(prop, "HTML_PREFIX") == 0) {
    Globals::HTML_PREFIX = val;
  } else if (strcmp(prop, "DATAFILE_EXTENSION") == 0) {
    Globals::DATAFILE_EXTENSION = val;
  } else if (strcmp(prop, "randomSeed") == 0) {
    // atol, then stored into the unsigned 32-bit seed (negative numbers wrap).
    Globals::randomSeed = static_cast<unsigned int>(atol(val));
    Globals::setRandom(Globals::randomSeed);
    Globals::randomSeedGiven = true;
  } else if (strcmp(prop, "inputFile") == 0) {
    Globals::inputFile = val;
  } else if (strcmp(prop, "descriptionFile") == 0) {
    Globals::descriptionFile = val;
  } else if (strcmp(prop, "savePath") == 0) {
    Globals::savePath = val;
  } else if (strcmp(prop, "printMQE") == 0) {
    Globals::printMQE = parseSwitch(val);
  } else if (strcmp(prop, "normInputVectors") == 0) {
    if (strcmp(val, "NONE") == 0) {
      Globals::normInputVectors = 0;
    } else if (strcmp(val, "LENGTH") == 0) {
      Globals::normInputVectors = 1;
    } else if (strcmp(val, "INTERVAL") == 0) {
      Globals::normInputVectors = 2;
    }
  } else if (strcmp(prop, "saveAsHTML") == 0) {
    Globals::SAVE_AS_HTML = parseSwitch(val);
  } else if (strcmp(prop, "saveAsCartix") == 0) {
    Globals::SAVE_AS_CARTIX = parseSwitch(val);
  } else if (strcmp(prop, "saveOverview") == 0) {
    Globals::SAVE_OVERVIEW = parseSwitch(val);
  } else if (strcmp(prop, "saveAssignments") == 0) {
    Globals::SAVE_ASSIGNMENTS = parseSwitch(val);
  } else if (strcmp(prop, "INITIAL_X_SIZE") == 0) {
    Globals::INITIAL_X_SIZE = atoi(val);
  } else if (strcmp(prop, "INITIAL_Y_SIZE") == 0) {
    Globals::INITIAL_Y_SIZE = atoi(val);
  } else if (strcmp(prop, "LABELS_NUM") == 0) {
    Globals::LABELS_NUM = atoi(val);
  } else if (strcmp(prop, "LABELS_ONLY") == 0) {
    Globals::LABELS_ONLY = parseSwitch(val);
  } else if (strcmp(prop, "LABELS_THRESHOLD") == 0) {
    Globals::LABELS_THRESHOLD = parseReal(val);
  } else if (strcmp(prop, "ORIENTATION") == 0) {
    Globals::ORIENTATION = parseSwitch(val);
  } else if (strcmp(prop, "MQE0_FILE") == 0) {
    Globals::MQE0_FILE = val;
  }
}

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
  std::cout << '\a' << std::flush;
  endRunIfConsoleFailed();
}

int main(int argc, char** argv) {
  // Running out of memory (a grid of absurd size, say) ends the run like every
  // other failure: one line and exit status 1.
  std::set_new_handler(failOutOfMemory);
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
