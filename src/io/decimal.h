#ifndef VELMAR_DECIMAL_H
#define VELMAR_DECIMAL_H

// Converts a zero-terminated text to float exactly as (float)atof(text) does,
// bit for bit, for every text: leniently, so a text that is not a number
// gives 0 and a number followed by other characters gives that number.
//
// Plain decimals ("-12.345", "5.", ".5", "00012.50") with few enough
// significant digits are converted directly; every other text (exponents,
// hexadecimal, inf and nan, leading blanks, trailing characters, long digit
// strings) is handed to atof.
float decimalToFloat(const char* text);

// Reads the text from `begin` to `end` as exactly one number, blanks and tabs
// around it allowed, into `value`: the very float that decimalToFloat gives
// for the same characters. False, with `value` untouched, when the text is
// empty or holds anything besides the number (a second number, letters, a
// NUL byte). "inf", "nan" and numbers beyond float are numbers here; the
// caller decides about values that are not finite.
//
// A NUL byte must follow the text somewhere in the same buffer (the scan for
// digits may look past `end` up to the first byte that is not one), as it
// does for a field handed out by the FieldReader or kept in a std::string.
bool readNumber(const char* begin, const char* end, float& value);

// The value of the field at `field` that ends at the first `delimiter`
// before `limit`: exactly decimalToFloat of the field alone (as a field read
// to that delimiter hands it over), found without a separate search for the
// delimiter when the field is a plain decimal. Sets *end to the delimiter,
// or to nullptr (and returns 0) when there is none before `limit`. The text
// is left as it was.
float decimalFieldToFloat(char* field, const char* limit, char delimiter, char** end);

// Reads a plain decimal ("-12.345", "5.", ".5") with few enough significant
// digits at `text`: true, with `stop` at the first character after it and
// `value` the very float readNumber gives for the text up to `stop`; false
// for anything else (which readNumber may still read). Needs a byte that is
// not a digit after the text, as readNumber does.
bool readPlainDecimal(const char* text, const char*& stop, float& value);

#endif
