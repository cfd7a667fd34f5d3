// The game's save: every read of the engine is journaled as the game goes,
// and a game is restored by playing its journal again (journal.h holds the
// format and the rules). The save is kept where save_store.h says.
//
// A run saves when it is started with --continue or --new, or at a terminal
// (standard input and output both terminals) without options; a piped run
// without options reads and writes no save. At a terminal a story that has a
// saved game asks first, before anything else is shown.
//
// Continuing writes a clear screen, then the screen as it stood when the game
// stopped (the text since the last clear screen, without pauses or the typing
// effect), then plays on live from the read the journal ended at. A game that
// reaches its end removes its save; the end of input, a signal, a fatal
// report or a crash keep it.
#ifndef ENGINE_SAVE_H_
#define ENGINE_SAVE_H_

#include <ctime>
#include <string>

#include "journal.h"

// How a run begins, from the command line.
enum class SaveStart {
  kDefault,   // no option: at a terminal, save, and ask when there is a save
  kContinue,  // --continue: continue the saved game without asking
  kNew,       // --new: start anew without asking, discarding the save
};

// The directory of the story that the runs play: the current directory
// unless a tool that plays stories elsewhere says so.
void SetStoryDirectory(std::string dir);

// Begins the run's save, before anything is shown. A save's place that
// cannot be used is told in one line on standard error, and the game plays
// on without saving; a save that another engine holds ends the run with
// status 1.
void BeginSave(SaveStart start);

// For ostrel-replay --journal: the next run plays `journal` (the bytes of
// the save `name`) from the story's title on, showing all it shows, and
// stops where the journal ends, as at the end of input. Nothing is saved.
void PlayJournalNextRun(std::string journal, std::string name);

// Called with each read that a played journal answers: the record's kind
// and its word or number as text.
using JournalReadObserver = void (*)(char kind, const std::string& text);
void ObserveJournalReads(JournalReadObserver observer);

// The game has reached its end: its save goes.
void EndSave();

// The engine's reads. Each is answered from the journal while a game is
// restored; otherwise it reads the terminal and journals what it read
// before the engine acts on it. False at the end of input.
bool JournaledKeyWait();
bool JournaledWord(std::string* word);
bool JournaledNumber(long long* value);
std::time_t JournaledTime();

// The word just read answered nothing. Answers true when a restore ended at
// that word: the word is taken back, and its prompt stands.
bool JournalUnanswered();

// A duel's turns begin, or have ended.
void JournalDuel(bool begins);

// The run is about to end on a fatal report, or at the end of the input:
// a restore shows its screen, and the journal is made durable.
void SaveBeforeFatalEnd();
void SaveAtEndOfInput();

// While a game is restored, everything shown goes here, to be shown at once
// when the restore ends; null otherwise.
journal::SavedScreen* RestoringScreen();

#endif  // ENGINE_SAVE_H_
