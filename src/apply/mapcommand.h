#ifndef VELMAR_APPLY_MAPCOMMAND_H
#define VELMAR_APPLY_MAPCOMMAND_H

// velmar --map MODEL [INPUT [OUTPUT]], with its options (kMapUsage)
// anywhere after --map: reads a model file (saveModel), maps every vector of
// INPUT through it and writes their assignment lines, as the assignments
// file of a run has them, to OUTPUT. "-" and a name left out stand for
// standard input and output. Every failure is one line on standard error
// (standard output may carry the lines) and status 1; every check that can
// refuse the run comes before OUTPUT is created, and one that is the model
// or the input is refused. Warnings go to standard error after the input.

// The usage line of the command.
extern const char* const kMapUsage;

// Runs the command for the arguments of main (argv[1] is "--map"); returns
// the exit status when everything was written, ends the process otherwise.
int runMapCommand(int argc, char** argv);

#endif
