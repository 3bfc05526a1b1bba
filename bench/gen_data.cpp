// Writes a deterministic benchmark data set: an input-vector file and its
// description file. The same arguments always give the same bytes.
//
//   clusters: dense vectors lying around a handful of cluster centres, so the
//             maps have structure to find and grow into;
//   text:     sparse document vectors (a few percent of the terms non-zero)
//             whose terms come mostly from the document's topic and subtopic,
//             scaled to length 1, zeros written as "0".
//
// usage: velmar_bench_data [OPTIONS] clusters VECTORS COMPONENTS CLUSTERS VECFILE DESCRFILE [SEED]
//        velmar_bench_data [OPTIONS] text VECTORS TERMS TOPICS VECFILE DESCRFILE [SEED [DENSITY]]
//        velmar_bench_data VECTORS COMPONENTS CLUSTERS VECFILE DESCRFILE   (clusters)
// options: --format=vectors|csv|sparse  how VECFILE is written: the
//                                       input-vector file (the default), a
//                                       table with a header row and the
//                                       identifier first, or sparse lines
//                                       "ID index:value ..." without zeros;
//                                       the same numbers in each
//          --density=D                  text: about this share of the terms
//                                       non-zero, each document between
//                                       D/2 and 3D/2 (default: 0.02 to 0.06
//                                       of the terms drawn, repeats
//                                       included)

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const uint64_t kDefaultSeed = 20240601u;

// A fixed 64-bit linear congruential generator: the same numbers everywhere.
struct Lcg {
  uint64_t state;
  double next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / 9007199254740992.0;  // [0, 1)
  }
  // An index in 0 .. n-1.
  int below(int n) {
    int k = static_cast<int>(next() * n);
    return k < n ? k : n - 1;
  }
};

// Buffered output: formatting with to_chars and writing in large blocks keeps
// a million-line file to a couple of seconds. Any write error ends the program.
class Output {
 public:
  explicit Output(const char* name) : name_(name), file_(fopen(name, "w")) {
    if (file_ == nullptr) {
      fprintf(stderr, "cannot write %s\n", name);
      exit(1);
    }
    buffer_.reserve(kBlock + sizeof scratch_);
  }
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void text(const char* s) {
    buffer_.append(s);
    flushIfFull();
  }
  void text(const std::string& s) { text(s.c_str()); }
  void character(char c) {
    buffer_.push_back(c);
    flushIfFull();
  }
  void integer(long long v) { append(std::to_chars(scratch_, scratch_ + sizeof scratch_, v)); }
  // Exactly what printf's "%.<decimals>f" writes: both round the exact binary
  // value correctly.
  void fixed(double v, int decimals) {
    append(std::to_chars(scratch_, scratch_ + sizeof scratch_, v, std::chars_format::fixed, decimals));
  }

  void close() {
    flush();
    if (ferror(file_) != 0 || fclose(file_) != 0) {
      fprintf(stderr, "error writing %s\n", name_);
      exit(1);
    }
    file_ = nullptr;
  }

 private:
  static const size_t kBlock = 1 << 20;

  void append(std::to_chars_result r) {
    if (r.ec != std::errc()) {
      fprintf(stderr, "a number does not fit its field\n");
      exit(1);
    }
    buffer_.append(scratch_, r.ptr);
    flushIfFull();
  }
  void flushIfFull() {
    if (buffer_.size() >= kBlock) flush();
  }
  void flush() {
    if (!buffer_.empty() && fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
      fprintf(stderr, "error writing %s\n", name_);
      exit(1);
    }
    buffer_.clear();
  }

  const char* name_;
  FILE* file_;
  std::string buffer_;
  char scratch_[400];  // room for any double in fixed notation
};

enum class Format { Vectors, Csv, Sparse };

// The vectors of a data set, written in one of the formats; each vector is
// begin(id), then every component (value or zero) in order, then end().
class VectorFile {
 public:
  VectorFile(const char* name, Format format, int vectors, const std::vector<std::string>& names);
  VectorFile(const VectorFile&) = delete;
  VectorFile& operator=(const VectorFile&) = delete;

