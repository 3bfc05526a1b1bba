#include "io/settingtext.h"

namespace {

bool endsInCarriageReturn(std::string_view value) { return !value.empty() && value.back() == '\r'; }

}  // namespace

std::string_view withoutCarriageReturn(std::string_view value) {
  return endsInCarriageReturn(value) ? value.substr(0, value.size() - 1) : value;
}

std::string carriageReturnNote(std::string_view value) {
  return endsInCarriageReturn(value) ? " (the value ends in a carriage return: the file has CR LF line ends)" : "";
}
