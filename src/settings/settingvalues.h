#ifndef VELMAR_SETTINGS_SETTINGVALUES_H
#define VELMAR_SETTINGS_SETTINGVALUES_H

#include "output/summary.h"

struct Setting;

// Whether a setting belongs in the record of a run (the summary's settings,
// the model's setting lines): every one but `quiet` while it is off. That
// switch only shapes the console, so the records of runs without it stay as
// they were, and a quiet run's records say it was quiet.
bool inRunRecord(const Setting& s);

// Every setting of the run's record (above) with its value in this run, as JSON, in
// the table's order: numbers, switches as true or false, normalisation and
// texts as strings, unset texts as null, and randomSeed as null when the
// property file gave none (the unseeded sequence).
JsonMembers settingValues();

#endif