  void begin(const std::string& id) {
    id_ = id;
    component_ = 0;
    if (format_ != Format::Vectors) out_.text(id_);
  }
  void fixed(double v, int decimals) {
    separate();
    out_.fixed(v, decimals);
    after();
  }
  void formatted(const char* text) {
    separate();
    out_.text(text);
    after();
  }
  void zero() {
    if (format_ != Format::Sparse)
      formatted("0");
    else
      component_++;
  }
  void end() {
    if (format_ == Format::Vectors) out_.text(id_);
    out_.character('\n');
  }
  void close() { out_.close(); }

 private:
  void separate() {
    if (format_ == Format::Csv) out_.character(',');
    if (format_ == Format::Sparse) {
      out_.character(' ');
      out_.integer(component_ + 1);
      out_.character(':');
    }
  }
  void after() {
    if (format_ == Format::Vectors) out_.character(' ');
    component_++;
  }

  Output out_;
  Format format_;
  std::string id_;
  int component_ = 0;
};

void header(Output& out, const char* type, int xdim, int ydim, int dim);

VectorFile::VectorFile(const char* name, Format format, int vectors, const std::vector<std::string>& names)
    : out_(name), format_(format) {
  if (format == Format::Vectors) header(out_, "vectors", vectors, 1, static_cast<int>(names.size()));
  if (format == Format::Csv) {
    out_.text("id");
    for (const std::string& n : names) {
      out_.character(',');
      out_.text(n);
    }
    out_.character('\n');
  }
}

void header(Output& out, const char* type, int xdim, int ydim, int dim) {
  out.text("$TYPE ");
  out.text(type);
  out.text("\n$XDIM ");
  out.integer(xdim);
  out.text("\n$YDIM ");
  out.integer(ydim);
  out.text("\n$VEC_DIM ");
  out.integer(dim);
  out.character('\n');
}

// The description file: one line "INDEX NAME x" per component.
void writeDescription(const char* descrName, const std::vector<std::string>& names) {
  Output descr(descrName);
  const int components = static_cast<int>(names.size());
  header(descr, "template", 3, components, components);
  for (int k = 0; k < components; k++) {
    descr.integer(k);
    descr.character(' ');
    descr.text(names[static_cast<size_t>(k)]);
    descr.text(" x\n");
  }
  descr.close();
}

// Vector i belongs to cluster i % clusters; each component is the centre's
// plus a bell-shaped noise of +-0.15 (the sum of three uniforms, centred).
void writeClusters(int vectors, int components, int clusters, uint64_t seed, Format format, const char* vecName,
                   const char* descrName) {
  Lcg rng{seed};
  std::vector<double> centre(static_cast<size_t>(clusters) * components);
  for (double& c : centre) c = rng.next();
  std::vector<std::string> names;
  for (int k = 0; k < components; k++) names.push_back("comp" + std::to_string(k));

  VectorFile vec(vecName, format, vectors, names);
  for (int i = 0; i < vectors; i++) {
    const int c = i % clusters;
    vec.begin("c" + std::to_string(c) + "_" + std::to_string(i));
    for (int k = 0; k < components; k++) {
      double noise = (rng.next() + rng.next() + rng.next() - 1.5) * 0.1;
      vec.fixed(centre[static_cast<size_t>(c) * components + k] + noise, 5);
    }
    vec.end();
  }
  vec.close();
  writeDescription(descrName, names);
}

// ---- text-like documents ----

// Indices 0 .. size-1 where index r weighs 1/(r+1): a few are common, most rare.
class FallingWeights {
 public:
  explicit FallingWeights(int size) {
    double total = 0.0;
    for (int r = 0; r < size; r++) {
      total += 1.0 / (r + 1);
      cumulative_.push_back(total);
    }
  }
  int draw(Lcg& rng) const {
    const double u = rng.next() * cumulative_.back();
    size_t r = 0;
    while (r + 1 < cumulative_.size() && cumulative_[r] <= u) r++;
    return static_cast<int>(r);
  }

 private:
  std::vector<double> cumulative_;
};

// A topic's (or subtopic's) terms, drawn at random from the vocabulary; the
// first ones are its most frequent.
struct TermList {
  std::vector<int> terms;
  FallingWeights rank;

