#include "api/memoryrows.h"

#include <climits>
#include <cmath>
#include <cstring>

#include "base/failure.h"
#include "io/inputfailure.h"

namespace {

using velmar::ValueType;

// The float a command-line run reads for a value: its decimal text read as a
// double (exactly the value, for every type here), then rounded to float.
template <class T>
inline float asRead(const void* data, long long at) {
  return static_cast<float>(static_cast<double>(static_cast<const T*>(data)[at]));
}

inline float valueAt(const void* data, ValueType type, long long at) {
  switch (type) {
    case ValueType::Float32:
      return static_cast<const float*>(data)[at];
    case ValueType::Float64:
      return asRead<double>(data, at);
    case ValueType::Int32:
      return asRead<int32_t>(data, at);
    case ValueType::Int64:
      return asRead<int64_t>(data, at);
  }
  return 0.0f;
}

inline long long indexAt(const void* data, ValueType type, long long at) {
  return type == ValueType::Int32 ? static_cast<const int32_t*>(data)[at] : static_cast<const int64_t*>(data)[at];
}

bool isIndexType(ValueType type) { return type == ValueType::Int32 || type == ValueType::Int64; }

}  // namespace

MemoryRows::MemoryRows(const velmar::Vectors& vectors, const std::string& what)
    : dense_(vectors.dense), sparse_(vectors.sparse), rows_(0), columns_(0) {
  if ((dense_ == nullptr) == (sparse_ == nullptr)) {
    fail(what + ": give either a dense or a sparse matrix");
  }
  rows_ = dense_ != nullptr ? dense_->rows : sparse_->rows;
  columns_ = dense_ != nullptr ? dense_->columns : sparse_->columns;
  if (rows_ <= 0 || columns_ <= 0) {
    fail(what + " holds " + std::to_string(rows_) + " vectors of " + std::to_string(columns_) +
         " components: it needs at least one of each");
  }
  if (columns_ > INT_MAX) {
    fail(what + " has " + std::to_string(columns_) + " components, more than " + std::to_string(INT_MAX));
  }
  if (sparse_ != nullptr) {
    checkSparse(what);
  }
}

void MemoryRows::checkSparse(const std::string& what) const {
  const velmar::SparseMatrix& m = *sparse_;
  if (!isIndexType(m.rowStartType) || !isIndexType(m.indexType)) {
    fail(what + ": row starts and indices must be integers");
  }
  if (indexAt(m.rowStarts, m.rowStartType, 0) != 0) {
    fail(what + ": the first row does not start at 0");
  }
  for (long long r = 0; r < rows_; r++) {
    const long long begin = indexAt(m.rowStarts, m.rowStartType, r);
    const long long end = indexAt(m.rowStarts, m.rowStartType, r + 1);
    if (end < begin) {
      fail(what + ": row " + std::to_string(r) + " ends before it starts");
    }
    long long previous = -1;
    for (long long k = begin; k < end; k++) {
      const long long index = indexAt(m.indices, m.indexType, k);
      if (index <= previous || index >= columns_) {
        fail(what + ": row " + std::to_string(r) + " lists column " + std::to_string(index) +
             (index >= columns_ || index < 0
                  ? ", beyond the " + std::to_string(columns_) + " columns"
                  : " after column " + std::to_string(previous) + " (indices must increase within a row)"));
      }
      previous = index;
    }
  }
}

bool MemoryRows::read(long long r, float* out) const {
  bool finite = true;
  if (dense_ != nullptr) {
    const long long base = r * dense_->rowStride;
    for (long long c = 0; c < columns_; c++) {
      out[c] = valueAt(dense_->data, dense_->type, base + c * dense_->columnStride);
      finite = finite && std::isfinite(out[c]);
    }
    return finite;
  }
  const velmar::SparseMatrix& m = *sparse_;
  memset(out, 0, sizeof(float) * static_cast<size_t>(columns_));
  const long long end = indexAt(m.rowStarts, m.rowStartType, r + 1);
  for (long long k = indexAt(m.rowStarts, m.rowStartType, r); k < end; k++) {
    const float value = valueAt(m.values, m.valueType, k);
    out[indexAt(m.indices, m.indexType, k)] = value;
    finite = finite && std::isfinite(value);
  }
  return finite;
}

MemoryRecords::MemoryRecords(const MemoryRows& rows, const std::vector<std::string>& ids, const std::string& name)
    : rows_(rows), ids_(ids), name_(name) {
  if (!ids_.empty() && static_cast<long long>(ids_.size()) != rows_.rows()) {
    fail(name_ + ": " + std::to_string(ids_.size()) + " identifiers for " + std::to_string(rows_.rows()) + " vectors");
  }
}

bool MemoryRecords::next(std::string& id, float* values) {
  if (next_ == rows_.rows()) {
    return false;
  }
  const long long k = next_++;
  id = ids_.empty() ? std::to_string(k + 1) : ids_[static_cast<size_t>(k)];
  if (id.find('\0') != std::string::npos) {
    fail(name_ + " vector " + std::to_string(k + 1) + ": its identifier " + shownInput(id) + " holds a NUL byte");
  }
  if (!rows_.read(k, values)) {
    fail(name_ + " vector " + std::to_string(k + 1) + " (" + shownInput(id) +
         ") holds a value that is not a finite number");
  }
  return true;
}
