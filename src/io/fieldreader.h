#ifndef VELMAR_FIELDREADER_H
#define VELMAR_FIELDREADER_H

#include <cstddef>
#include <cstdio>
#include <string_view>

// Reads a text file field by field, where a field is everything up to the
// next occurrence of a delimiter character. The file is read in blocks and
// delimiters are found with memchr, so a field costs a few calls however
// long it is, and it is handed out in place, without a copy. Every byte is
// data: nothing is skipped, blanks, tabs, carriage returns and NUL bytes
// included.
class FieldReader {
 public:
  // Takes over `file` (open for reading) and closes it when destroyed.
  // `blockSize` is how much is read at a time (small sizes serve tests).
  explicit FieldReader(FILE* file, size_t blockSize = kDefaultBlockSize);
  ~FieldReader();

  FieldReader(const FieldReader&) = delete;
  FieldReader& operator=(const FieldReader&) = delete;

  // Reads the characters up to the next `delimiter`, which is consumed, into
  // `field`. Two delimiters in a row give an empty field; a field may run
  // across line ends. Returns false when the end of the file came first:
  // `field` then holds the characters read so far (empty once the file is
  // exhausted). `field` stays valid until the next call and is followed by a
  // NUL byte, so `field.data()` can be handed to the C string functions,
  // which see it up to its first NUL.
  bool read(char delimiter, std::string_view& field);

  // For readers that parse fields in place: the bytes read from the file
  // but not consumed yet (possibly none, and possibly only part of the next
  // field), followed by a NUL byte. They may be changed, but must be given
  // back as they were before the next call. skip(n) consumes the first n of
  // them (n at most their number); read() goes on after them.
  char* unread() { return buffer_ + begin_; }
  size_t unreadSize() const { return end_ - begin_; }
  void skip(size_t n) { begin_ += n; }

  // The speed comes from finding delimiters a block at a time, which 16 KiB
  // already does well; the block stays in the ordinary heap of the C library
  // and costs no measurable memory. (A block of a megabyte, mapped apart and
  // released, made the library keep later large arrays in the heap as well,
  // which raised the peak memory of a run by several megabytes.)
  static constexpr size_t kDefaultBlockSize = 1 << 14;

 private:
  // Keeps the unconsumed bytes (from `begin_`) at the front of the buffer,
  // grows the buffer when they fill it, and appends the next block. Returns
  // false at the end of the file.
  bool refill();

  FILE* file_;
  size_t blockSize_;
  char* buffer_;
  size_t capacity_;  // bytes in buffer_, one of them always kept for the NUL after a field
  size_t begin_;     // first byte not consumed yet
  size_t end_;       // one past the last byte read from the file
  bool atEnd_;       // the file has no more bytes
};

#endif
