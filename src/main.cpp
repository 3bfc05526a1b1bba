// Entry point: command line, property file and the run sequence.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "apply/mapcommand.h"
#include "base/failure.h"
#include "base/warning.h"
#include "config.h"
#include "dataitem.h"
#include "dataloader.h"
#include "globals.h"
#include "io/classfile.h"
#include "io/inputfailure.h"
#include "io/outputfile.h"
#include "output/assignments.h"
#include "output/figures.h"
#include "output/knownclasses.h"
#include "output/modelexport.h"
#include "output/overview.h"
#include "output/summary.h"
#include "settings/checks.h"
#include "settings/helptext.h"
#include "settings/propertyfile.h"
#include "settings/settingtable.h"
#include "settings/settingvalues.h"

void usage();
void startIt();
std::vector<Model::Setting> settingsOfTheRun();

void usage() { std::cout << "Usage: " VELMAR_NAME " propertyfile" << std::endl; }

// A class file's first line is its header; when it names an input vector,
// the header was probably left out and that vector's line taken for it.
void warnIfHeaderNamesAVector(const ClassEntry& header) {
  for (int k = 0; k < Globals::dataItems->size(); k++) {
    if (header.id == Globals::dataItems->elementAt(k)->getId()) {
      warn("the first line of classfile names the input vector " + shownInput(header.id) +
           ", but it is read as the header (such as id,class) and gives no class: is the header missing?");
      return;
    }
  }
}

// The classes of the input vectors when a class file is given (read and
// checked before anything is trained), with one line that says how well the
// file matched the input; otherwise nullptr.
std::unique_ptr<KnownClasses> readKnownClasses() {
  if (Globals::classFile == nullptr) {
    return nullptr;
  }
  ClassEntry header;
  auto classes = std::make_unique<KnownClasses>(readClassFile(Globals::classFile, &header), Globals::dataItems);
  warnIfHeaderNamesAVector(header);
  const int given = classes->classesGiven();
  std::cout << "classfile: " << given << (given == 1 ? " class, " : " classes, ") << classes->vectorsWithoutClass()
            << " vectors without a class, " << classes->unknownIdentifiers()
            << " identifiers not in the inputfile" << std::endl;
  return classes;
}

// Every recorded setting's value, for the model's record of the run.
std::vector<Model::Setting> settingsOfTheRun() {
  std::vector<Model::Setting> settings;
  for (const Setting& s : settingTable()) {
    if (!inRunRecord(s)) continue;
    const std::optional<std::string> value = currentValue(s);
    settings.push_back({s.key, value.value_or(""), value.has_value()});
  }
  return settings;
}

void startIt() {
  refuseUnusableSavePath();
  Data_Vector* items = Globals::currentDataLoader->readInput(Globals::inputFile, Globals::descriptionFile);
  delete Globals::dataItems;  // the empty start-up list
  Globals::dataItems = items;
  checkSettings();
  const std::unique_ptr<KnownClasses> classes = readKnownClasses();
  Globals::initHFM();
  Globals::trainHFM();
  std::cout << '\a';
  if (Globals::SAVE_AS_HTML) {
    Globals::saveHFMAs(0);
  }
  // The figures are measured only for the outputs that show them.
  std::optional<RunFigures> figures;
  if (Globals::SAVE_SUMMARY || (classes != nullptr && Globals::SAVE_OVERVIEW)) {
    figures = measureHierarchy(classes.get());
  }
  if (Globals::SAVE_OVERVIEW) {
    saveOverview(figures ? &*figures : nullptr, classes.get());
  }
  if (Globals::SAVE_ASSIGNMENTS) {
    saveAssignments(classes.get());
  }
  if (Globals::SAVE_AS_CARTIX) {
    Globals::saveHFMAs(2);
  }
  if (Globals::SAVE_SUMMARY) {
    saveSummary(*figures, classes.get(), settingValues());
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
