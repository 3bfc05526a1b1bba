#ifndef VELMAR_BASE_WORKERS_H
#define VELMAR_BASE_WORKERS_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/teamjudge.h"

// A team of threads that share out the parts of one job at a time. The
// caller's own thread is a member: a team of 1 starts no thread and runs
// every part itself. A job's parts are handed out one at a time to whichever
// member asks next, so which thread runs a part varies from run to run: a
// part must compute the same whatever thread runs it, and parts must not
// write to the same memory. run() returns when every part has run. A part
// must not throw; one that ends the run ends the process from its thread.
//
// Between jobs the threads wait, first busily for a short while (a training
// step's next job comes within microseconds), then asleep.
class Workers {
 public:
  // A team of `members` threads, the caller included. A team that judges
  // lets a TeamJudge decide, job by job, whether the team or the caller
  // alone runs a job, whichever is faster as the run goes (the meaning of
  // `threads=0`); otherwise every job the team can share goes to the team.
  explicit Workers(int members, bool judges = false);
  ~Workers();

  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;

  int size() const { return static_cast<int>(threads.size()) + 1; }

  // Runs part(p) for every p from 0 to parts - 1, spread over the team (or
  // in order on the caller). `work` is the job's size, in unit-components:
  // the judge compares the pace of jobs of about the same size.
  template <class Part>
  void run(int parts, long long work, const Part& part) {
    if (threads.empty() || parts <= 1) {
      for (int p = 0; p < parts; p++) part(p);
      return;
    }
    if (startJob(work)) {
      runParts(
          parts, [](const void* context, int p) { (*static_cast<const Part*>(context))(p); }, &part);
    } else {
      for (int p = 0; p < parts; p++) part(p);
    }
    endJob();
  }

  // Runs part(m) once for every member m (the caller is member 0), each
  // on member m's own thread as a rule: for work that should stay where it
  // was last time (the caches of that member's core). The caller, done with
  // its own part, takes over every part whose member has not started it yet
  // (a member the system holds back, asleep or preempted), so a busy machine
  // does not hold up the job; only a part already started is waited for,
  // and when that took far longer than the caller's own, the next jobs run
  // on the caller alone for a while (see waitForHeldBack). A job the caller
  // runs alone (then, as the judge decides, or on a team of one) is alone():
  // the same results as every part, on the caller's own path. `work` is the
  // job's size, as for run.
  template <class Part, class Alone>
  void runOnEach(long long work, const Part& part, const Alone& alone) {
    if (threads.empty() || !startJob(work) ||
        !runBound([](const void* context, int m) { (*static_cast<const Part*>(context))(m); }, &part)) {
      alone();
    }
    endJob();
  }

  // The number of threads `setting` asks for (0: one per processor core),
  // at least 1 and at most kMostMembers.
  static int membersFor(int setting);
  static constexpr int kMostMembers = 256;

 private:
  using PartFn = void (*)(const void* context, int part);

  void runParts(int parts, PartFn fn, const void* context);
  // False, without running anything, when the caller runs the job alone
  // (a member was held back lately).
  bool runBound(PartFn fn, const void* context);
  // Whether the job of `work` about to start goes to the team; endJob()
  // follows it.
  bool startJob(long long work);
  void endJob();
  // Runs parts of the current job while it has parts left.
  void takeParts();
  void serve(int member);
  // Publishes the job whose fields are set: its number, and whether every
  // member runs its own part.
  void publish(bool bound);
  // Claims member m's part of bound job `number`; false when it was claimed already.
  bool claim(int m, uint64_t number);
  // Waits until `parts` parts of the bound job are done; `own` is how long
  // the caller's own part took.
  void waitForHeldBack(int parts, std::chrono::steady_clock::duration own);

  friend class WorkersTestAccess;

  std::vector<std::thread> threads;
  // The current job's number of parts (high 32 bits) and its next part (low
  // 32 bits), in one word: a member claims a part by raising it, so a part
  // is claimed only while its job is the current one. The job's function and
  // context stay as they are until every part has run.
  // The words the members write while a job runs lie on cache lines of
  // their own, apart from those they only read.
  alignas(64) std::atomic<uint64_t> ticket{0};
  alignas(64) std::atomic<int> partsDone{0};
  // Twice the number of jobs so far, plus 1 when the current job is one of
  // runOnEach: one word, so a member reads both at once.
  alignas(64) std::atomic<uint32_t> job{0};
  std::atomic<PartFn> jobFn{nullptr};
  std::atomic<const void*> jobContext{nullptr};
  // The number of the current (or last) job of runOnEach, and per member
  // the number of the last such job whose part was claimed, by the member
  // or by the caller taking it over; each on a cache line of its own.
  alignas(64) std::atomic<uint64_t> boundJob{0};
  struct alignas(64) Claim {
    std::atomic<uint64_t> job{0};
  };
  std::vector<Claim> claims;
  // When a member was held back: the jobs of runOnEach the caller still runs
  // alone, and how many it runs alone the next time (the caller's own).
  static constexpr int kFirstSolo = 256;
  static constexpr int kLongestSolo = 1 << 16;
  int soloJobs = 0;
  int soloLength = kFirstSolo;
  // Only on a team that judges; `timed` while the job in progress is timed.
  std::unique_ptr<TeamJudge> judge;
  bool timed = false;
  std::atomic<int> sleepers{0};
  std::mutex sleep;
  std::condition_variable wake;
  bool stopping = false;  // guarded by `sleep`
};

#endif
