#ifndef VELMAR_API_VELMAR_H
#define VELMAR_API_VELMAR_H

// velmar as a library: train a hierarchy from vectors held in memory, ask it
// for what a command-line run writes (the model, the summary, each vector's
// unit, the files of a run), and map vectors through a model. The command
// line (main.cpp) and the Python module are both users of this header.
//
// The trainer keeps its run in process-wide state, so the calls of this
// header run one at a time: each takes one process-wide lock for its whole
// length (another thread's call waits). A trained hierarchy is set aside
// between calls and brought back for the calls that need it, so any number
// of them can live in one process.
//
// A failure ends the call with an Error carrying the one line the command
// line would print; nothing of the failed call is left behind, and the next
// call starts as a fresh process would. Warnings (velmar: warning: ...) go to
// standard error unless a handler is set (base/warning.h).

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velmar {

// A call that failed, with the message the command line prints for it.
class Error : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A training run that was asked to stop (requestStop) before it ended.
class Stopped : public Error {
 public:
  using Error::Error;
};

// Asks a training run in progress, on any thread, to stop soon (within a few
// milliseconds of work); it then ends with Stopped. Asking when no run is in
// progress stops nothing: every run forgets earlier requests as it starts.
void requestStop();

// ---- Settings ----

// Property-file keys and values, applied in order on top of the defaults,
// exactly as the pairs of a property file are (lenient numbers, switches on
// for exactly "true", warnings for slips).
using Settings = std::vector<std::pair<std::string, std::string>>;

// One row of the table of settings: its key, its kind ("integer", "real",
// "seed", "switch", "normalisation", "text"), its default as the help shows
// it, and its line of help.
struct SettingInfo {
  std::string key;
  std::string kind;
  std::string shownDefault;
  std::string help;
};
std::vector<SettingInfo> settingTable();

// The value every setting takes after `pairs` are applied to the defaults,
// as the command line would read them, as text ("0.25", "true", "LENGTH";
// none for an unset text, or for randomSeed when no pair seeds), with the
// command line's warnings for slips (the pairs counted as lines of a file).
std::vector<std::pair<std::string, std::optional<std::string>>> readSettings(const Settings& pairs);

// The key and value pairs of a property file, as the command line reads
// them (every "=" ends a key; the value runs to the line's end).
Settings readPropertyFile(const std::string& path);

// ---- Vectors in memory ----

enum class ValueType { Float32, Float64, Int32, Int64 };

// A dense matrix, one vector a row: value (r, c) at data[r * rowStride +
// c * columnStride], counted in values of `type`. Each value becomes the
// float that the command line reads from its decimal text: the nearest
// float to the value as a double.
struct DenseMatrix {
  const void* data = nullptr;
  ValueType type = ValueType::Float64;
  long long rows = 0;
  long long columns = 0;
  long long rowStride = 0;
  long long columnStride = 1;
};

// A sparse matrix in compressed rows: the values of row r are values[k] at
// column indices[k] (0-based) for k from rowStarts[r] to rowStarts[r + 1] -
// 1; columns not listed are 0. Within a row the indices may come in any
// order but must not repeat. rowStarts and indices are Int32 or Int64.
struct SparseMatrix {
  const void* rowStarts = nullptr;
  ValueType rowStartType = ValueType::Int64;
  const void* indices = nullptr;
  ValueType indexType = ValueType::Int32;
  const void* values = nullptr;
  ValueType valueType = ValueType::Float64;
  long long rows = 0;
  long long columns = 0;
};

// Vectors to train on or to map: one of the two matrices (not owned; they
// must live for the call).
struct Vectors {
  const DenseMatrix* dense = nullptr;
  const SparseMatrix* sparse = nullptr;
};

struct TrainingInput {
  Vectors vectors;
  // One identifier per vector; empty: the vectors are numbered 1, 2, ... as
  // the rows of a table without an identifier column are.
  std::vector<std::string> ids;
  // One name per component; empty: components are named 1, 2, ... as those
  // of sparse vectors without a description file are.
  std::vector<std::string> componentNames;
  // One known class per vector (the figures then include purity, as with a
  // class file); empty: none.
  std::vector<std::string> classes;
  // What the run records as its input file ("inputFile").
  std::string name = "(memory)";
};

// ---- Training ----

struct RunOptions {
  // Where the console report of the run goes; nullptr: nowhere.
  std::ostream* console = nullptr;
  // The status line of training on standard error, even when that is not a
  // terminal.
  bool progress = false;
};

class TrainedHierarchy;

// Trains a hierarchy on `input` with `settings` (the keys of a property
// file; keys that name input files or outputs are set by the call: the run
// reads `input` as a table, or as sparse vectors, and writes nothing).
std::shared_ptr<TrainedHierarchy> train(const Settings& settings, const TrainingInput& input,
                                        const RunOptions& options = RunOptions());

// Where one vector ended: the index of its deepest map (in map-number
// order: the first-layer map is 0), its unit's index there (row by row:
// row x columns + column) and its squared distance to that unit.
struct Placement {
  int map = 0;
  int unit = 0;
  float distance = 0.0f;
};

// One map of a trained hierarchy, as the outputs show it.
struct MapInfo {
  int gid = 0;
  int level = 0;
  int parentMap = -1;  // index of the map above; -1 for the first layer
  int parentColumn = 0;
  int parentRow = 0;
  int columns = 0;
  int rows = 0;
  std::vector<float> weights;      // units x components, row by row
  std::vector<long long> vectors;  // per unit: the vectors it holds
  std::vector<float> errors;       // per unit: its summed squared distances (MQE)
  std::vector<int> childMap;       // per unit: index of its child map, -1 for none
  // Per unit: the component names that label it on the pages (at most
  // LABELS_NUM of them); empty for a model.
  std::vector<std::vector<std::string>> labels;
};

// Which files write() writes, as the switches of a property file.
struct Outputs {
  bool html = true;               // saveAsHTML
  bool overview = true;           // saveOverview
  bool assignments = true;        // saveAssignments
  bool mapLibrary = false;        // saveAsCartix
  bool summary = false;           // saveSummary
  bool model = false;             // saveModel
  std::string prefix = "map";     // HTML_PREFIX
  std::string datafileExtension;  // DATAFILE_EXTENSION
};

class TrainedHierarchy {
 public:
  ~TrainedHierarchy();
  TrainedHierarchy(const TrainedHierarchy&) = delete;
  TrainedHierarchy& operator=(const TrainedHierarchy&) = delete;

  int components() const { return components_; }
  long long vectors() const { return vectors_; }
  float mqe0() const { return mqe0_; }
  const std::vector<MapInfo>& maps() const { return maps_; }
  // Per training vector, in input order: where training left it.
  const std::vector<Placement>& placements() const { return placements_; }
  // The model file's text (saveModel), with the settings of the run.
  const std::string& modelText() const { return modelText_; }
  // The summary file's text (saveSummary); its figures are measured at the
  // first call.
  std::string summaryJson() const;
  // Writes the files a command-line run with these switches writes into
  // `folder` (which must exist), the same bytes but the clock's; the run's
  // console lines for them ("saving ...") go to `console` when given.
  void write(const std::string& folder, const Outputs& outputs, std::ostream* console = nullptr) const;

  // The run set aside, as the library's own calls bring it back.
  struct Run;

 private:
  friend std::shared_ptr<TrainedHierarchy> train(const Settings&, const TrainingInput&, const RunOptions&);
  TrainedHierarchy();

  std::unique_ptr<Run> run_;
  int components_ = 0;
  long long vectors_ = 0;
  float mqe0_ = 0.0f;
  std::vector<MapInfo> maps_;
  std::vector<Placement> placements_;
  std::string modelText_;
  mutable std::string summary_;
};

// ---- Mapping ----

class Model {
 public:
  // A model file's text, checked as the map command checks it; `name`
  // names it in messages.
  static std::shared_ptr<Model> parse(std::string_view text, const std::string& name = "model");
  static std::shared_ptr<Model> read(const std::string& path);
  ~Model();
  Model(const Model&) = delete;
  Model& operator=(const Model&) = delete;

  const std::string& text() const { return text_; }
  int components() const;
  const std::vector<std::string>& componentNames() const;
  // The settings the model's run recorded: key, value (none: not set).
  std::vector<std::pair<std::string, std::optional<std::string>>> settings() const;

  // Every unit of every map, maps in map-number order and each map's units
  // row by row: the unit numbers that map() gives. mapFirstUnit()[m] is the
  // number of map m's first unit.
  struct Unit {
    int gid;
    int level;
    int column;
    int row;
    int child;         // index of its child map, -1 for none
    std::string path;  // "column,row/column,row/..." from the first layer down
  };
  const std::vector<Unit>& units() const { return units_; }
  // Every map in map-number order, with its weights and child maps (the
  // vectors and errors of a trained run are not in a model: left empty).
  std::vector<MapInfo> maps() const;
  float mqe0() const;
  long long vectors() const;
  const std::vector<int>& mapFirstUnit() const { return mapFirstUnit_; }

  // Maps every vector (in order) down the hierarchy as the map command
  // does: for vector k, unit[k] is the number of the unit without a child
  // map where it ends and distance[k] its squared distance to it. `threads`
  // 0 uses every core; the results do not depend on it.
  void map(const Vectors& vectors, int threads, int32_t* unit, float* distance) const;

 private:
  struct Ready;
  Model();
  std::string text_;
  std::unique_ptr<Ready> ready_;
  std::vector<Unit> units_;
  std::vector<int> mapFirstUnit_;
};

// ---- The command line ----

// velmar propertyfile, -v, -h/--help, --map ...: runs the command of main's
// arguments and returns its exit status. Failures end the process with
// status 1 after their message, as they always have.
int runCommandLine(int argc, char** argv);

}  // namespace velmar

#endif
