#include "base/workers.h"

#include <system_error>

namespace {

// A member that finishes its part of a job of runOnEach this long after the
// caller's own (plus twice the caller's time) counts as held back.
const std::chrono::microseconds kHeldBack(100);

// Busy waits between jobs last about this many polls (some tens of
// microseconds) before a thread goes to sleep.
const int kSpins = 20000;

inline void pause() {
#if defined(__x86_64__)
  __builtin_ia32_pause();
#endif
}

}  // namespace

Workers::Workers(int members, bool judges)
    : claims(static_cast<size_t>(members > 1 ? members : 1)), judge(judges ? std::make_unique<TeamJudge>() : nullptr) {
  for (int t = 1; t < members; t++) {
    try {
      threads.emplace_back([this, t] { serve(t); });
    } catch (const std::system_error&) {
      break;  // the system gives no more threads: the team works with those it has
    }
  }
}

Workers::~Workers() {
  {
    std::lock_guard<std::mutex> lock(sleep);
    stopping = true;
    ticket.store(0);
    job.store((job.load() | 1u) + 1u);  // a next job, without parts
  }
  wake.notify_all();
  // A part that ends the run (a failure, out of memory) exits the process
  // from its member's thread, whose exit handlers destroy the team: that
  // thread cannot wait for itself.
  for (std::thread& t : threads) {
    if (t.get_id() == std::this_thread::get_id()) {
      t.detach();
    } else {
      t.join();
    }
  }
}

int Workers::membersFor(int setting) {
  int members = setting;
  if (members <= 0) {
    members = static_cast<int>(std::thread::hardware_concurrency());
  }
  if (members < 1) return 1;
  return members < kMostMembers ? members : kMostMembers;
}

void Workers::runParts(int parts, PartFn fn, const void* context) {
  jobFn.store(fn, std::memory_order_relaxed);
  jobContext.store(context, std::memory_order_relaxed);
  partsDone.store(0, std::memory_order_relaxed);
  ticket.store(static_cast<uint64_t>(parts) << 32);
  publish(false);
  takeParts();
  while (partsDone.load(std::memory_order_acquire) < parts) pause();
}

bool Workers::startJob(long long work) {
  if (!judge) return true;
  timed = judge->timing();
  return judge->onTeam(work, timed ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point());
}

void Workers::endJob() {
  if (!timed) return;
  judge->ended(std::chrono::steady_clock::now());
  timed = false;
}

bool Workers::runBound(PartFn fn, const void* context) {
  const int others = static_cast<int>(threads.size());
  if (soloJobs > 0) {
    soloJobs--;
    return false;
  }
  jobFn.store(fn, std::memory_order_relaxed);
  jobContext.store(context, std::memory_order_relaxed);
  partsDone.store(0, std::memory_order_relaxed);
  ticket.store(0);
  const uint64_t number = boundJob.load(std::memory_order_relaxed) + 1;
  boundJob.store(number, std::memory_order_release);
  publish(true);
  const auto start = std::chrono::steady_clock::now();
  fn(context, 0);
  const auto ownDone = std::chrono::steady_clock::now();
  int taken = 0;
  for (int m = 1; m <= others; m++) {
    if (claim(m, number)) {
      fn(context, m);
      taken++;
    }
  }
  if (partsDone.load(std::memory_order_acquire) < others - taken) {
    waitForHeldBack(others - taken, ownDone - start);
  } else {
    soloLength = kFirstSolo;
  }
  return true;
}

// A member whose part takes far longer than the caller's own (with parts of
// about equal work) was held back while running it: the system gave its core
// to something else. The team then waits for nobody for a while: the next
// soloLength jobs run on the caller alone, each held-back job in a row
// doubling that length, a job without one setting it back.
void Workers::waitForHeldBack(int parts, std::chrono::steady_clock::duration own) {
  const auto limit = std::chrono::steady_clock::now() + kHeldBack + 2 * own;
  bool heldBack = false;
  for (int spin = 0; partsDone.load(std::memory_order_acquire) < parts; spin++) {
    pause();
    if (!heldBack && (spin & 63) == 63) heldBack = std::chrono::steady_clock::now() > limit;
  }
  if (heldBack) {
    soloJobs = soloLength;
    soloLength = soloLength < kLongestSolo ? 2 * soloLength : kLongestSolo;
  } else {
    soloLength = kFirstSolo;
  }
}

// A job's number only grows, and a job ends only when every part of it has
// run: a claim with the current number succeeds once, and one made with a
// number read before a later job began fails.
bool Workers::claim(int m, uint64_t number) {
  std::atomic<uint64_t>& last = claims[static_cast<size_t>(m)].job;
  uint64_t seen = last.load(std::memory_order_acquire);
  while (seen < number) {
    if (last.compare_exchange_weak(seen, number, std::memory_order_acq_rel)) return true;
  }
  return false;
}

void Workers::publish(bool bound) {
  job.store(((job.load(std::memory_order_relaxed) >> 1) + 1u) << 1 | (bound ? 1u : 0u));
  if (sleepers.load() > 0) {
    std::lock_guard<std::mutex> lock(sleep);
    wake.notify_all();
  }
}

// A part is claimed by raising the ticket from the value it was read at. A
// successful raise means the part was not claimed before and its job is the
// current one (even when an older job once had a ticket of the same value),
// and the job stays current until the part has run.
void Workers::takeParts() {
  uint64_t t = ticket.load(std::memory_order_acquire);
  while ((t & 0xffffffffu) < (t >> 32)) {
    if (!ticket.compare_exchange_weak(t, t + 1, std::memory_order_acq_rel)) continue;
    jobFn.load(std::memory_order_relaxed)(jobContext.load(std::memory_order_relaxed),
                                          static_cast<int>(t & 0xffffffffu));
    partsDone.fetch_add(1, std::memory_order_release);
    t = ticket.load(std::memory_order_acquire);
  }
}

void Workers::serve(int member) {
  uint32_t seen = 0;
  for (;;) {
    uint32_t now = job.load(std::memory_order_acquire);
    for (int spin = 0; now == seen && spin < kSpins; spin++) {
      pause();
      now = job.load(std::memory_order_acquire);
    }
    if (now == seen) {
      std::unique_lock<std::mutex> lock(sleep);
      sleepers.fetch_add(1);
      wake.wait(lock, [&] { return stopping || job.load() != seen; });
      sleepers.fetch_sub(1);
      if (stopping) return;
      now = job.load(std::memory_order_acquire);
    }
    seen = now;
    if ((now & 1u) != 0) {
      // Every member's own part, unless the caller took it over: once
      // claimed, the job waits for it, so its fields hold.
      if (claim(member, boundJob.load(std::memory_order_acquire))) {
        jobFn.load(std::memory_order_relaxed)(jobContext.load(std::memory_order_relaxed), member);
        partsDone.fetch_add(1, std::memory_order_release);
      }
    } else {
      takeParts();
    }
  }
}