  TermList(Lcg& rng, int size, int vocabulary) : rank(size) {
    for (int r = 0; r < size; r++) terms.push_back(rng.below(vocabulary));
  }
  int draw(Lcg& rng) const { return terms[static_cast<size_t>(rank.draw(rng))]; }
};

const int kSubtopics = 4;
const double kTopicShare = 0.25;  // draws from the topic's terms
// Draws from the subtopic's terms, by subtopic; the rest are any term. The
// common subtopics are diffuse, the rare ones tight (their documents nearly
// alike), so maps meet groups of very different spread.
const double kSubtopicShare[kSubtopics] = {0.1, 0.3, 0.5, 0.7};

// Distinct pronounceable names: the index written in base 20 with syllables.
std::string termName(int index) {
  static const char* const kSyllables[20] = {"ka", "lo", "mi", "nu", "pe", "ra", "si", "to", "vu", "we",
                                             "ba", "de", "fo", "gu", "hi", "jo", "ku", "li", "mo", "ne"};
  std::string name;
  int rest = index;
  do {
    name.insert(0, kSyllables[rest % 20]);
    rest /= 20;
  } while (rest > 0);
  return name.size() < 4 ? "ta" + name : name;
}

// How many terms a document draws: 2 + a share of the vocabulary spread
// evenly over [low, low + spread).
struct DrawShare {
  double low;
  double spread;
};
const DrawShare kDefaultDraws = {0.02, 0.04};  // 2 to 6 %

// Each document picks a topic and one of its subtopics (the first ones more
// often), draws 2 + a share of the vocabulary as terms (repeats raise a
// term's count), weighs each term 1 + ln(count) and is scaled to length 1;
// values have four decimals.
void writeText(int vectors, int terms, int topics, uint64_t seed, double density, DrawShare share, Format format,
               const char* vecName, const char* descrName) {
  Lcg rng{seed};
  const int topicSize = terms / topics > 5 ? terms / topics : 5;
  const int subtopicSize = topicSize / 3 > 3 ? topicSize / 3 : 3;
  std::vector<TermList> topicTerms, subtopicTerms;
  for (int t = 0; t < topics; t++) {
    topicTerms.emplace_back(rng, topicSize, terms);
    for (int s = 0; s < kSubtopics; s++) subtopicTerms.emplace_back(rng, subtopicSize, terms);
  }
  const FallingWeights topicChoice(topics), subtopicChoice(kSubtopics);
  std::vector<std::string> names;
  for (int k = 0; k < terms; k++) names.push_back(termName(k));

  VectorFile vec(vecName, format, vectors, names);
  std::vector<int> count(terms, 0);
  std::vector<int> used;
  std::vector<double> weight(terms, 0.0);
  char formatted[64];
  for (int i = 0; i < vectors; i++) {
    const int topic = topicChoice.draw(rng);
    const int sub = subtopicChoice.draw(rng);
    const TermList& subtopic = subtopicTerms[static_cast<size_t>(topic) * kSubtopics + sub];
    // Without --density: so many draws, repeats included, a share of the
    // vocabulary (2 to 6 % unless DENSITY says otherwise; the same bytes as
    // always by default); with it: draws until so many distinct terms.
    const double u0 = rng.next();
    const int draws =
        2 + static_cast<int>(density > 0.0 ? terms * density * (0.5 + u0) : terms * (share.low + share.spread * u0));
    const int distinct = draws < terms ? draws : terms;
    used.clear();
    for (int d = 0; density > 0.0 ? static_cast<int>(used.size()) < distinct : d < draws; d++) {
      const double u = rng.next();
      const int term = u < kTopicShare                         ? topicTerms[topic].draw(rng)
                       : u < kTopicShare + kSubtopicShare[sub] ? subtopic.draw(rng)
                                                               : rng.below(terms);
      if (count[term]++ == 0) used.push_back(term);
    }
    double length = 0.0;
    for (int term : used) {
      weight[term] = 1.0 + std::log(static_cast<double>(count[term]));
      length += weight[term] * weight[term];
    }
    length = std::sqrt(length);
    vec.begin("doc" + std::to_string(i));
    for (int k = 0; k < terms; k++) {
      if (count[k] == 0) {
        vec.zero();
        continue;
      }
      auto r =
          std::to_chars(formatted, formatted + sizeof formatted - 1, weight[k] / length, std::chars_format::fixed, 4);
      *r.ptr = '\0';
      if (strcmp(formatted, "0.0000") == 0) {
        vec.zero();
      } else {
        vec.formatted(formatted);
      }
    }
    vec.end();
    for (int term : used) count[term] = 0;
  }
  vec.close();
  writeDescription(descrName, names);
}

