// The replay terminal: output as a piped run writes it, input from standard
// input by the rules of a pipe, and no real pauses.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform.h"
#include "replay/replay_terminal.h"
#include "save_store.h"
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
  if (Replay().discard_output || Replay().capture != nullptr) {
    if (Replay().capture != nullptr) *Replay().capture += g_out;
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

bool TermReadKey(std::string* key) {
  TermFlush();
  char c;
  key->clear();
  if (!g_input.Next(&c)) {
    Mark("end of input");
    return false;
  }
  key->push_back(c);
  Mark("key");
  return true;
}

bool TermWaitKey() {
  std::string key;
  return TermReadKey(&key);
}

bool TermInteractive() { return false; }
void TermShowAnswer(const std::string&) {}

void ReplayMarkJournalRead(char kind, const std::string& text) {
  if (kind == 'K') Mark("key");
  if (kind == 'W') Mark("word " + text);
  if (kind == 'N') Mark("number " + text);
}

bool TermReadReady(TermRead what) {
  if (what == TermRead::kWord && g_queue.HasWord()) return true;
  if (what == TermRead::kNumber && g_queue.HasNumber()) return true;
  return g_input.Ready(0);
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

/* ==== The save, in memory =============================================== */

ReplaySaveStore& ReplaySave() {
  static ReplaySaveStore store;
  return store;
}

StoreOpened StoreOpen(const std::string&, std::string* bytes, std::string* err) {
  ReplaySaveStore& store = ReplaySave();
  if (store.in_use) return StoreOpened::kInUse;
  if (!store.available) {
    *err = store.unavailable_reason;
    return StoreOpened::kUnavailable;
  }
  *bytes = store.exists ? store.bytes : std::string();
  return StoreOpened::kOpened;
}

bool StoreAppend(const std::string& bytes, std::string*) {
  ReplaySave().exists = true;
  ReplaySave().bytes += bytes;
  return true;
}

bool StoreSync(std::string*) {
  ++ReplaySave().syncs;
  return true;
}

void StoreClose() {}

bool StoreReplace(const std::string& bytes, std::string*) {
  ReplaySave().exists = true;
  ReplaySave().bytes = bytes;
  ++ReplaySave().replaced;
  return true;
}

void StoreDiscard(bool) {
  ReplaySave().exists = false;
  ReplaySave().bytes.clear();
}

std::string StoreName() { return "(in memory)"; }
