#include "api/runsequence.h"

#include <iostream>
#include <optional>
#include <string>

#include "base/warning.h"
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
#include "output/outputsettings.h"
#include "output/overview.h"
#include "output/summary.h"
#include "settings/checks.h"
#include "settings/settingtable.h"
#include "settings/settingvalues.h"

namespace {

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

}  // namespace

std::unique_ptr<KnownClasses> readKnownClasses() {
  if (Globals::classFile == nullptr) {
    return nullptr;
  }
  ClassEntry header;
  auto classes = std::make_unique<KnownClasses>(readClassFile(Globals::classFile, &header), Globals::dataItems);
  warnIfHeaderNamesAVector(header);
  const int given = classes->classesGiven();
  std::cout << "classfile: " << given << (given == 1 ? " class, " : " classes, ") << classes->vectorsWithoutClass()
            << " vectors without a class, " << classes->unknownIdentifiers() << " identifiers not in the inputfile"
            << std::endl;
  return classes;
}

std::vector<Model::Setting> settingsOfTheRun() {
  std::vector<Model::Setting> settings;
  for (const Setting& s : settingTable()) {
    if (!inRunRecord(s)) continue;
    const std::optional<std::string> value = currentValue(s);
    settings.push_back({s.key, value.value_or(""), value.has_value()});
  }
  return settings;
}

void saveHierarchy(const KnownClasses* classes) {
  const OutputSettings shown = outputSettingsOfTheRun();
  if (Globals::SAVE_AS_HTML) {
    Globals::saveHFMAs(SaveKind::HtmlPage, shown);
  }
  // The figures are measured only for the outputs that show them.
  std::optional<RunFigures> figures;
  if (Globals::SAVE_SUMMARY || (classes != nullptr && Globals::SAVE_OVERVIEW)) {
    figures = measureHierarchy(classes, shown.trainingTime);
  }
  if (Globals::SAVE_OVERVIEW) {
    saveOverview(shown, figures ? &*figures : nullptr, classes);
  }
  if (Globals::SAVE_ASSIGNMENTS) {
    saveAssignments(shown, classes);
  }
  if (Globals::SAVE_AS_CARTIX) {
    Globals::saveHFMAs(SaveKind::MapLibrary, shown);
  }
  if (Globals::SAVE_SUMMARY) {
    saveSummary(shown, *figures, classes, settingValues());
  }
  if (Globals::SAVE_MODEL) {
    saveModel(shown, settingsOfTheRun());
  }
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
  saveHierarchy(classes.get());
  std::cout << '\a' << std::flush;
  endRunIfConsoleFailed();
}
