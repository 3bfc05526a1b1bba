#ifndef VELMAR_SETTINGS_SETTINGVALUES_H
#define VELMAR_SETTINGS_SETTINGVALUES_H

#include "output/summary.h"

// Every setting of the table with the value it has in this run, as JSON, in
// the table's order: numbers, switches as true or false, normalisation and
// texts as strings, unset texts as null, and randomSeed as null when the
// property file gave none (the unseeded sequence).
JsonMembers settingValues();

#endif
