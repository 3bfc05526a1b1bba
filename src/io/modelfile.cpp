#include "io/modelfile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "base/failure.h"
#include "io/files.h"
#include "io/inputfailure.h"

namespace {

const char* const kNormalisations[] = {"NONE", "LENGTH", "INTERVAL"};
const char* const kFormatName = "velmar-model";

// ---- Writing ----

void appendFloat(std::string& out, float value) {
  char text[32];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

template <class Integer>
void appendInteger(std::string& out, Integer value) {
  char text[24];
  out.append(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// Every byte outside "!" .. "~", "%", and `also` when given, as %XX: the
// result holds no blank and no line end, so it stays one field (a setting's
// key also encodes "=", which ends the key).
void appendEncoded(std::string& out, std::string_view text, char also = '%') {
  static const char kHex[] = "0123456789ABCDEF";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > ' ' && byte < 0x7F && c != '%' && c != also) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
}

void appendMap(std::string& out, const Model::Map& map, int components) {
  out += "map ";
  for (int number : {map.gid, map.level, map.columns, map.rows, map.parentGid, map.parentColumn}) {
    appendInteger(out, number);
    out += ' ';
  }
  appendInteger(out, map.parentRow);
  out += '\n';
  const int units = map.columns * map.rows;
  for (int k = 0; k < units; k++) {
    out += "unit ";
    for (int number : {map.gid, k % map.columns, k / map.columns, map.childGid[k]}) {
      appendInteger(out, number);
      out += ' ';
    }
    const float* w = map.weights.data() + static_cast<size_t>(k) * components;
    for (int i = 0; i < components; i++) {
      if (i > 0) out += ' ';
      appendFloat(out, w[i]);
    }
    out += '\n';
  }
}

// ---- Reading ----

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The model text, line by line, each split into its fields. Every check
// that fails ends the run with the model's name and the line.
class ModelReader {
 public:
  ModelReader(std::string_view text, const std::string& name) : text_(text), name_(name) {}

  Model read() {
    Model model;
    // Every line, the last included, ends with a line end: a text that does
    // not was cut short.
    if (!text_.empty() && text_.back() != '\n') {
      failModel("ends in the middle of line " + std::to_string(1 + std::count(text_.begin(), text_.end(), '\n')) +
                " (truncated?)");
    }
    readFormatLine();
    readComponents(model);
    readNormalisation(model);
    next("mqe0", 2);
    model.mqe0 = number(1);
    // Infinite when the squared distances of training overflowed the float range.
    if (std::isnan(model.mqe0) || model.mqe0 < 0.0f) {
      failHere("MQE0 is 0 or above (or infinite), not " + shownInput(fields_[1]));
    }
    next("vectors", 2);
    model.vectors = integer(1, 1, 1LL << 62, "a vector count");
    readSettings(model);  // ends having read the "maps" line
    const long long maps = integer(1, 1, 1LL << 30, "a map count");
    for (long long k = 0; k < maps; k++) readMap(model);
    next("end", 1);
    if (nextLine()) failHere("text after the end line");
    checkHierarchy(model);
    return model;
  }

 private:
  std::string_view text_;
  const std::string& name_;
  size_t pos_ = 0;
  long long line_ = 0;
  std::vector<std::string_view> fields_;

  [[noreturn]] void failModel(const std::string& what) const { fail("model " + escapedInput(name_) + " " + what); }
  [[noreturn]] void failHere(const std::string& what) const {
    failModel("line " + std::to_string(line_) + ": " + what);
  }

  // The next line's fields; false at the end of the text (a final line end
  // ends the last line, it does not start an empty one).
  bool nextLine() {
    if (pos_ >= text_.size()) return false;
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    std::string_view line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    line_++;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    fields_.clear();
    for (size_t start = 0;;) {
      const size_t blank = line.find(' ', start);
      fields_.push_back(line.substr(start, blank == std::string_view::npos ? std::string_view::npos : blank - start));
      if (fields_.back().empty()) failHere("fields must be separated by exactly one blank");
      if (blank == std::string_view::npos) break;
      start = blank + 1;
    }
    return true;
  }

  // The next line, which must exist: the text ends before `what` otherwise.
  void needLine(const std::string& what) {
    if (!nextLine()) failModel("ends after line " + std::to_string(line_) + ", before " + what + " (truncated?)");
  }

  // The next line, which must be `keyword` with `count` fields in all.
  void next(const char* keyword, size_t count) {
    needLine(std::string("its \"") + keyword + "\" line");
    if (fields_[0] != keyword) {
      failHere("\"" + std::string(keyword) + "\" expected, found " + shownInput(fields_[0]));
    }
    if (fields_.size() != count) failCount(count);
  }

  [[noreturn]] void failCount(size_t count) const {
    failHere(shownInput(fields_[0]) + " takes " + std::to_string(count - 1) + " value(s), the line holds " +
             std::to_string(fields_.size() - 1));
  }

  // Every whole number of a model is written as plain digits: no sign.
  long long integer(size_t field, long long least, long long most, const char* what) const {
    const std::string_view text = fields_[field];
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.find_first_not_of("0123456789") != std::string_view::npos || error != std::errc() ||
        end != text.data() + text.size()) {
      failHere(shownInput(text) + " is not " + what);
    }
    if (value < least || value > most) {
      failHere(std::string(what) + " from " + std::to_string(least) + " to " + std::to_string(most) +
               " expected, found " + std::string(text));
    }
    return value;
  }

  // A field that must hold exactly `value` (a count or position the
  // structure already fixes).
  void expectValue(size_t field, long long value, const char* what) const {
    if (fields_[field] != std::to_string(value)) {
      failHere(std::string(what) + " " + std::to_string(value) + " expected, found " + shownInput(fields_[field]));
    }
  }

  // A float, infinite or NaN included.
  float number(size_t field) const {
    const std::string_view text = fields_[field];
    float value = 0.0f;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
      failHere(shownInput(text) + " is not a number");
    }
    return value;
  }

  // A weight: training never writes one that is not finite, and one such
  // would send every vector to the first unit at a distance of NaN.
  float finiteNumber(size_t field) const {
    const float value = number(field);
    if (!std::isfinite(value)) {
      failHere(shownInput(fields_[field]) + " is not a finite number");
    }
    return value;
  }

  std::string decoded(std::string_view text) const {
    std::string out;
    for (size_t i = 0; i < text.size(); i++) {
      if (text[i] != '%') {
        out += text[i];
        continue;
      }
      const int high = i + 2 < text.size() ? hexDigit(text[i + 1]) : -1;
      const int low = high >= 0 ? hexDigit(text[i + 2]) : -1;
      if (low < 0) failHere("\"%\" must be followed by two hexadecimal digits");
      out += static_cast<char>(high * 16 + low);
      i += 2;
    }
    return out;
  }

  void readFormatLine() {
    const bool any = nextLine();
    if (!any || fields_[0] != kFormatName || fields_.size() != 2) failModel("is not a velmar model");
    if (fields_[1] != std::to_string(Model::kVersion)) {
      failModel("is of format version " + escapedInput(fields_[1], 40) + "; this velmar reads version " +
                std::to_string(Model::kVersion));
    }
  }

  void readComponents(Model& model) {
    next("components", 2);
    const long long components = integer(1, 1, 1 << 30, "a component count");
    for (long long i = 0; i < components; i++) {
      needLine("component " + std::to_string(i) + " of " + std::to_string(components));
      if (fields_[0] != "component") failHere("\"component\" expected, found " + shownInput(fields_[0]));
      if (fields_.size() != 2 && fields_.size() != 3) failCount(3);
      expectValue(1, i, "component");
      model.componentNames.push_back(fields_.size() == 3 ? decoded(fields_[2]) : std::string());
    }
  }

  void readNormalisation(Model& model) {
    next("normalisation", 2);
    model.normalisation = -1;
    for (int k = 0; k < 3; k++) {
      if (fields_[1] == kNormalisations[k]) model.normalisation = k;
    }
    if (model.normalisation < 0) failHere("normalisation NONE, LENGTH or INTERVAL expected");
    if (model.normalisation != 2) return;
    for (int i = 0; i < model.components(); i++) {
      next("divisor", 3);
      expectValue(1, i, "the divisor of component");
      const float divisor = number(2);
      if (!std::isfinite(divisor) || divisor < 0.0f) failHere("a divisor is a finite number, 0 or above");
      model.intervalDivisors.push_back(divisor);
    }
  }

  void readSettings(Model& model) {
    for (;;) {
      needLine("its maps");
      if (fields_[0] == "maps") break;
      if (fields_[0] != "setting") failHere("\"setting\" or \"maps\" expected, found " + shownInput(fields_[0]));
      if (fields_.size() != 2) failCount(2);
      const std::string_view pair = fields_[1];
      const size_t equals = pair.find('=');
      Model::Setting s;
      s.key = decoded(pair.substr(0, equals));
      s.set = equals != std::string_view::npos;
      if (s.set) s.value = decoded(pair.substr(equals + 1));
      model.settings.push_back(std::move(s));
    }
    if (fields_.size() != 2) failCount(2);
  }

  void readMap(Model& model) {
    next("map", 8);
    Model::Map map;
    const int most = 2147483647;
    map.gid = static_cast<int>(integer(1, 1, most, "a map number"));
    map.level = static_cast<int>(integer(2, 1, most, "a level"));
    map.columns = static_cast<int>(integer(3, 1, most, "a column count"));
    map.rows = static_cast<int>(integer(4, 1, most, "a row count"));
    map.parentGid = static_cast<int>(integer(5, 0, most, "a map number"));
    map.parentColumn = static_cast<int>(integer(6, 0, most, "a column"));
    map.parentRow = static_cast<int>(integer(7, 0, most, "a row"));
    if (static_cast<long long>(map.columns) * map.rows > most) failHere("too many units for one map");
    const int components = model.components();
    const int units = map.columns * map.rows;
    for (int k = 0; k < units; k++) {
      next("unit", 5 + static_cast<size_t>(components));
      const int column = k % map.columns;
      const int row = k / map.columns;
      expectValue(1, map.gid, "a unit of map");
      expectValue(2, column, "unit column");
      expectValue(3, row, "unit row");
      map.childGid.push_back(static_cast<int>(integer(4, 0, most, "a map number")));
      for (int i = 0; i < components; i++) map.weights.push_back(finiteNumber(5 + static_cast<size_t>(i)));
    }
    model.maps.push_back(std::move(map));
  }

  // Parents before children, each child map named by exactly the unit it
  // names as its parent, one level below it: then every map hangs below the
  // first-layer map and no chain of children can close into a cycle.
  void checkHierarchy(const Model& model) const {
    std::unordered_map<int, size_t> index;
    for (size_t k = 0; k < model.maps.size(); k++) {
      const Model::Map& map = model.maps[k];
      const std::string which = "map " + std::to_string(map.gid);
      if (!index.emplace(map.gid, k).second) failModel("lists " + which + " twice");
      if (k == 0) {
        if (map.level != 1 || map.parentGid != 0 || map.parentColumn != 0 || map.parentRow != 0) {
          failModel(which + ", the first listed, is not a first-layer map (level 1, parent 0 0 0)");
        }
        continue;
      }
      const auto parent = index.find(map.parentGid);
      if (parent == index.end() || parent->second == k) {
        failModel(which + ": its parent map " + std::to_string(map.parentGid) + " is not listed before it");
      }
      const Model::Map& above = model.maps[parent->second];
      if (map.level != static_cast<long long>(above.level) + 1)
        failModel(which + " is not one level below its parent map");
      if (map.parentColumn >= above.columns || map.parentRow >= above.rows ||
          above.childGid[static_cast<size_t>(map.parentRow) * above.columns + map.parentColumn] != map.gid) {
        failModel(which + ": unit " + std::to_string(map.parentColumn) + "," + std::to_string(map.parentRow) +
                  " of map " + std::to_string(map.parentGid) + " does not name it as its child");
      }
    }
    for (const Model::Map& map : model.maps) {
      for (size_t u = 0; u < map.childGid.size(); u++) {
        const int child = map.childGid[u];
        if (child == 0) continue;
        const auto found = index.find(child);
        const std::string unit = "map " + std::to_string(map.gid) + " unit " + std::to_string(u % map.columns) + "," +
                                 std::to_string(u / map.columns);
        if (found == index.end()) failModel(unit + ": its child map " + std::to_string(child) + " does not exist");
        const Model::Map& below = model.maps[found->second];
        if (below.parentGid != map.gid || below.parentColumn != static_cast<int>(u % map.columns) ||
            below.parentRow != static_cast<int>(u / map.columns)) {
          failModel(unit + ": its child map " + std::to_string(child) + " hangs below another unit");
        }
      }
    }
  }
};

}  // namespace

