#ifndef VELMAR_TRAINING_TRAININGDRAWS_H
#define VELMAR_TRAINING_TRAININGDRAWS_H

// The training vectors of the coming cycles, drawn before their cycle so
// that their way from memory overlaps the work of the cycles before. A
// vector is three reads apart from its number (the list slot, the record,
// the data), each needing the one before; on a large set each may come from
// main memory, which takes longer than a short cycle. So each is fetched
// kStageGap cycles after the one it needs: the slot kDepth cycles ahead,
// the record kDepth - kStageGap, the data kDepth - 2 kStageGap. Only cycles
// sure to come (up to the next growth check) are drawn ahead, so the random
// sequence is drawn exactly as often, and in the same order, as by one draw
// at the start of every cycle.
//
// List is the list of vectors (elementAt, slotAt; an element tells where its
// values lie with storage and storageBytes); Draw gives the next
// number of the shared random sequence.
template <class List, class Draw>
class TrainingDraws {
 public:
  TrainingDraws(List* inItems, int inCount, Draw inDraw) : items(inItems), count(inCount), drawNext(inDraw) {}

  // The index of this cycle's vector, when `certain` more cycles surely follow it.
  int next(long long certain) {
    int index;
    if (queued > 0) {
      index = ahead[head];
      head = (head + 1) & kRing;
      queued--;
    } else {
      index = draw();
    }
    while (queued < kDepth && queued < certain) {
      ahead[(head + queued) & kRing] = draw();
      queued++;
      if (queued == kDepth) __builtin_prefetch(items->slotAt(at(kDepth - 1)));
    }
    if (queued >= kDepth - kStageGap + 1) __builtin_prefetch(items->elementAt(at(kDepth - kStageGap - 1)));
    if (queued >= kDepth - 2 * kStageGap + 1) {
      const auto* item = items->elementAt(at(kDepth - 2 * kStageGap - 1));
      const char* data = static_cast<const char*>(item->storage());
      const long long bytes = static_cast<long long>(item->storageBytes());
      for (long long offset = 0; offset < bytes; offset += 64) __builtin_prefetch(data + offset);
    }
    return index;
  }

  // The index of the next cycle's vector when it is drawn already (the
  // cycle after the one next() returned is sure to come), else -1.
  int upcoming() const { return queued > 0 ? ahead[head] : -1; }

 private:
  static constexpr int kStageGap = 5;
  static constexpr int kDepth = 3 * kStageGap;
  static constexpr int kRing = 15;  // the draws ahead lie in a ring of kRing + 1 > kDepth slots
  static_assert(kDepth <= kRing + 1 && (kRing & (kRing + 1)) == 0, "a ring of a power of two");
  List* items;
  int count;
  Draw drawNext;
  int ahead[kRing + 1] = {};
  int head = 0;
  int queued = 0;

  // The vector drawn for the cycle k + 1 after this one.
  int at(int k) const { return ahead[(head + k) & kRing]; }
  int draw() { return drawNext() % count; }
};

#endif
