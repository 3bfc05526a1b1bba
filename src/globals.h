#ifndef VELMAR_GLOBALS_H
#define VELMAR_GLOBALS_H

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "vector.h"

class BuiltRun;
class DataItem;
class DataLoader;
class NeuronLayer;
class Workers;
struct OutputSettings;

// What saveHFMAs (and NeuronLayer::saveAs) writes of every map: its HTML page
// or its three map-library files. Any other value writes nothing.
enum class SaveKind : int { HtmlPage = 0, MapLibrary = 2 };

// Static state of a run: the settings read from the property file, the vector
// arithmetic and the one random sequence, the registry of maps by level and
// the driver that builds and trains the hierarchy. No instance is ever made.
class Globals {
 public:
  Globals() = delete;

  // ---- Settings (property file) ----
  // Defined, with their defaults, by the table of settings (settings/settingtable.cpp).
  static int EXPAND_CYCLES;
  static int MAX_CYCLES;
  static float TAU_1;
  static float INITIAL_LEARNRATE;
  static int INITIAL_NEIGHBOURHOOD;
  static float NEIGHBOURHOOD_FALLOFF;
  static float TAU_2;
  static const char* HTML_PREFIX;
  static const char* DATAFILE_EXTENSION;
  static unsigned int randomSeed;
  static const char* inputFile;
  static const char* descriptionFile;
  static const char* savePath;
  static bool printMQE;
  static int normInputVectors;  // 0 NONE, 1 LENGTH, 2 INTERVAL
  static bool SAVE_AS_HTML;
  static bool SAVE_AS_CARTIX;
  static bool SAVE_OVERVIEW;
  static bool SAVE_ASSIGNMENTS;
  static bool SAVE_SUMMARY;
  static const char* classFile;
  static bool SAVE_MODEL;
  static int INITIAL_X_SIZE;
  static int INITIAL_Y_SIZE;
  static int LABELS_NUM;
  static bool LABELS_ONLY;
  static float LABELS_THRESHOLD;
  static bool ORIENTATION;
  static const char* MQE0_FILE;
  static const char* inputFormat;  // "vectors", "csv" or "sparse"
  static const char* separator;    // of a csv table: ",", ";", "tab" or a tab
  static const char* idColumn;     // of a csv table; nullptr: chosen by the first data row
  static int components;           // of sparse vectors; 0: from the description file or the largest index
  static int threads;              // threads of the training: 0 = as many as pay (the team judges as it goes)
  static bool quiet;               // the console leaves out the per-vector "added" lines and the progress dots

  // ---- Values the property file cannot set ----
  static int vectorlength;  // components of every vector, from the input file
  static int numofallvecs;
  static int HTML_GID;  // the map-number counter: the next map's gid
  static const float MIN_LEARNRATE;
  static const int MIN_NEIGHBOURHOOD;
  static bool isTrained;
  static bool randomSeedGiven;  // whether the property file seeded the random sequence

  // ---- Run state ----
  static Data_Vector* dataItems;
  static Vector_Vector* layers;  // the registry: the maps of level L at index L
  static DataLoader* currentDataLoader;
  static NeuronLayer* hfm;  // the level-0 map, root of the hierarchy
  static clock_t startTime;
  static clock_t stopTime;
  static float trainingTime;

  // ---- Random source: one shared srand/rand sequence ----
  static void setRandom(unsigned int seed);
  static float getRandom();
  static int getIntRandom();

  // ---- Vector arithmetic on arrays of vectorlength floats ----
  // Every expression is evaluated in double from float operands; each stored
  // value (result component or running sum) is rounded to float.
  // Scales vec in place to length 1 (a zero vector stays); returns it.
  static float* normVec(float* vec);
  // Divides every component by its largest value over the list, where that
  // is above 0; with `divisors`, keeps there the largest value of every
  // component (0 where none is above 0), for the model of the run.
  static Data_Vector* normIntervalVector(Data_Vector* vec, std::vector<float>* divisors = nullptr);
  // Divides component j of vec by divisors[j] where that is above 0: the
  // division of normIntervalVector, for one vector.
  static void divideByIntervalDivisors(float* vec, const float* divisors);
  // The squared Euclidean distance (no square root), despite its name: every
  // "distance" and "error" of the program is built on it.
  static float calcQE(const float* v1, const float* v2);
  // calcQE of an input vector's values and w.
  static float calcQE(const DataItem* item, const float* w);
  // The float sum, in list order, of calcQE of every vector of the list to w.
  static float sumQE(Data_Vector* items, const float* w);
  // Results of the arithmetic below are new arrays the caller releases with free.
  static float* meanVector(Data_Vector* dItems, int dataLength);
  static float* meanWeights(const float* w1, const float* w2);
  static float* vectorDiff(const float* a, const float* b);
  static float* vectorDiffMean(const float* a, const float* b);
  static float* vectorAdd(const float* a, const float* b);
  static float* vectorAddMean(const float* a, const float* b);
  static float* vectorAdd3(const float* a, const float* b, const float* c);
  static float* vectorAdd3Mean(const float* a, const float* b, const float* c);
  // The two forms a child map's corners are built from (NeuronLayer::getNewWeights), each
  // intermediate vector rounded to float: halfway from t to n, t + (n - t) / 2; and t plus
  // the mean offset towards a, b and c, t + ((a - t) + (b - t) + (c - t)) / 3.
  static float* vectorHalfway(const float* t, const float* n);
  static float* vectorMeanOffset(const float* t, const float* a, const float* b, const float* c);

