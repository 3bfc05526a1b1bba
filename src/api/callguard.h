#ifndef VELMAR_API_CALLGUARD_H
#define VELMAR_API_CALLGUARD_H

#include <iosfwd>
#include <mutex>
#include <new>
#include <streambuf>

// What every library call runs inside: the process-wide lock (the run lives
// in process-wide state), failures that throw velmar::Error (velmar::Stopped
// after a request to stop) instead of ending the process and print nothing,
// running out of memory failing like every other failure, and the console
// report (std::cout) sent where the caller wants it, or nowhere. The call
// starts from a fresh process's state (startFresh) and leaves it so;
// everything else is put back as it was when the guard ends, also when the
// call throws.
class CallGuard {
 public:
  explicit CallGuard(std::ostream* console);
  ~CallGuard();

  CallGuard(const CallGuard&) = delete;
  CallGuard& operator=(const CallGuard&) = delete;

 private:
  std::unique_lock<std::mutex> lock_;
  std::streambuf* coutBuffer_;
  std::new_handler newHandler_;
};

// Releases whatever run Globals holds and puts the settings, the counts and
// the random sequence back to a fresh process's; forgets requests to stop.
// Call with a CallGuard in place.
void startFresh();

#endif
