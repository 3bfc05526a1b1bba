#ifndef VELMAR_BASE_TEAMJUDGE_H
#define VELMAR_BASE_TEAMJUDGE_H

#include <chrono>

// Decides, job by job, whether a team of threads runs a job or its caller
// runs it alone, by timing both ways on the jobs in progress: whichever is
// faster on this machine, now (a team whose members do not get a core of
// their own, or whose jobs are too small to share, loses).
//
// A trial runs a stretch of jobs on the team and a stretch on the caller
// alone, one after the other (each way first in every other trial, the
// caller alone in the first), and compares their cost per unit of work. The
// faster way by the median of the last three trials (the caller alone unless
// the team is faster by a clear margin) then runs every job until it has
// done the work that kFirstKeep stretches' time takes at the measured pace;
// the next trial follows. Each trial that agrees doubles that length, up to
// kLongestKeep stretches, so that a steady machine spends little time on the
// slower way and a changing one is followed within a few seconds.
//
// A job's cost is its own wall time plus the caller's time until its next
// job, up to kGapCounted: the caller's work between jobs is slowed too by
// members that compete with it for the cores, or sped up by work the team
// did ahead. Jobs are compared with jobs of about their own size (within a
// factor of 4), where both stretches ran such jobs: the few large jobs that
// come between many small ones (all vectors assigned once after many
// training steps) cost differently per unit of work.
//
// The judge only times and decides; the caller reads the clock, and only
// while timing() holds.
class TeamJudge {
 public:
  using Clock = std::chrono::steady_clock;

  // The length of a trial's stretch, in the cost of its jobs.
  static constexpr Clock::duration kStretch = std::chrono::milliseconds(5);
  // A stretch holds at least this many jobs.
  static constexpr int kLeastJobs = 4;
  // The caller's time after a job that counts towards the job's cost.
  static constexpr Clock::duration kGapCounted = std::chrono::microseconds(250);
  // The team is chosen only when it costs less than this share of the
  // caller's cost alone.
  static constexpr double kTeamShare = 0.97;
  static constexpr int kFirstKeep = 16;
  static constexpr int kLongestKeep = 512;

  // Whether the next job is timed: its start and end are then wanted.
  bool timing() const { return trial; }
  // Whether the job about to start runs on the team. `work` is its size in
  // any measure proportional to its time on one thread (the same measure for
  // every job); `start` is read only while timing().
  bool onTeam(long long work, Clock::time_point start);
  // The job just run, timed, ended at `end`.
  void ended(Clock::time_point end);

 private:
  static constexpr int kSizes = 32;
  // The jobs one way ran in a trial, by size (the base-4 logarithm of their work).
  struct Stretch {
    double cost[kSizes];  // nanoseconds
    double work[kSizes];
    int jobs[kSizes];
    double totalCost, totalWork;
    int totalJobs;
  };

  static int sizeOf(long long work);
  bool stretchTeam(int s) const { return (s == 0) == teamFirst; }
  void startTrial();
  // Adds the job timed last to its stretch, its gap ending at `now`.
  void closeJob(Clock::time_point now);
  // Compares the trial's two stretches and keeps the faster way.
  void decide();
  // The team's cost over the caller's alone that decides, given this trial's.
  double verdict(double ratio);

  bool trial = true;
  // The first trial starts alone: a short run then takes about the time of
  // one thread whatever the team would do.
  bool teamFirst = false;
  int stretch = 0;  // the trial's stretch in progress: 0 or 1
  Stretch stretches[2] = {};
  // The timed job not yet added: its stretch, size, work, start and end.
  bool open = false, openEnded = false;
  int openStretch = 0, openSize = 0;
  long long openWork = 0;
  Clock::time_point openStart, openEnd;
  // Between trials: the way kept, the work it still runs, and how many
  // trials in a row chose it.
  bool keptTeam = false;
  double workLeft = 0.0;
  int streak = -1;
  // The ratios of the last three trials (team over alone), and the trials so far.
  double ratios[3] = {};
  long long trials = 0;
};

#endif
