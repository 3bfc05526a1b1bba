#ifndef VELMAR_TRAINING_PROGRESSLINE_H
#define VELMAR_TRAINING_PROGRESSLINE_H

#include <string>

// One status line on standard error, redrawn in place while the hierarchy
// trains: the map in training (level, number, size), its growth checks so
// far, its error against its bound and the time since training began. It is
// drawn only when standard error is a terminal, so a run whose standard
// error goes to a file or a pipe writes nothing there.
//
// When standard output is a terminal too, the console report and the line
// share the screen: the line is then drawn only after a growth check (where
// the report's cursor stands at the start of a line) and erased before the
// report goes on. Otherwise it is also redrawn while a growth period runs, at
// most a few times a second.
class ProgressLine {
 public:
  ProgressLine() = delete;

  struct State {
    int level;
    int map;
    int columns;
    int rows;
    long long checks;  // growth checks done
    float error;       // the map's error at the last check (not yet measured: infinite)
    float bound;       // the error it has to reach
  };

  // A library call decides itself whether the line is shown (on standard
  // error, terminal or not); its console report never shares the screen.
  static void showForLibrary(bool shown);
  // Back to what the terminals say, as for the command line.
  static void showAsTerminalsSay();

  // Training begins: the clock of the line starts.
  static void startTraining();
  // At a growth check after which the map trains on.
  static void atCheck(const State& s);
  // While a growth period runs, at each dot of the console report: writes
  // the dot (none on a quiet console) with the line erased before it when
  // they share the screen, and redraws the line at most a few times a second.
  static void atDot(const State& s, bool quiet);
  // Training has ended: the line is erased.
  static void endTraining();

  // The line's text, without the control characters that put it in place.
  static std::string text(const State& s, double seconds);
};

#endif