std::string modelText(const Model& model) {
  std::string out = std::string(kFormatName) + " " + std::to_string(Model::kVersion) + "\n";
  const int components = model.components();
  out += "components " + std::to_string(components) + "\n";
  for (int i = 0; i < components; i++) {
    out += "component " + std::to_string(i);
    if (!model.componentNames[i].empty()) {
      out += ' ';
      appendEncoded(out, model.componentNames[i]);
    }
    out += '\n';
  }
  out += std::string("normalisation ") + kNormalisations[model.normalisation] + "\n";
  for (size_t i = 0; i < model.intervalDivisors.size(); i++) {
    out += "divisor " + std::to_string(i) + " ";
    appendFloat(out, model.intervalDivisors[i]);
    out += '\n';
  }
  out += "mqe0 ";
  appendFloat(out, model.mqe0);
  out += "\nvectors " + std::to_string(model.vectors) + "\n";
  for (const Model::Setting& s : model.settings) {
    out += "setting ";
    appendEncoded(out, s.key, '=');
    if (s.set) {
      out += '=';
      appendEncoded(out, s.value);
    }
    out += '\n';
  }
  out += "maps " + std::to_string(model.maps.size()) + "\n";
  for (const Model::Map& map : model.maps) appendMap(out, map, components);
  out += "end\n";
  return out;
}

Model parseModel(std::string_view text, const std::string& name) { return ModelReader(text, name).read(); }

Model readModelFile(const std::string& name) { return parseModel(modelFileText(name), name); }

std::string modelFileText(const std::string& name) {
  FILE* file = openForReading(name.c_str());
  if (file == nullptr) fail("model " + escapedInput(name) + " not found");
  std::string text;
  char block[1 << 16];
  for (size_t got; (got = fread(block, 1, sizeof block, file)) > 0;) text.append(block, got);
  const bool failed = ferror(file) != 0;
  fclose(file);
  if (failed) fail("model " + escapedInput(name) + " could not be read");
  return text;
}
