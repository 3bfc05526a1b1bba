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
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += apostrophe ? "&#39;" : "'";
        break;
      default:
        out += c;
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

namespace {

// The length of the well-formed UTF-8 sequence at text[at], or 0.
size_t utf8Length(const std::string& text, size_t at) {
  const unsigned char b = static_cast<unsigned char>(text[at]);
  size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) {
    length = 2;
  } else if (b >= 0xE0 && b <= 0xEF) {
    length = 3;
    low = b == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
    high = b == 0xED ? 0x9F : 0xBF;  // no surrogates
  } else if (b >= 0xF0 && b <= 0xF4) {
    length = 4;
    low = b == 0xF0 ? 0x90 : 0x80;
    high = b == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t k = 1; k < length; k++) {
    const unsigned char c = static_cast<unsigned char>(text[at + k]);
    if (c < (k == 1 ? low : 0x80) || c > (k == 1 ? high : 0xBF)) return 0;
  }
  return length;
}

}  // namespace

std::string jsonText(const std::string& text) {
  std::string valid;
  valid.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const size_t length = utf8Length(text, at);
    if (length == 0) {
      valid += "\xEF\xBF\xBD";
      at++;
    } else {
      valid.append(text, at, length);
      at += length;
    }
  }
  return jsonString(valid);
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
