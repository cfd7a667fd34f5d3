// The replay terminal: output as a piped run writes it, input from standard
// input by the rules of a pipe, and no real pauses.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform.h"
#include "replay/replay_terminal.h"
#include "terminal.h"
#include "terminal_input.h"

namespace {

ByteReader g_input;
TokenQueue g_queue;
std::string g_out;
unsigned long long g_written = 0;

void Mark(const std::string& text) {
  if (Replay().trace) g_out += "[[" + text + "]]";
}

// Everything written so far goes out before a line is read, as at a terminal,
// so that a run of any length holds only the text since its last read.
bool NextLine(std::string* text) {
  TermFlush();
  return g_input.ReadLine(text);
}

}  // namespace

ReplayOptions& Replay() {
  static ReplayOptions options;
  return options;
}

void TermWrite(const char* data, size_t size) { g_out.append(data, size); }

void ReplayStartRun(std::string input) {
  g_input.UseMemory(std::move(input));
  g_queue.SetLine("");
  g_out.clear();
}

unsigned long long ReplayBytesWritten() { return g_written + g_out.size(); }

void TermFlush() {
  g_written += g_out.size();
  if (Replay().discard_output) {
    g_out.clear();
    return;
  }
  bool written = PlatformWrite(g_out.data(), g_out.size());
  g_out.clear();
  if (!written) {
    // Like the engine: the first write that fails for good ends the run.
    std::string message = std::string("ostrel-replay: cannot write the output: ") +
                          std::strerror(errno) + "\n";
    PlatformWriteError(message.c_str());
    std::exit(1);
  }
}

void TermSetColor(int attribute) { Mark("color " + std::to_string(attribute)); }

void TermClearScreen() {
  if (Replay().trace) {
    Mark("clear");
  } else {
    g_out += '\f';
  }
}

void TermSleep(int ms) {
  if (ms <= 0) return;
  if (Replay().show_pauses || Replay().trace) {
    g_out += "[[sleep " + std::to_string(ms) + "]]";
  }
}

bool TermTypingEffect() { return Replay().typing_effect; }

bool TermWaitKey() {
  TermFlush();
  char c;
  if (!g_input.Next(&c)) {
    Mark("end of input");
    return false;
  }
  Mark("key");
  return true;
}

bool TermReadWord(std::string* word) {
  if (!g_queue.ReadWord(word, NextLine)) {
    Mark("end of input");
    return false;
  }
  Mark("word " + *word);
  return true;
}

bool TermReadNumber(long long* value) {
  if (!g_queue.ReadNumber(value, NextLine)) {
    Mark("end of input");
    return false;
  }
  Mark("number " + std::to_string(*value));
  return true;
}

std::time_t TermTime() {
  if (!Replay().fixed_time) return time(nullptr);
  std::time_t now = Replay().time;
  Replay().time += static_cast<std::time_t>(Replay().time_step);
  return now;
}

void TermEndRun(int status) { throw RunEnded{status}; }
