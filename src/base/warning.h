#ifndef VELMAR_BASE_WARNING_H
#define VELMAR_BASE_WARNING_H

#include <string>

// How a run says that something is probably not what the user meant while
// it goes on as it must (a misspelt key, a value read as 0, ...): one line
// on standard error, "velmar: warning: " and the message, so that standard
// output stays exactly as it is without the slip. A status line drawn on
// standard error is erased first. The message must be one line: pieces of
// the input in it are shown with shownInput (io/inputfailure.h).
void warn(const std::string& message);

// What warn does with a message instead of writing it (a library caller that
// hands warnings on, a test that collects them); nullptr restores standard error.
using WarnHandler = void (*)(const std::string& message);
void setWarnHandler(WarnHandler handler);

#endif
