#ifndef VELMAR_API_RUNSEQUENCE_H
#define VELMAR_API_RUNSEQUENCE_H

#include <memory>
#include <vector>

#include "io/modelfile.h"

class KnownClasses;

// The pieces of a run after its settings are read, shared by the command
// line and the library calls.

// The command line's run: reads the input (and the class file), checks the
// settings, trains the hierarchy and writes everything the settings ask
// for, with the console report and its two bells.
void startIt();

// The known classes of the input vectors from the class file, when one is
// set (read and checked before anything is trained), with one console line
// that says how well the file matched the input; otherwise nullptr.
std::unique_ptr<KnownClasses> readKnownClasses();

// Writes every output the settings switch on, in the run's order: the map
// pages, the overview, the assignments, the map-library files, the summary,
// the model. `classes` may be nullptr.
void saveHierarchy(const KnownClasses* classes);

// Every recorded setting's value (settings/settingvalues.h), for the model's record of the run.
std::vector<Model::Setting> settingsOfTheRun();

#endif
