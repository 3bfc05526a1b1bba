#include "io/recordstore.h"

#include <cstring>

namespace {

// What precedes each record's bytes; the identifier, then the indices (if
// any) and the values follow, the header, the identifier and the numbers each
// starting at a multiple of 8 bytes.
struct Header {
  size_t idSize;
  long line;
  int count;
  int sparse;
};

// memcpy wants valid pointers even for no bytes; an empty part may have none.
void copyBytes(char* to, const void* from, size_t bytes) {
  if (bytes > 0) {
    memcpy(to, from, bytes);
  }
}

size_t roundedUp(size_t bytes) { return (bytes + 7) & ~size_t{7}; }

size_t recordBytes(size_t idSize, int count, bool sparse) {
  const size_t numbers = static_cast<size_t>(count) * (sparse ? sizeof(int) + sizeof(float) : sizeof(float));
  return roundedUp(sizeof(Header)) + roundedUp(idSize) + roundedUp(numbers);
}

}  // namespace

void RecordStore::add(const Record& record) {
  const Header header{record.id.size(), record.line, record.count, record.indices != nullptr ? 1 : 0};
  char* p = room(recordBytes(header.idSize, header.count, header.sparse != 0));
  memcpy(p, &header, sizeof header);
  p += roundedUp(sizeof header);
  copyBytes(p, record.id.data(), header.idSize);
  p += roundedUp(header.idSize);
  if (header.sparse != 0) {
    copyBytes(p, record.indices, sizeof(int) * static_cast<size_t>(header.count));
    p += sizeof(int) * static_cast<size_t>(header.count);
  }
  copyBytes(p, record.values, sizeof(float) * static_cast<size_t>(header.count));
  added_++;
}

bool RecordStore::takeNext(Record& record) {
  if (taken_ == added_) {
    return false;
  }
  if (readOffset_ == blocks_[readBlock_].used) {
    blocks_[readBlock_].bytes.reset();
    readBlock_++;
    readOffset_ = 0;
  }
  const char* p = blocks_[readBlock_].bytes.get() + readOffset_;
  Header header;
  memcpy(&header, p, sizeof header);
  readOffset_ += recordBytes(header.idSize, header.count, header.sparse != 0);
  p += roundedUp(sizeof header);
  record.id = std::string_view(p, header.idSize);
  p += roundedUp(header.idSize);
  record.indices = nullptr;
  if (header.sparse != 0) {
    record.indices = reinterpret_cast<const int*>(p);
    p += sizeof(int) * static_cast<size_t>(header.count);
  }
  record.values = reinterpret_cast<const float*>(p);
  record.count = header.count;
  record.line = header.line;
  taken_++;
  return true;
}

char* RecordStore::room(size_t bytes) {
  if (blocks_.empty() || blocks_.back().capacity - blocks_.back().used < bytes) {
    const size_t capacity = bytes > kBlockSize ? bytes : kBlockSize;
    blocks_.push_back(Block{std::unique_ptr<char[]>(new char[capacity]), capacity, 0});
  }
  Block& block = blocks_.back();
  char* p = block.bytes.get() + block.used;
  block.used += bytes;
  return p;
}
