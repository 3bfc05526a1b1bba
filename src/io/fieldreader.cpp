#include "io/fieldreader.h"

#include <cstdlib>
#include <cstring>

#include "base/failure.h"

FieldReader::FieldReader(FILE* file, size_t blockSize)
    : file_(file),
      blockSize_(blockSize > 0 ? blockSize : 1),
      buffer_(static_cast<char*>(malloc(blockSize_ + 1))),
      capacity_(blockSize_ + 1),
      begin_(0),
      end_(0),
      atEnd_(false) {
  if (buffer_ == nullptr) {
    failOutOfMemory();
  }
  buffer_[0] = '\0';
}

FieldReader::~FieldReader() {
  free(buffer_);
  fclose(file_);
}

bool FieldReader::read(char delimiter, std::string_view& field) {
  size_t scanned = begin_;  // bytes before this hold no delimiter
  for (;;) {
    void* hit = memchr(buffer_ + scanned, delimiter, end_ - scanned);
    if (hit != nullptr) {
      char* stop = static_cast<char*>(hit);
      *stop = '\0';  // the delimiter is consumed; its byte now ends the field
      field = std::string_view(buffer_ + begin_, static_cast<size_t>(stop - (buffer_ + begin_)));
      begin_ = static_cast<size_t>(stop - buffer_) + 1;
      return true;
    }
    scanned = end_ - begin_;  // refill moves the unconsumed bytes to the front
    if (!refill()) {
      buffer_[end_] = '\0';
      field = std::string_view(buffer_ + begin_, end_ - begin_);
      begin_ = end_;
      return false;
    }
  }
}

bool FieldReader::refill() {
  if (atEnd_) {
    return false;
  }
  size_t kept = end_ - begin_;
  if (begin_ > 0) {
    memmove(buffer_, buffer_ + begin_, kept);
    begin_ = 0;
    end_ = kept;
  }
  // A field that fills the whole buffer: double it, so a long field costs linear time.
  if (end_ == capacity_ - 1) {
    size_t wanted = 2 * (capacity_ - 1) + 1;
    char* grown = static_cast<char*>(realloc(buffer_, wanted));
    if (grown == nullptr) {
      failOutOfMemory();
    }
    buffer_ = grown;
    capacity_ = wanted;
  }
  size_t got = fread(buffer_ + end_, 1, capacity_ - 1 - end_, file_);
  if (got == 0) {
    atEnd_ = true;
    return false;
  }
  end_ += got;
  buffer_[end_] = '\0';  // what unread() promises
  return true;
}
