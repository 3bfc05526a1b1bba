#ifndef VELMAR_TRAINING_TRAININGDRAWS_H
#define VELMAR_TRAINING_TRAININGDRAWS_H

// The training vectors of the coming cycles, drawn before their cycle so
// that their way from memory overlaps the work of the cycles before: the
// list slot of the third cycle ahead, the record of the second and the data
// of the next are fetched, each stage a cycle after the one it needs. Only
// cycles sure to come (up to the next growth check) are drawn ahead, so the
// random sequence is drawn exactly as often, and in the same order, as by
// one draw at the start of every cycle.
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
      index = ahead[0];
      for (int k = 1; k < queued; k++) ahead[k - 1] = ahead[k];
      queued--;
    } else {
      index = draw();
    }
    while (queued < kDepth && queued < certain) {
      ahead[queued++] = draw();
    }
    if (queued > 0) {
      const auto* item = items->elementAt(ahead[0]);
      const char* data = static_cast<const char*>(item->storage());
      const long long bytes = static_cast<long long>(item->storageBytes());
      for (long long at = 0; at < bytes; at += 64) __builtin_prefetch(data + at);
    }
    if (queued > 1) __builtin_prefetch(items->elementAt(ahead[1]));
    if (queued > 2) __builtin_prefetch(items->slotAt(ahead[2]));
    return index;
  }

 private:
  static constexpr int kDepth = 3;
  List* items;
  int count;
  Draw drawNext;
  int ahead[kDepth] = {0, 0, 0};
  int queued = 0;

  int draw() { return drawNext() % count; }
};

#endif
