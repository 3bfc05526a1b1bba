#ifndef VELMAR_SETTINGS_PROPERTYSLIPS_H
#define VELMAR_SETTINGS_PROPERTYSLIPS_H

#include <string>
#include <string_view>

// What a property file probably did not mean, said in one warning line each
// on standard error (warn) while the pairs are applied exactly as they stand:
// an unknown key (with the known key it resembles, ignoring case and blanks),
// a line without "=" (it becomes part of the next key), a number with text
// after it or none at all, a switch whose value reads as false although it
// looks like "on", a normalisation that is none of its three names, and
// values that end in a carriage return (the file has CR LF line ends).
class PropertySlips {
 public:
  // A pair as read, its key starting on line `line`, after it was applied.
  // Both texts are as read (NUL bytes included); what was applied is each
  // one up to its first NUL byte.
  void pair(std::string_view key, std::string_view value, long line);
  // The text after the last "=" when it has no "=" of its own, which is
  // dropped; it starts on line `line`.
  void unpairedTail(std::string_view text, long line);
  // The one warning about values that end in a carriage return, if any did.
  void finish() const;

 private:
  long carriageReturns_ = 0;
  long firstCarriageReturnLine_ = 0;
  std::string firstCarriageReturnKey_;
};

#endif
