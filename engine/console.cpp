// Console services: output, colours, error reports, pauses and input.
#include "console.h"

#include "game.h"
#include "globals.h"
#include "story_events.h"
#include "terminal.h"
#include "terminal_input.h"

namespace {
constexpr int kTypingCharacterMs = 46;
constexpr int kTypingLineMs = 150;

unsigned long long g_inputs_read = 0;
bool g_typing_effect = true;
}  // namespace

void SetTypingEffect(bool on) { g_typing_effect = on; }

void SetColor(int color) { TermSetColor(color & 0xFFFF); }

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
  // The run ends here whatever the key wait finds.
  TermWaitKey();
  TermEndRun(1);
}

void Write(const std::string& text) { TermWrite(text.data(), text.size()); }

void ClearScreen() { TermClearScreen(); }

void Pause(int ms) { TermSleep(ms); }

void KeyWait() {
  if (!TermWaitKey()) TermEndRun(0);
}

std::string ReadWord() {
  std::string word;
  if (!TermReadWord(&word)) TermEndRun(0);
  ++g_inputs_read;
  return word;
}

long long ReadNumber() {
  long long value = 0;
  if (!TermReadNumber(&value)) TermEndRun(0);
  ++g_inputs_read;
  return value;
}

unsigned long long InputsRead() { return g_inputs_read; }

void Game::print() {
  OnLineShown();
  Write(line);
  Write("\n");
  TermFlush();
}

void Game::printWithTypingEffect() {
  // Asked once a line: a reader who turns the effect off or on meanwhile
  // sees the change from the next line.
  if (!g_typing_effect || !TermTypingEffect()) {
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
