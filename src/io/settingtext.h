#ifndef VELMAR_IO_SETTINGTEXT_H
#define VELMAR_IO_SETTINGTEXT_H

#include <string>
#include <string_view>

// How a message shows the text of a setting. A property file with CR LF line
// ends leaves a carriage return at the end of every value, where nobody sees
// it: a message shows the value without it and says so.

// The value without a final carriage return.
std::string_view withoutCarriageReturn(std::string_view value);

// " (the value ends in a carriage return: the file has CR LF line ends)" for
// a value that ends in one, "" for any other.
std::string carriageReturnNote(std::string_view value);

#endif
