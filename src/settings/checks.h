#ifndef VELMAR_SETTINGS_CHECKS_H
#define VELMAR_SETTINGS_CHECKS_H

// Refuses, with one line and status 1, settings with which no map could be
// trained or could ever stop, a start size that cannot fit in memory, and an
// unset savePath when output is asked for. Runs once the input is read (the
// memory check needs the component count) and before any map is built.
void checkSettings();

// Refuses, with one line naming the folder and status 1, a savePath that is
// not a folder output files can be created in, when some output is switched
// on. Runs before the data is read, so that a run is not trained for nothing.
void refuseUnusableSavePath();

#endif
