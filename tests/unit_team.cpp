// The judge of a team that decides as the run goes whether more threads pay: on a made-up clock, jobs whose time
// on the team and on the caller alone the test sets.

#include <gtest/gtest.h>

#include <chrono>

#include "base/teamjudge.h"

namespace {

using Clock = TeamJudge::Clock;
using std::chrono::microseconds;
using std::chrono::milliseconds;

// What one kind of job takes: its own time on the team and alone, and the caller's time after it on each way.
struct Pace {
  Clock::duration team, alone;
  Clock::duration gapTeam = Clock::duration(0), gapAlone = Clock::duration(0);
};

// Jobs through a judge, as the team runs them: the clock read only while the judge times.
struct Simulation {
  TeamJudge judge;
  Clock::time_point now;
  long long onTeam = 0, jobs = 0;

  // One job; a job of the team that the judge times takes `stall` longer. Whether it was one.
  bool job(long long work, const Pace& pace, Clock::duration stall = Clock::duration(0)) {
    const bool timed = judge.timing();
    const bool team = judge.onTeam(work, timed ? now : Clock::time_point());
    now += (team ? pace.team : pace.alone) + (timed && team ? stall : Clock::duration(0));
    if (timed) judge.ended(now);
    now += team ? pace.gapTeam : pace.gapAlone;
    onTeam += team;
    jobs++;
    return timed && team;
  }
  // Runs jobs of one kind for `length` of the made-up clock; the share of them that ran on the team.
  double run(const Pace& pace, Clock::duration length, long long work = 1000) {
    const long long before = onTeam, counted = jobs;
    for (const Clock::time_point end = now + length; now < end;) job(work, pace);
    return static_cast<double>(onTeam - before) / static_cast<double>(jobs - counted);
  }
};

// The faster way runs nearly every job, the slower one only in the trials; one trial thrown by a moment's load
// (a job of the team kept waiting 50 ms) does not turn the decision; when the machine changes (another process
// takes the second core), the judge follows within a few of its longest keeps; a team not clearly faster loses.
TEST(TeamJudge, KeepsTheFasterWayAndFollowsAChange) {
  Simulation s;
  const Pace teamFaster{microseconds(6), microseconds(10)};
  EXPECT_GT(s.run(teamFaster, milliseconds(5000)), 0.95);
  const long long trialsBefore = s.jobs - s.onTeam;
  EXPECT_GT(s.run(teamFaster, milliseconds(3000)), 0.97);
  EXPECT_GT(s.jobs - s.onTeam, trialsBefore) << "the judge tries the caller alone again now and then";
  while (!s.job(1000, teamFaster, milliseconds(50))) {
  }
  EXPECT_GT(s.run(teamFaster, milliseconds(500)), 0.95);
  const Pace teamSlower{microseconds(15), microseconds(10)};
  s.run(teamSlower, milliseconds(3000));
  EXPECT_LT(s.run(teamSlower, milliseconds(5000)), 0.03);
  Simulation tie;
  EXPECT_LT(tie.run(Pace{microseconds(10), microseconds(10)}, milliseconds(3000)), 0.05);
}

// What decides is the whole time the jobs take, the caller's time between them included (members competing with
// the caller for a core slow it down), but a long pause between jobs (other work of the run) does not drown
// the difference; and a few large jobs among many small ones are compared only with jobs of their own size, so
// the stretch that happens to hold one does not lose for it.
TEST(TeamJudge, WeighsLikeWithLikeAndTheTimeBetweenJobs) {
  Simulation slowsTheCaller;
  EXPECT_LT(
      slowsTheCaller.run(Pace{microseconds(5), microseconds(8), microseconds(10), microseconds(4)}, milliseconds(3000)),
      0.05);
  Simulation pauses;
  EXPECT_GT(
      pauses.run(Pace{milliseconds(1), milliseconds(2), milliseconds(100), milliseconds(100)}, milliseconds(100000)),
      0.9);
  Simulation mixed;
  const Pace small{microseconds(8), microseconds(10)};
  const Pace large{milliseconds(20), milliseconds(20)};
  for (int round = 0; round < 300; round++) {
    mixed.run(small, milliseconds(30));
    mixed.job(1000000, large);
  }
  EXPECT_GT(static_cast<double>(mixed.onTeam) / static_cast<double>(mixed.jobs), 0.9);
}

}  // namespace
