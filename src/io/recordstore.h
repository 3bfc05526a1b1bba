#ifndef VELMAR_IO_RECORDSTORE_H
#define VELMAR_IO_RECORDSTORE_H

#include <cstddef>
#include <memory>
#include <vector>

#include "io/record.h"

// Keeps records, copied as they are read, compactly in large blocks until
// they are taken out again, in the same order and each once. A block is
// released as soon as its last record is taken out, so turning the records
// into something else, one by one, needs little more memory than the result.
// (Sparse vectors are kept so until their component count is known.)
class RecordStore {
 public:
  RecordStore() = default;
  RecordStore(const RecordStore&) = delete;
  RecordStore& operator=(const RecordStore&) = delete;

  // Copies the identifier, the values and, if any, the indices. The line is
  // kept too.
  void add(const Record& record);
  // The records added and not yet taken out.
  long size() const { return added_ - taken_; }
  // The next record in the order added, valid until the next call; false
  // when none is left.
  bool takeNext(Record& record);

 private:
  struct Block {
    std::unique_ptr<char[]> bytes;
    size_t capacity;
    size_t used;
  };
  static constexpr size_t kBlockSize = size_t{1} << 16;

  // Room for `bytes` more bytes at the end of the last block, or of a new one.
  char* room(size_t bytes);

  std::vector<Block> blocks_;
  size_t readBlock_ = 0;   // the block of the next record to take out
  size_t readOffset_ = 0;  // its place there
  long added_ = 0;
  long taken_ = 0;
};

#endif
