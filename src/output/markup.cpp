#include "output/markup.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

const char* kHexUpper = "0123456789ABCDEF";
const char* kHexLower = "0123456789abcdef";

std::string escaped(const std::string& text, bool apostrophe) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'':
        out += apostrophe ? "&#39;" : "'";
        break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

std::string escapeHTML(const std::string& text) { return escaped(text, false); }

std::string escapeMarkup(const std::string& text) { return escaped(text, true); }

std::string linkTo(const std::string& file) {
  std::string out;
  for (char c : file) {
    const unsigned char b = static_cast<unsigned char>(c);
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
        b == '_' || b == '~' || b == '/') {
      out += c;
    } else {
      out += '%';
      out += kHexUpper[b >> 4];
      out += kHexUpper[b & 15];
    }
  }
  return out;
}

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (b < 0x20 || c == '<' || c == '>' || c == '&') {
      // "<" as an escape keeps "</script" out of the script element.
      out += "\\u00";
      out += kHexLower[b >> 4];
      out += kHexLower[b & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string jsonFloat(double value) {
  const float f = static_cast<float>(value);
  if (!std::isfinite(f)) {
    return "null";
  }
  char text[32];
  for (int digits = 1; digits <= 9; digits++) {  // nine digits give every float back
    snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(f));
    if (strtof(text, nullptr) == f) {
      break;
    }
  }
  return text;
}
