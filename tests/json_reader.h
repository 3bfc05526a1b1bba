#ifndef VELMAR_TESTS_JSON_READER_H
#define VELMAR_TESTS_JSON_READER_H

// A small strict JSON reader for the tests: objects keep their members in order, numbers keep their text.
// Anything that is not JSON fails the test that reads it.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace json {

struct Value {
  enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
  bool boolean = false;
  std::string text;  // a number's text, or a string's value
  std::vector<Value> items;
  std::vector<std::pair<std::string, Value>> members;

  const Value& operator[](const std::string& name) const {
    for (const auto& m : members) {
      if (m.first == name) return m.second;
    }
    static const Value missing;
    ADD_FAILURE() << "no member " << name;
    return missing;
  }
  bool has(const std::string& name) const {
    for (const auto& m : members) {
      if (m.first == name) return true;
    }
    return false;
  }
  double number() const {
    EXPECT_EQ(kind, Number) << text;
    return std::strtod(text.c_str(), nullptr);
  }
};

class Reader {
 public:
  explicit Reader(const std::string& text) : s_(text) {}

  // The whole text as one value; ok() tells whether it was valid.
  Value read() {
    Value v = value();
    space();
    if (at_ != s_.size()) ok_ = false;
    return v;
  }
  bool ok() const { return ok_; }

 private:
  const std::string s_;
  size_t at_ = 0;
  bool ok_ = true;

  void space() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\n' || s_[at_] == '\r' || s_[at_] == '\t')) at_++;
  }
  bool take(char c) {
    space();
    if (at_ < s_.size() && s_[at_] == c) {
      at_++;
      return true;
    }
    return false;
  }
  bool word(const char* w) {
    const std::string t(w);
    if (s_.compare(at_, t.size(), t) == 0) {
      at_ += t.size();
      return true;
    }
    return false;
  }
  std::string string() {
    std::string out;
    if (!take('"')) {
      ok_ = false;
      return out;
    }
    while (at_ < s_.size() && s_[at_] != '"') {
      char c = s_[at_++];
      if (static_cast<unsigned char>(c) < 0x20) ok_ = false;
      if (c == '\\' && at_ < s_.size()) {
        const char e = s_[at_++];
        if (e == 'u' && at_ + 4 <= s_.size()) {
          c = static_cast<char>(std::stoi(s_.substr(at_, 4), nullptr, 16));  // the tests only meet \u00XX
          at_ += 4;
        } else {
          c = e == 'n' ? '\n' : e == 't' ? '\t' : e == 'r' ? '\r' : e;
        }
      }
      out += c;
    }
    if (!take('"')) ok_ = false;
    return out;
  }
  Value value() {
    Value v;
    space();
    if (at_ >= s_.size()) {
      ok_ = false;
    } else if (s_[at_] == '{') {
      v.kind = Value::Object;
      at_++;
      if (!take('}')) {
        do {
          std::string name = string();
          if (!take(':')) ok_ = false;
          v.members.emplace_back(name, value());
        } while (ok_ && take(','));
        if (!take('}')) ok_ = false;
      }
    } else if (s_[at_] == '[') {
      v.kind = Value::Array;
      at_++;
      if (!take(']')) {
        do v.items.push_back(value());
        while (ok_ && take(','));
        if (!take(']')) ok_ = false;
      }
    } else if (s_[at_] == '"') {
      v.kind = Value::String;
      v.text = string();
    } else if (word("null")) {
    } else if (word("true") || word("false")) {
      v.kind = Value::Bool;
      v.boolean = s_[at_ - 1] == 'e' && s_[at_ - 2] == 'u';
    } else {
      v.kind = Value::Number;
      const size_t begin = at_;
      while (at_ < s_.size() && std::string("+-0123456789.eE").find(s_[at_]) != std::string::npos) at_++;
      v.text = s_.substr(begin, at_ - begin);
      char* end = nullptr;
      std::strtod(v.text.c_str(), &end);
      if (v.text.empty() || *end != '\0' || v.text[0] == '+' || v.text[0] == '.') ok_ = false;
    }
    return v;
  }
};

}  // namespace json

#endif
