#ifndef VELMAR_TRAINING_SCHEDULE_H
#define VELMAR_TRAINING_SCHEDULE_H

// The schedules of one map's training, cycle by cycle. With N the map's
// vectors and P = N x EXPAND_CYCLES the growth period:
// - a progress dot after every N cycles;
// - a growth check after every P cycles;
// - the learning rate falls linearly from its start to its floor over a
//   tooth of P + 1 cycles (not P, so the sawtooth drifts one cycle against
//   the growth checks in each period), counted from the start of training;
// - the neighbourhood radius shrinks by one after every T cycles, T the
//   radius step, also counted from the start.
// The counters are kept instead of remainders of the cycle number.

// The rate's change per cycle in a tooth of period + 1 cycles.
double sawtoothSlope(float iniLearnrate, float minLearnrate, long long period);

// The rate `stepInTooth` cycles into a tooth: slope x step + start, in double,
// rounded to float. (Inline: it runs every training cycle.)
inline float sawtoothRate(double slope, float iniLearnrate, long long stepInTooth) {
  return static_cast<float>(slope * static_cast<double>(stepInTooth) + static_cast<double>(iniLearnrate));
}

// T: the growth period divided by the radius count plus one, truncated; at
// least 1, so the radius still shrinks when the period is shorter than the
// radius count.
long long radiusStep(long long period, int iniNeighbourhood);

// Where the current cycle stands in each schedule.
class TrainingSchedule {
 public:
  TrainingSchedule(long long vectors, long long period, long long radiusStepCycles)
      : vectors_(vectors), period_(period), radiusStep_(radiusStepCycles) {}

  // What happens in one cycle, besides the draw and the move.
  struct Cycle {
    bool dot;               // a pass over the vectors is complete
    bool growthCheck;       // the growth period is complete
    bool shrinkRadius;      // the radius steps down after this cycle
    long long stepInTooth;  // the rate to use next is the sawtooth's at this step
  };

  // Advances every counter by one cycle.
  Cycle next() {
    Cycle c;
    c.dot = ++inPass_ == vectors_;
    if (c.dot) inPass_ = 0;
    c.growthCheck = ++inGrowthPeriod_ == period_;
    if (c.growthCheck) inGrowthPeriod_ = 0;
    if (++inSawtooth_ == period_ + 1) inSawtooth_ = 0;
    c.stepInTooth = inSawtooth_;
    c.shrinkRadius = ++inRadiusStep_ == radiusStep_;
    if (c.shrinkRadius) inRadiusStep_ = 0;
    return c;
  }

  // Cycles sure to follow this one before the next growth check.
  long long cyclesBeforeCheck() const { return inGrowthPeriod_ == 0 ? 0 : period_ - inGrowthPeriod_; }

 private:
  long long vectors_, period_, radiusStep_;
  long long inPass_ = 0, inGrowthPeriod_ = 0, inSawtooth_ = 0, inRadiusStep_ = 0;
};

#endif
