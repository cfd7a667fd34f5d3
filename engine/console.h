// Console services: colours, error reports, clearing, pauses, key waits and
// the player's typed input. Game::print and Game::printWithTypingEffect live
// in console.cpp too.
#ifndef ENGINE_CONSOLE_H_
#define ENGINE_CONSOLE_H_

#include <string>

// The console attributes of an error report and of the usual text, and what
// every report writes before its message.
constexpr int kErrorColor = 12;
constexpr int kNormalColor = 7;
constexpr const char* kReportPrefix = "\nError: ";

// Sets the text colour from a console attribute: 12 bright red, 7 the usual.
void SetColor(int color);

// Reports a fault in the data: a line break and "Error: " with the message in
// bright red, the usual colour again, then one key wait. The caller goes on.
void Error(std::string message);

// Reports a fault that stops the story, like Error, and ends the run with
// exit status 1.
[[noreturn]] void FatalError(std::string message);

// Writes text as it stands.
void Write(const std::string& text);

// Puts what was written on the screen.
void Flush();

// Clears the screen.
void ClearScreen();

// Pauses for `ms` milliseconds; 0 or less does not pause.
void Pause(int ms);

// Turns the typing effect of dialogs off or on (on at the start). Off, a
// dialog's line is written at once, byte for byte as when typed, without the
// typing effect's pauses; the story's own pauses stay. The effect also needs
// the terminal's consent (TermTypingEffect), asked once a line.
void SetTypingEffect(bool on);

// Waits for one key and discards it. At the end of input the run ends there,
// with exit status 0.
void KeyWait();

// The next word typed at the ">" prompt, or the next whole number typed at a
// battle's move prompt. At the end of input the run ends there, with exit
// status 0.
std::string ReadWord();
long long ReadNumber();

// How many words and numbers the player has typed so far.
unsigned long long InputsRead();

#endif  // ENGINE_CONSOLE_H_
