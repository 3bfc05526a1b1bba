#ifndef VELMAR_OUTPUT_MARKUP_H
#define VELMAR_OUTPUT_MARKUP_H

#include <string>

// Data (identifiers, component names, file names) written into pages: turned
// into text that cannot end or change the markup around it.

// The map pages' escaping: & < > " as entities.
std::string escapeHTML(const std::string& text);

// Text and attribute values of the overview page: & < > " ' as references.
std::string escapeMarkup(const std::string& text);

// A relative link to a file: bytes other than letters, digits, "-._~/"
// percent-encoded, so that no "#", "?", "%" or blank in a name misleads it.
std::string linkTo(const std::string& file);

// A JSON string literal that is also safe inside a script element.
std::string jsonString(const std::string& text);

// A JSON string literal of `text` as UTF-8: every byte that is not part of a
// well-formed UTF-8 sequence becomes U+FFFD, so the file stays valid JSON
// whatever bytes identifiers, names and settings hold.
std::string jsonText(const std::string& text);

// A JSON number: the value rounded to float, in the fewest significant
// digits that give that float back; "null" when it is not finite.
std::string jsonFloat(double value);

#endif
