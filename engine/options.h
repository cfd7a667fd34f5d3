// The engine's command line: --continue, --new, --no-typing, --help and
// --version, from one table, with --help and the usage laid out as the
// authors' tools lay theirs out.
#ifndef ENGINE_OPTIONS_H_
#define ENGINE_OPTIONS_H_

#include "save.h"

// What the command line asks of the run.
struct EngineOptions {
  SaveStart start = SaveStart::kDefault;
  bool typing = true;  // dialogs typed out letter by letter
};

// Reads the command line into `*options`. Answers --help and --version on
// standard output and returns 0; an unknown option, an argument, or two
// options that exclude each other print the usage on standard error and
// return 2; returns -1 when the game is to be played.
int ReadCommandLine(int argc, char** argv, EngineOptions* options);

// The engine's version, as --version prints it and saves record it.
const char* EngineVersion();

#endif  // ENGINE_OPTIONS_H_
