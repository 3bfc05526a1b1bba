#ifndef VELMAR_OUTPUT_KNOWNCLASSES_H
#define VELMAR_OUTPUT_KNOWNCLASSES_H

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "io/classfile.h"
#include "vector.h"

class DataItem;

// The class of every input vector, from the entries of a class file matched
// to the identifiers of the input list. A vector whose identifier the file
// does not name is of class "(none)"; identifiers of the file that name no
// vector are only counted.
class KnownClasses {
 public:
  static constexpr const char* kNone = "(none)";

  KnownClasses(const std::vector<ClassEntry>& entries, Data_Vector* items);
  // The class of each vector of the list given in list order (one each;
  // a library caller's known classes): classes in the order they first come.
  static std::unique_ptr<KnownClasses> ofEachVector(const std::vector<std::string>& classOfEach, Data_Vector* items);

  // The classes of the input vectors, in the order the file first names
  // them; "(none)" last, when some vector has no class.
  const std::vector<std::string>& names() const { return names_; }
  // The index into names() of a vector of the input list.
  int classOf(const DataItem* item) const;
  // How many identifiers of the file name no input vector.
  long long unknownIdentifiers() const { return unknown_; }
  // How many input vectors the file gives no class.
  long long vectorsWithoutClass() const { return without_; }
  // How many classes the file gives the input vectors.
  int classesGiven() const { return given_; }
  // The number of input vectors of each class, in the order of names().
  const std::vector<long long>& vectorsPerClass() const { return sizes_; }

 private:
  KnownClasses() = default;

  std::vector<std::string> names_;
  std::unordered_map<const DataItem*, int> classOf_;
  std::vector<long long> sizes_;
  long long unknown_ = 0;
  long long without_ = 0;
  int given_ = 0;
};

#endif
