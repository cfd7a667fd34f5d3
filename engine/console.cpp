// Console services: output, colours, error reports, pauses and input. While
// a saved game is restored, what would be shown waits in its saved screen,
// and the reads are answered from its journal (save.h).
#include "console.h"

#include "game.h"
#include "globals.h"
#include "save.h"
#include "story_events.h"
#include "terminal.h"
#include "terminal_input.h"

namespace {
constexpr int kTypingCharacterMs = 46;
constexpr int kTypingLineMs = 150;

unsigned long long g_inputs_read = 0;
bool g_typing_effect = true;

void Show(const char* data, size_t size) {
  if (journal::SavedScreen* screen = RestoringScreen()) {
    screen->Write(data, size);
  } else {
    TermWrite(data, size);
  }
}

// The input has ended: the run ends, its save kept.
[[noreturn]] void EndOfInput() {
  SaveAtEndOfInput();
  TermEndRun(0);
}
}  // namespace

void SetTypingEffect(bool on) { g_typing_effect = on; }

void SetColor(int color) {
  color &= 0xFFFF;
  if (journal::SavedScreen* screen = RestoringScreen()) {
    screen->SetColor(color);
  } else {
    TermSetColor(color);
  }
}

namespace {
void WriteReport(const std::string& message) {
  SetColor(kErrorColor);
  Write(kReportPrefix);
  Write(message);
  SetColor(kNormalColor);
}
}  // namespace

void Error(std::string message) {
  WriteReport(message);
  KeyWait();
}

void FatalError(std::string message) {
  WriteReport(message);
  // A restored game shows where it stopped; the save is kept, so that the
  // story can be mended and the game continued.
  SaveBeforeFatalEnd();
  // The run ends here whatever the key wait finds.
  TermWaitKey();
  TermEndRun(1);
}

void Write(const std::string& text) { Show(text.data(), text.size()); }

void Flush() {
  if (RestoringScreen() == nullptr) TermFlush();
}

void ClearScreen() {
  if (journal::SavedScreen* screen = RestoringScreen()) {
    screen->Clear();
  } else {
    TermClearScreen();
  }
}

void Pause(int ms) {
  if (RestoringScreen() == nullptr) TermSleep(ms);
}

void KeyWait() {
  if (!JournaledKeyWait()) EndOfInput();
}

std::string ReadWord() {
  std::string word;
  if (!JournaledWord(&word)) EndOfInput();
  ++g_inputs_read;
  return word;
}

long long ReadNumber() {
  long long value = 0;
  if (!JournaledNumber(&value)) EndOfInput();
  ++g_inputs_read;
  return value;
}

unsigned long long InputsRead() { return g_inputs_read; }

void Game::print() {
  OnLineShown();
  Write(line);
  Write("\n");
  Flush();
}

void Game::printWithTypingEffect() {
  // Asked once a line: a reader who turns the effect off or on meanwhile
  // sees the change from the next line. A restored screen is shown at once.
  if (!g_typing_effect || RestoringScreen() != nullptr || !TermTypingEffect()) {
    print();
    return;
  }
  OnLineShown();
  // One character is a whole UTF-8 sequence, so every letter keeps the pace.
  for (size_t i = 0; i < line.size();) {
    size_t length = Utf8CharLength(line, i);
    TermWrite(line.data() + i, length);
    TermFlush();
    Pause(kTypingCharacterMs);
    i += length;
  }
  Write("\n");
  TermFlush();
  Pause(kTypingLineMs);
}
