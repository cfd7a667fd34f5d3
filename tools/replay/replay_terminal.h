// The replay terminal: a double of the terminal layer that never waits.
#ifndef TOOLS_REPLAY_TERMINAL_H_
#define TOOLS_REPLAY_TERMINAL_H_

#include <ctime>
#include <string>

struct ReplayOptions {
  // Write every pause as a marker "[[sleep N]]" where it happens.
  bool show_pauses = false;
  // Also mark key waits, clear screens, colour changes, every word and number
  // read, the end of input and the exit status, for the scenario tests.
  bool trace = false;
  // The clock reads `time` instead of the calendar time.
  bool fixed_time = false;
  std::time_t time = 0;
  // With a fixed clock: how many seconds it moves on after each reading.
  long long time_step = 0;
  // Keep the output from standard output: it is counted and dropped.
  bool discard_output = false;
  // Keep the output from standard output: it is added here (for the tests).
  std::string* capture = nullptr;
  // Dialogs typed out letter by letter, as ostrel does unless --no-typing.
  bool typing_effect = true;
};

// Starts a new run in this process: the player's input comes from `input`,
// and nothing of the last run's input or output is left.
void ReplayStartRun(std::string input);

// How many bytes the runs have written, shown or dropped.
unsigned long long ReplayBytesWritten();

// The options in force; set them before the run starts.
ReplayOptions& Replay();

// A read answered from a save's journal (save.h), marked as the terminal's
// own reads are marked: `kind` is the record's, `text` its word or number.
void ReplayMarkJournalRead(char kind, const std::string& text);

// The save of the runs in this process, kept in memory (save_store.h): what
// a run started with --continue or --new finds and leaves.
struct ReplaySaveStore {
  bool available = true;  // false: saving is not possible, as `unavailable_reason` says
  std::string unavailable_reason;
  bool in_use = false;    // another engine holds it
  bool exists = false;
  std::string bytes;
  int syncs = 0;          // how many times it was made durable
  int replaced = 0;       // how many times it was replaced whole
};
ReplaySaveStore& ReplaySave();

#include "common/story_runner.h"

#endif  // TOOLS_REPLAY_TERMINAL_H_
