#include "base/teamjudge.h"

#include <algorithm>

namespace {

double nanoseconds(TeamJudge::Clock::duration d) { return std::chrono::duration<double, std::nano>(d).count(); }

}  // namespace

int TeamJudge::sizeOf(long long work) {
  int bits = 0;
  for (unsigned long long w = work > 1 ? static_cast<unsigned long long>(work) : 1; w > 1; w >>= 1) bits++;
  return std::min(bits / 2, kSizes - 1);
}

bool TeamJudge::onTeam(long long work, Clock::time_point start) {
  if (!trial) {
    workLeft -= static_cast<double>(work);
    if (workLeft <= 0.0) startTrial();  // from the next job on
    return keptTeam;
  }
  closeJob(start);
  const Stretch& current = stretches[stretch];
  if (current.totalCost >= nanoseconds(kStretch) && current.totalJobs >= kLeastJobs) {
    if (stretch == 0) {
      stretch = 1;
    } else {
      decide();
      if (!trial) {
        workLeft -= static_cast<double>(work);
        return keptTeam;
      }
    }
  }
  open = true;
  openEnded = false;
  openStretch = stretch;
  openSize = sizeOf(work);
  openWork = work > 1 ? work : 1;
  openStart = start;
  return stretchTeam(stretch);
}

void TeamJudge::ended(Clock::time_point end) {
  if (!open) return;
  openEnd = end;
  openEnded = true;
}

void TeamJudge::startTrial() {
  trial = true;
  teamFirst = !teamFirst;
  stretch = 0;
  for (Stretch& s : stretches) s = Stretch{};
  open = false;
}

void TeamJudge::closeJob(Clock::time_point now) {
  if (open && openEnded) {
    const Clock::duration gap = std::clamp<Clock::duration>(now - openEnd, Clock::duration(0), kGapCounted);
    const double cost = nanoseconds(openEnd - openStart) + nanoseconds(gap);
    Stretch& s = stretches[openStretch];
    s.cost[openSize] += cost;
    s.work[openSize] += static_cast<double>(openWork);
    s.jobs[openSize]++;
    s.totalCost += cost;
    s.totalWork += static_cast<double>(openWork);
    s.totalJobs++;
  }
  open = false;
}

// The median of the last three ratios, the larger of two: one trial thrown
// by a moment's load elsewhere (a member or the caller kept waiting for a
// core) does not turn the decision.
double TeamJudge::verdict(double ratio) {
  ratios[trials++ % 3] = ratio;
  if (trials == 1) return ratio;
  if (trials == 2) return std::max(ratios[0], ratios[1]);
  const double a = ratios[0], b = ratios[1], c = ratios[2];
  return std::max(std::min(a, b), std::min(std::max(a, b), c));
}

// Each size both stretches ran is weighted by the work of both: the time
// each way would have taken for the same jobs.
void TeamJudge::decide() {
  const Stretch& team = stretches[teamFirst ? 0 : 1];
  const Stretch& alone = stretches[teamFirst ? 1 : 0];
  double teamTime = 0.0, aloneTime = 0.0, work = 0.0;
  for (int b = 0; b < kSizes; b++) {
    if (team.jobs[b] == 0 || alone.jobs[b] == 0) continue;
    const double w = team.work[b] + alone.work[b];
    teamTime += team.cost[b] / team.work[b] * w;
    aloneTime += alone.cost[b] / alone.work[b] * w;
    work += w;
  }
  if (work <= 0.0) {
    // No size in common: jobs that grow with a map (its vectors assigned
    // at each growth check) cost about the same per unit of work.
    teamTime = team.totalCost / team.totalWork;
    aloneTime = alone.totalCost / alone.totalWork;
  }
  // The way kept runs longer each time, only while this trial agrees.
  const bool teamHere = teamTime < kTeamShare * aloneTime;
  const bool teamWins = verdict(teamTime / aloneTime) < kTeamShare;
  streak = streak >= 0 && teamWins == keptTeam && teamHere == teamWins ? streak + 1 : 0;
  keptTeam = teamWins;
  const int keep = std::min(kFirstKeep << std::min(streak, 16), kLongestKeep);
  // The pace of the way kept over all its jobs, whatever their sizes.
  const Stretch& kept = teamWins ? team : alone;
  const double pace = std::max(kept.totalCost / kept.totalWork, 1e-9);  // nanoseconds per unit of work
  workLeft = keep * nanoseconds(kStretch) / pace;
  trial = false;
}
