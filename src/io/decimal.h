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

#endif