  // ---- Map registry ----
  static void addLayer(int level, NeuronLayer* nl);
  static Layer_Vector* getLayerAt(int level);
  static NeuronLayer* getFirstLayerMap();

  // ---- Hierarchy driver ----
  static void initHFM();
  static void trainHFM();
  // Writes every map's page or map-library files (in forEachMap's order), showing `shown`.
  static void saveHFMAs(SaveKind what, const OutputSettings& shown);
  // The one walk over the hierarchy: visit(map) for every map but the
  // level-0 map, breadth-first in training order (the first-layer map, then
  // every map of level 2 in registration order, then level 3, ...). Levels
  // and their sizes are read afresh before each step, so a visit may register
  // maps one level deeper (training does) and they are visited in turn.
  template <class Visit>
  static void forEachMap(Visit visit);

  // ---- Threads ----
  // The team of threads of the run (as many as the setting `threads` asks
  // for), started on first use and kept until releaseRun.
  static Workers& team();

  // ---- Run-control helpers ----
  // A zero-terminated copy of `text` that lives until releaseRun: the
  // property texts that the text settings point to.
  static const char* keepText(std::string_view text);
  // Releases what a run built (the hierarchy, the registry, the input list,
  // the loader with its names and the kept texts) and leaves empty start-up
  // objects, so another run can follow in the same process. The settings are
  // left as they are.
  static void releaseRun();
  // Takes what a run built (the hierarchy, the registry, the input list, the
  // loader, the kept texts, the counts and the training time) out of
  // Globals, leaving a fresh process's start-up state; attachRun puts it
  // back, releasing what was there. So several trained hierarchies can live
  // in one process, one of them in Globals at a time. The settings are not
  // part of it (settings/settingsnapshot.h keeps those).
  static BuiltRun detachRun();
  static void attachRun(BuiltRun&& run);
  // A new zero-filled float array; running out of memory ends the run.
  static float* newVector(long long length);
  // A zero-terminated copy of `text` (released with free).
  static char* newText(std::string_view text);

 private:
  // Exchanges what a run built between Globals and `run`.
  static void swapRun(BuiltRun& run);
};

// What a run built, set aside by Globals::detachRun; released when destroyed
// unless attached again.
class BuiltRun {
 public:
  BuiltRun() = default;
  ~BuiltRun();
  BuiltRun(BuiltRun&& other) noexcept;
  BuiltRun& operator=(BuiltRun&& other) noexcept;
  BuiltRun(const BuiltRun&) = delete;
  BuiltRun& operator=(const BuiltRun&) = delete;

 private:
  friend class Globals;
  Data_Vector* dataItems = nullptr;
  Vector_Vector* layers = nullptr;
  DataLoader* loader = nullptr;
  NeuronLayer* hfm = nullptr;
  std::vector<char*> keptTexts;
  int vectorlength = 0;
  int numofallvecs = 0;
  int htmlGid = 0;
  bool isTrained = false;
  clock_t startTime = 0;
  clock_t stopTime = 0;
  float trainingTime = 0.0f;

  // Releases the hierarchy, the lists and the texts held; leaves it empty.
  void release();
};

template <class Visit>
void Globals::forEachMap(Visit visit) {
  visit(getFirstLayerMap());
  for (int level = 2; getLayerAt(level) != nullptr; level++) {
    for (int i = 0; i < getLayerAt(level)->size(); i++) {
      visit(getLayerAt(level)->elementAt(i));
    }
  }
}

#endif
