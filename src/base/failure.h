#ifndef VELMAR_BASE_FAILURE_H
#define VELMAR_BASE_FAILURE_H

#include <iosfwd>
#include <string>

// How a run ends when something is wrong. Every failure is fatal: its message
// goes to standard output as one line, then the failure handler runs, which by
// default ends the process with status 1. Every layer reports its failures
// here and nowhere else.

// Writes `message` and a line end to standard output and hands over to the
// failure handler. A handler that returns still ends the process with status 1.
[[noreturn]] void fail(const std::string& message);

// Ends the run with "out of memory".
[[noreturn]] void failOutOfMemory();

// What fail does after its message. A harness that runs many inputs in one
// process installs one that throws; nullptr restores the default.
using FailHandler = void (*)(const std::string& message);
void setFailHandler(FailHandler handler);

// Runs before fail writes its message, e.g. to erase a status line drawn on
// the terminal the message goes to; nullptr: nothing.
using FailPrelude = void (*)();
void setFailPrelude(FailPrelude prelude);

// Where fail writes its message: standard output unless a command whose
// standard output carries data (--map) chooses standard error; nullptr
// restores standard output.
void setFailStream(std::ostream* out);

#endif
