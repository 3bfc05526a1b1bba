#ifndef VELMAR_SETTINGS_PROPERTYFILE_H
#define VELMAR_SETTINGS_PROPERTYFILE_H

#include <string_view>
#include <vector>

// The property file: every "=" ends a key (line ends included in it); the
// value runs to the next newline or the end of the file. Each pair is applied
// to the settings and echoed on standard output as "key = value", in file
// order; text after the last "=" that has no "=" of its own is dropped.
// Slips that change what a pair means (an unknown key, a value read as 0, a
// switch read as false, ...) are warned of on standard error, the pairs
// applied as they stand all the same. A file that cannot be opened, and
// integer values outside int, end the run.
void getProps(const char* propFileName);

// The pairs of a property file as getProps reads them, each with the line
// its key starts on, their texts kept for the run (Globals::keepText); the
// text after the last "=" that has no "=" of its own goes to `tail` (its
// line to `tailLine`). A file that cannot be opened ends the run.
struct PropertyPair {
  std::string_view key;
  std::string_view value;
  long line;
};
std::vector<PropertyPair> readPropertyPairs(const char* propFileName, std::string_view* tail, long* tailLine);

// Applies pairs as getProps does, with its warnings, without the echo.
void applyPropertyPairs(const std::vector<PropertyPair>& pairs);

// Applies one pair as getProps does (no echo, no warning). Both texts must
// live for the whole run: text settings keep the value.
void setProp(const char* prop, const char* val);

#endif
