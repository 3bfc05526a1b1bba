#ifndef VELMAR_SETTINGS_PROPERTYFILE_H
#define VELMAR_SETTINGS_PROPERTYFILE_H

// The property file: every "=" ends a key (line ends included in it); the
// value runs to the next newline or the end of the file. Each pair is applied
// to the settings and echoed on standard output as "key = value", in file
// order; text after the last "=" that has no "=" of its own is dropped.
// Slips that change what a pair means (an unknown key, a value read as 0, a
// switch read as false, ...) are warned of on standard error, the pairs
// applied as they stand all the same. A file that cannot be opened, and
// integer values outside int, end the run.
void getProps(const char* propFileName);

// Applies one pair as getProps does (no echo, no warning). Both texts must
// live for the whole run: text settings keep the value.
void setProp(const char* prop, const char* val);

#endif
