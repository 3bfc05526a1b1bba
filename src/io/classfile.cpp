#include "io/classfile.h"

#include <cstdio>
#include <unordered_map>

#include "base/failure.h"
#include "base/warning.h"
#include "io/files.h"

namespace {

// A text of the file as a message shows it: on one line, and not too long.
std::string shown(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (out.size() >= 60) return out + "...";
    out += c == '\n' || c == '\r' ? ' ' : c;
  }
  return out;
}

[[noreturn]] void refuse(long line, const std::string& what) {
  fail("classfile line " + std::to_string(line) + ": " + what + " (check classfile)");
}

// Splits the text into records of fields, one CSV line (or several, where a
// quoted field holds line ends) at a time.
class CsvRecords {
 public:
  explicit CsvRecords(std::string_view text) : text_(text) {
    if (text_.substr(0, 3) == "\xEF\xBB\xBF") text_.remove_prefix(3);
  }

  // The next record and the line it starts on; false at the end of the text.
  bool next(std::vector<std::string>& fields, long& line) {
    if (at_ >= text_.size()) return false;
    fields.clear();
    line = line_;
    for (;;) {
      fields.emplace_back();
      const bool more = text_[at_] == '"' ? quoted(fields.back()) : plain(fields.back());
      if (!more) return true;
    }
  }

 private:
  std::string_view text_;
  size_t at_ = 0;
  long line_ = 1;

  // After a field: true at a comma (another field follows), false at a line
  // end or the end of the text (the record is complete).
  bool endOfField() {
    if (at_ >= text_.size()) return false;
    if (text_[at_] == ',') {
      at_++;
      return true;
    }
    if (text_[at_] == '\r' && at_ + 1 < text_.size() && text_[at_ + 1] == '\n') at_++;
    if (text_[at_] == '\n') {
      at_++;
      line_++;
      return false;
    }
    refuse(line_, "a quoted field must be followed by a comma or the end of the line");
  }

  bool plain(std::string& field) {
    const size_t begin = at_;
    while (at_ < text_.size() && text_[at_] != ',' && text_[at_] != '\n' &&
           !(text_[at_] == '\r' && at_ + 1 < text_.size() && text_[at_ + 1] == '\n')) {
      if (text_[at_] == '"') refuse(line_, "a double quote inside a field that is not quoted");
      at_++;
    }
    field.assign(text_.substr(begin, at_ - begin));
    return endOfField();
  }

  bool quoted(std::string& field) {
    const long opened = line_;
    at_++;  // the opening quote
    for (;;) {
      if (at_ >= text_.size()) refuse(opened, "a quoted field is not closed");
      const char c = text_[at_++];
      if (c == '"') {
        if (at_ < text_.size() && text_[at_] == '"') {
          field += '"';
          at_++;
          continue;
        }
        return endOfField();
      }
      if (c == '\n') line_++;
      field += c;
    }
  }
};

}  // namespace

std::vector<ClassEntry> parseClassFile(std::string_view text, ClassEntry* header) {
  CsvRecords records(text);
  std::vector<std::string> fields;
  long line = 0;
  bool atHeader = true;
  std::vector<ClassEntry> entries;
  std::unordered_map<std::string, std::pair<size_t, long>> seen;  // identifier: entry and line
  while (records.next(fields, line)) {
    if (fields.size() == 1 && fields[0].empty()) continue;  // an empty line
    if (fields.size() != 2) {
      refuse(line, std::to_string(fields.size()) + (fields.size() == 1 ? " field" : " fields") +
                       " where two are expected (identifier,class)");
    }
    if (atHeader) {
      atHeader = false;
      if (header != nullptr) {
        *header = {fields[0], fields[1]};
      }
      continue;
    }
    auto [it, added] = seen.emplace(fields[0], std::make_pair(entries.size(), line));
    if (added) {
      entries.push_back({fields[0], fields[1]});
    } else if (entries[it->second.first].className != fields[1]) {
      refuse(line, "identifier \"" + shown(fields[0]) + "\" has class \"" + shown(fields[1]) + "\" here and \"" +
                       shown(entries[it->second.first].className) + "\" on line " + std::to_string(it->second.second));
    }
  }
  if (atHeader) {
    fail("classfile is empty: it needs a header line and a line per identifier (check classfile)");
  }
  return entries;
}

std::vector<ClassEntry> readClassFile(const char* name, ClassEntry* header) {
  FILE* file = openForReading(name);
  if (file == nullptr) {
    warn("classFile " + whyNotReadable(name));
    fail("classfile not found (check propertyfile)");
  }
  std::string text;
  if (!readWholeFile(file, text)) {
    fail("classfile could not be read");
  }
  return parseClassFile(text, header);
}
