#ifndef VELMAR_BASE_INTERRUPT_H
#define VELMAR_BASE_INTERRUPT_H

// A request from outside a run to stop training (a library caller's Ctrl-C,
// say), asked from any thread. Training looks at it now and then and, when
// asked, ends the run like any failure (fail), with kStoppedMessage. The
// command line never asks: its runs end as they always did.

inline constexpr const char* kStoppedMessage = "training stopped on request";

void requestStop();
void clearStopRequest();
// Cheap: one relaxed atomic load.
bool stopRequested();
// Ends the run (fail) with kStoppedMessage when a stop was requested.
void failIfStopRequested();

#endif