// A whole number from 1 to `limit`, or -1.
long long count(const char* text, long long limit) {
  char* end = nullptr;
  errno = 0;
  long long v = strtoll(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || v < 1 || v > limit) return -1;
  return v;
}

int usage(const char* program) {
  fprintf(stderr,
          "usage: %s [OPTIONS] clusters VECTORS COMPONENTS CLUSTERS VECFILE DESCRFILE [SEED]\n"
          "       %s [OPTIONS] text VECTORS TERMS TOPICS VECFILE DESCRFILE [SEED [DENSITY]]\n"
          "       %s VECTORS COMPONENTS CLUSTERS VECFILE DESCRFILE\n"
          "options: --format=vectors|csv|sparse   --density=D (text, 0 < D <= 1: distinct terms)\n",
          program, program, program);
  return 1;
}

// Reads the leading --format and --density options; false on anything else
// that starts with "--".
bool readOptions(int& argc, char**& argv, Format& format, double& density) {
  while (argc > 1 && strncmp(argv[1], "--", 2) == 0) {
    const std::string option = argv[1];
    if (option == "--format=vectors") {
      format = Format::Vectors;
    } else if (option == "--format=csv") {
      format = Format::Csv;
    } else if (option == "--format=sparse") {
      format = Format::Sparse;
    } else if (option.rfind("--density=", 0) == 0) {
      char* end = nullptr;
      density = strtod(option.c_str() + 10, &end);
      if (*end != '\0' || !(density > 0.0 && density <= 1.0)) return false;
    } else {
      return false;
    }
    argv[1] = argv[0];
    argv++;
    argc--;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  Format format = Format::Vectors;
  double density = 0.0;  // none: the text mode's own
  if (!readOptions(argc, argv, format, density)) return usage(argv[0]);
  // The form without a mode name is the clusters mode.
  const bool named = argc > 1 && (strcmp(argv[1], "clusters") == 0 || strcmp(argv[1], "text") == 0);
  const bool text = named && strcmp(argv[1], "text") == 0;
  char** args = named ? argv + 2 : argv + 1;
  const int given = argc - (named ? 2 : 1);
  if (given != 5 && !(named && given == 6) && !(text && given == 7)) return usage(argv[0]);

  const long long vectors = count(args[0], 1000000000), components = count(args[1], 1000000),
                  groups = count(args[2], 1000000);
  if (vectors < 1 || components < 1 || groups < 1) {
    fprintf(stderr, "counts must be whole numbers from 1 (vectors up to 10^9, the others up to 10^6)\n");
    return 1;
  }
  uint64_t seed = kDefaultSeed;
  if (given >= 6) {
    char* end = nullptr;
    errno = 0;
    seed = strtoull(args[5], &end, 10);
    if (end == args[5] || *end != '\0' || errno != 0) {
      fprintf(stderr, "the seed must be a whole number\n");
      return 1;
    }
  }
  // DENSITY: the mean share of the vocabulary a document draws, in percent
  // (from half of it to one and a half times it); without it 2 to 6 %.
  DrawShare share = kDefaultDraws;
  if (given == 7) {
    char* end = nullptr;
    const double percent = strtod(args[6], &end);
    if (end == args[6] || *end != '\0' || !(percent > 0.0 && percent <= 50.0)) {
      fprintf(stderr, "the density must be a percentage above 0 and at most 50\n");
      return 1;
    }
    share = {percent / 200.0, percent / 100.0};
  }
  if (text) {
    writeText(static_cast<int>(vectors), static_cast<int>(components), static_cast<int>(groups), seed, density, share,
              format, args[3], args[4]);
  } else {
    writeClusters(static_cast<int>(vectors), static_cast<int>(components), static_cast<int>(groups), seed, format,
                  args[3], args[4]);
  }
  return 0;
}
