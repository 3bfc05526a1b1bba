#include "io/mqe0file.h"

#include <cctype>
#include <cstdio>
#include <memory>
#include <string>

#include "base/failure.h"
#include "io/files.h"

namespace {

// A token is a run of non-blank characters; one of any length is read whole,
// so an overlong token simply does not match a keyword.
std::string readToken(FILE* file) {
  std::string token;
  int c = getc(file);
  while (c != EOF && isspace(c)) {
    c = getc(file);
  }
  while (c != EOF && !isspace(c)) {
    token.push_back(static_cast<char>(c));
    c = getc(file);
  }
  return token;
}

}  // namespace

void readMqe0File(const char* name, float* mean, int components, float& mqe0) {
  // Closed on every way out, failures included.
  std::unique_ptr<FILE, int (*)(FILE*)> owned(openForReading(name), fclose);
  FILE* file = owned.get();
  if (file == nullptr) {
    fail(std::string("cannot open MQE0 file ") + name);
  }
  if (readToken(file) != "$MEAN_VEC") {
    fail("cannot read $MEAN_VEC");
  }
  for (int i = 0; i < components; i++) {
    if (fscanf(file, "%f", &mean[i]) != 1) {
      break;  // the token is read as the keyword next
    }
  }
  if (readToken(file) != "$MQE0") {
    fail("cannot read $MQE0");
  }
  float loaded;
  if (fscanf(file, "%f", &loaded) == 1) {
    mqe0 = loaded;
  }
}
