// The terminal layer: every byte the engine shows and every key it reads.
//
// One implementation is linked into each program: terminal_posix.cpp for the
// engine itself, and a recording double for the replay tool and the tests.
// The engine calls these functions only through console.cpp.
#ifndef ENGINE_TERMINAL_H_
#define ENGINE_TERMINAL_H_

#include <cstddef>
#include <ctime>
#include <string>

// Queues bytes for standard output, unchanged. They reach the screen at the
// latest before the next pause, key wait or read, or at TermFlush().
void TermWrite(const char* data, size_t size);
void TermFlush();

// Sets the text colour for everything written afterwards, from a console
// character attribute (12 bright red, 7 the usual colour).
void TermSetColor(int attribute);

// Clears the screen.
void TermClearScreen();

// Pauses for `ms` milliseconds; nothing happens for 0 or less.
void TermSleep(int ms);

// Whether dialogs are typed out letter by letter at this terminal: the web
// page's reader can turn the effect off and on at any moment; a terminal
// always answers true (the command line has its own say, SetTypingEffect).
bool TermTypingEffect();

// Waits for one key and discards it. Returns false at the end of input.
bool TermWaitKey();

// Reads the next word of the player's input. Returns false at the end of
// input.
bool TermReadWord(std::string* word);

// Reads the next whole number of the player's input, discarding words that
// hold none. Values out of range saturate far outside any move. Returns
// false at the end of input.
bool TermReadNumber(long long* value);

// True when standard input and standard output are both terminals: a
// player is there to be asked.
bool TermInteractive();

// Shows an answer of a game being continued as it was shown when the player
// typed it: the answer and a line end where what is typed is shown (at a
// terminal, in the web page), nothing where it is not.
void TermShowAnswer(const std::string& answer);

// Waits for one key, as TermWaitKey does, and gives its bytes: an escape
// sequence or a UTF-8 character whole, one byte when the input is no
// terminal. Returns false at the end of input.
bool TermReadKey(std::string* key);

// What the engine is about to read.
enum class TermRead { kKey, kWord, kNumber };

// True when the next read of `what` can be answered without waiting for the
// player: a word or a number is left on the line typed, or input is there.
// False when in doubt.
bool TermReadReady(TermRead what);

// The calendar time, in whole seconds, that seeds the computer's moves.
std::time_t TermTime();

// Ends the run: flushes the output, restores the terminal and leaves with
// `status`.
[[noreturn]] void TermEndRun(int status);

#endif  // ENGINE_TERMINAL_H_
