#ifndef VELMAR_IO_MODELFILE_H
#define VELMAR_IO_MODELFILE_H

#include <string>
#include <string_view>
#include <vector>

// A trained hierarchy as a model that maps new vectors, and its file: plain
// text, one record per line, fields separated by one blank, lines ended by
// LF. Version 1:
//
//   velmar-model 1
//   components N
//   component I NAME                 N lines, I = 0 .. N-1
//   normalisation NONE|LENGTH|INTERVAL
//   divisor I VALUE                  N lines with INTERVAL only
//   mqe0 VALUE
//   vectors COUNT                    the number of training vectors
//   setting KEY=VALUE                every setting of the run (KEY alone: not set)
//   maps M
//   map GID LEVEL COLUMNS ROWS PARENT PARENT_COLUMN PARENT_ROW
//   unit GID COLUMN ROW CHILD W0 .. WN-1   COLUMNS x ROWS lines after their map, row by row
//   end
//
// Maps are listed in training order (the first-layer map first, parents
// before children); the first-layer map's parent is 0 0 0. CHILD is the gid
// of the unit's child map, 0 for none. Numbers are written so that they read
// back as the very same floats (the shortest such decimal); names, setting
// keys and setting values are percent-encoded (every byte outside "!" .. "~",
// and "%", as %XX; in a key "=" too), an empty name is left out.
struct Model {
  static constexpr int kVersion = 1;

  struct Map {
    int gid = 0;
    int level = 0;
    int columns = 0;
    int rows = 0;
    int parentGid = 0;  // 0 for the first-layer map
    int parentColumn = 0;
    int parentRow = 0;
    std::vector<int> childGid;   // per unit in scan order (row by row); 0: no child
    std::vector<float> weights;  // units x components, in scan order
  };

  std::vector<std::string> componentNames;
  int normalisation = 0;                // 0 NONE, 1 LENGTH, 2 INTERVAL
  std::vector<float> intervalDivisors;  // INTERVAL: per component; 0 leaves the component as it is
  float mqe0 = 0.0f;
  long long vectors = 0;
  // The settings of the run, for the record: key, value; `set` false for an unset text.
  struct Setting {
    std::string key;
    std::string value;
    bool set = true;
  };
  std::vector<Setting> settings;
  std::vector<Map> maps;  // in training order, the first-layer map first

  int components() const { return static_cast<int>(componentNames.size()); }
};

// The text of the model file.
std::string modelText(const Model& model);

// Reads a model file's text. Anything that is not a complete, consistent
// model of this version (truncated, another version, a wrong count, a
// non-number, a weight or divisor that is not finite, an MQE0 that is
// negative or NaN (an infinite one is what training writes when its squared
// distances overflow), a whole number that is not plain digits, a child map
// that does not exist or whose parent is another unit, levels that do not
// go down by one) ends the run with one line "model NAME ...", naming the
// line where it can.
Model parseModel(std::string_view text, const std::string& name);

// Reads and parses the file; a file that cannot be read ends the run.
Model readModelFile(const std::string& name);
// The file's text; a file that cannot be read ends the run.
std::string modelFileText(const std::string& name);

#endif
