// The terminal layer of the web page: the page's terminal emulator shows what
// is written, and the keys typed there come back one byte at a time. Pauses
// and reads wait for the page's event loop through Asyncify.
//
// The page supplies `Module.ostrelHost`:
//   write(bytes, echoed)   show bytes; `echoed` marks what the line editor
//                          echoes of the player's typing
//   color(attribute, sgr)  change the text colour (the SGR sequence given)
//   clear()                clear the screen and its scroll-back
//   sleep(ms)              a promise kept after `ms` milliseconds
//   nextByte(purpose)      a promise of the next byte typed, or -1 at the end
//                          of input; `purpose` is 0 for a key wait, 1 for the
//                          line of a word, 2 for the line of a number
//   byteReady()            true when a typed byte is already queued
//   inputRead(kind, bytes) what a read took: kind 0 a key, 1 a word,
//                          2 a number, 3 the end of input
//   typingEffect()         true when the reader wants dialogs typed out
//                          letter by letter, asked once a line
// The run's end reaches the page as Module.onExit(status). The engine's entry
// point is built as OstrelMain, so that a run that returns ends the same way.
//
// The page keeps the game's save (save_store.h) when `Module.ostrelHost` has
// these; without journalLoad there is no saving, and the game plays as ever:
//   journalLoad()          the save's bytes as a Uint8Array, or null when
//                          there is none (or a promise of either); called
//                          once, before anything is shown
//   journalAppend(bytes)   add bytes (a Uint8Array) at the save's end, or
//                          start the save with them
//   journalSync()          make what was appended durable; may return a
//                          promise, which the engine awaits before it waits
//                          for the player
//   journalReplace(bytes)  put bytes in the save's place, in one change
//   journalDiscard()       remove the save
//   journalToPlay()        (optional) bytes of a journal that this run plays
//                          from the title instead, showing all it shows and
//                          each answer as typed, and stops where the journal
//                          ends, as `ostrel-replay --journal` does; null for
//                          a game as above
// Each may throw or answer false (a promise of false) when storage fails:
// the game then goes on without saving. In the page a saved game continues
// at once, as `ostrel --continue` does: a clear screen, the screen as it
// stood, then the prompt.
#include <emscripten.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <utility>

#include "journal.h"
#include "save.h"
#include "save_store.h"
#include "terminal.h"
#include "terminal_input.h"

// clang-format off
EM_JS(void, HostWrite, (const char* data, size_t size, int echoed), {
  Module.ostrelHost.write(HEAPU8.slice(data, data + size), echoed != 0);
});
EM_JS(void, HostColor, (int attribute, const char* sgr), {
  Module.ostrelHost.color(attribute, UTF8ToString(sgr));
});
EM_JS(void, HostClear, (), { Module.ostrelHost.clear(); });
EM_ASYNC_JS(void, HostSleep, (int ms), { await Module.ostrelHost.sleep(ms); });
EM_ASYNC_JS(int, HostNextByte, (int purpose), {
  return await Module.ostrelHost.nextByte(purpose);
});
EM_JS(int, HostByteReady, (), { return Module.ostrelHost.byteReady() ? 1 : 0; });
EM_JS(int, HostTypingEffect, (), { return Module.ostrelHost.typingEffect() ? 1 : 0; });
EM_JS(void, HostInputRead, (int kind, const char* data, size_t size), {
  Module.ostrelHost.inputRead(kind, HEAPU8.slice(data, data + size));
});
// The save's storage: -1 when the page keeps no save, else the save's size
// (0 for none), its bytes then copied by HostJournalCopy.
EM_ASYNC_JS(int, HostJournalLoad, (), {
  const host = Module.ostrelHost;
  Module.ostrelJournal = null;
  if (!host || typeof host.journalLoad !== 'function') return -1;
  try {
    const bytes = await host.journalLoad();
    if (bytes === false) return -1;
    Module.ostrelJournal = bytes ? new Uint8Array(bytes) : new Uint8Array(0);
    return Module.ostrelJournal.length;
  } catch (e) {
    return -1;
  }
});
EM_JS(int, HostJournalToPlay, (), {
  const host = Module.ostrelHost;
  const bytes = host && typeof host.journalToPlay === 'function' ? host.journalToPlay() : null;
  if (!bytes) return -1;
  Module.ostrelJournal = new Uint8Array(bytes);
  return Module.ostrelJournal.length;
});
EM_JS(void, HostJournalCopy, (char* data), {
  HEAPU8.set(Module.ostrelJournal, data);
  Module.ostrelJournal = null;
});
// 1 when the host's `name` (given `size` bytes at `data`) succeeded.
EM_ASYNC_JS(int, HostJournalCall, (const char* name, const char* data, size_t size), {
  const host = Module.ostrelHost;
  const method = UTF8ToString(name);
  try {
    if (method === 'journalReplace' && typeof host.journalReplace !== 'function') {
      if ((await host.journalDiscard()) === false) return 0;
      return (await host.journalAppend(HEAPU8.slice(data, data + size))) === false ? 0 : 1;
    }
    if (typeof host[method] !== 'function') return method === 'journalSync' ? 1 : 0;
    const result = await host[method](HEAPU8.slice(data, data + size));
    return result === false ? 0 : 1;
  } catch (e) {
    return 0;
  }
});
// clang-format on

namespace {

enum Purpose { kKeyWait = 0, kWordLine = 1, kNumberLine = 2 };
enum ReadKind { kKeyRead = 0, kWordRead = 1, kNumberRead = 2, kEndRead = 3 };

class WebTerminal {
 public:
  void Write(const char* data, size_t size) { out_.append(data, size); }
  void Flush() {
    if (!out_.empty()) HostWrite(out_.data(), out_.size(), 0);
    out_.clear();
  }

  void SetColor(int attribute) {
    Flush();
    HostColor(attribute, SgrForAttribute(attribute).c_str());
  }

  void ClearScreen() {
    Flush();
    HostClear();
  }

  void Sleep(int ms) {
    if (ms <= 0) return;
    Flush();
    HostSleep(ms);
  }

  bool ReadKey(std::string* key) {
    Flush();
    purpose_ = kKeyWait;
    key->clear();
    int c = HostNextByte(kKeyWait);
    if (c < 0) return EndOfInput();
    key->push_back(static_cast<char>(c));
    ReadRestOfKey(static_cast<unsigned char>(c), key);
    HostInputRead(kKeyRead, "", 0);
    return true;
  }

  bool ReadReady(TermRead what) {
    if (what == TermRead::kWord && queue_.HasWord()) return true;
    if (what == TermRead::kNumber && queue_.HasNumber()) return true;
    // A line waits for its Enter, whatever is typed ahead.
    return what == TermRead::kKey && HostByteReady();
  }

  bool ReadWord(std::string* word) {
    Flush();
    purpose_ = kWordLine;
    if (!queue_.ReadWord(word, [this](std::string* line) { return EditLine(line); })) {
      return EndOfInput();
    }
    HostInputRead(kWordRead, word->data(), word->size());
    return true;
  }

  bool ReadNumber(long long* value) {
    Flush();
    purpose_ = kNumberLine;
    if (!queue_.ReadNumber(value, [this](std::string* line) { return EditLine(line); })) {
      return EndOfInput();
    }
    std::string text = std::to_string(*value);
    HostInputRead(kNumberRead, text.data(), text.size());
    return true;
  }

 private:
  bool EndOfInput() {
    HostInputRead(kEndRead, "", 0);
    return false;
  }

  // The bytes of one key arrive together from the page, so the rest of an
  // escape sequence or of a UTF-8 character is already queued. They are
  // added to `*key`.
  void ReadRestOfKey(unsigned char lead, std::string* key) {
    auto next = [&] {
      int c = HostNextByte(purpose_);
      if (c >= 0) key->push_back(static_cast<char>(c));
      return c;
    };
    if (lead == 0x1b) {
      if (!HostByteReady()) return;  // a lone Escape
      int c = next();
      if (c == 'O') {
        if (HostByteReady()) next();
      } else if (c == '[') {
        // Parameters and intermediates up to the final byte.
        while (HostByteReady()) {
          c = next();
          if (c < 0 || (c >= 0x40 && c <= 0x7e)) break;
        }
      }
      return;
    }
    int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    for (int i = 1; i < length && HostByteReady(); ++i) next();
  }

  bool EditLine(std::string* line) {
    Flush();
    LineKeys keys;
    keys.next = [this] { return HostNextByte(purpose_); };
    keys.echo = [](const std::string& text) { HostWrite(text.data(), text.size(), 1); };
    keys.skip_escape = [this] {
      std::string ignored;
      ReadRestOfKey(0x1b, &ignored);
    };
    return ::EditLine(line, keys);
  }

  TokenQueue queue_;
  std::string out_;
  int purpose_ = kKeyWait;
};

WebTerminal& Terminal() {
  static WebTerminal terminal;
  return terminal;
}

}  // namespace

void TermWrite(const char* data, size_t size) { Terminal().Write(data, size); }
void TermFlush() { Terminal().Flush(); }
void TermSetColor(int attribute) { Terminal().SetColor(attribute); }
void TermClearScreen() { Terminal().ClearScreen(); }
void TermSleep(int ms) { Terminal().Sleep(ms); }
bool TermTypingEffect() { return HostTypingEffect() != 0; }
bool TermWaitKey() {
  std::string key;
  return Terminal().ReadKey(&key);
}
bool TermReadKey(std::string* key) { return Terminal().ReadKey(key); }
// No question is asked in the page: a saved game continues by itself.
bool TermInteractive() { return false; }
// The page shows what the player types, as the line editor echoes it.
void TermShowAnswer(const std::string& answer) {
  Terminal().Flush();
  HostWrite(answer.data(), answer.size(), 1);
  HostWrite("\n", 1, 1);
}
bool TermReadReady(TermRead what) { return Terminal().ReadReady(what); }
bool TermReadWord(std::string* word) { return Terminal().ReadWord(word); }
bool TermReadNumber(long long* value) { return Terminal().ReadNumber(value); }
std::time_t TermTime() { return time(nullptr); }

void TermEndRun(int status) {
  Terminal().Flush();
  std::exit(status);
}

/* ==== The save's storage ================================================ */

StoreOpened StoreOpen(const std::string&, std::string* bytes, std::string* err) {
  err->clear();
  int size = HostJournalLoad();
  if (size < 0) return StoreOpened::kUnavailable;
  bytes->assign(static_cast<size_t>(size), '\0');
  HostJournalCopy(&(*bytes)[0]);
  return StoreOpened::kOpened;
}

namespace {
bool Call(const char* name, const std::string& bytes, std::string* err) {
  if (HostJournalCall(name, bytes.data(), bytes.size()) != 0) return true;
  *err = std::string("the page's storage failed (") + name + ")";
  return false;
}
}  // namespace

bool StoreAppend(const std::string& bytes, std::string* err) {
  return Call("journalAppend", bytes, err);
}
// What the engine wrote before it waits is shown first: the page need not
// wait for its storage to show the prompt.
bool StoreSync(std::string* err) {
  Terminal().Flush();
  return Call("journalSync", "", err);
}
void StoreClose() {}
bool StoreReplace(const std::string& bytes, std::string* err) {
  return Call("journalReplace", bytes, err);
}
void StoreDiscard(bool) {
  std::string ignored;
  Call("journalDiscard", "", &ignored);
}
std::string StoreName() { return "in the page's storage"; }

int OstrelMain(int argc, char** argv);

namespace {
// The answers of a journal played, shown as the player typed them.
void ShowPlayedAnswer(char kind, const std::string& text) {
  if (kind == journal::kWord || kind == journal::kNumber) TermShowAnswer(text);
}
}  // namespace

int main() {
  int size = HostJournalToPlay();
  if (size >= 0) {
    std::string bytes(static_cast<size_t>(size), '\0');
    if (size > 0) HostJournalCopy(&bytes[0]);
    PlayJournalNextRun(std::move(bytes), StoreName());
    ObserveJournalReads(ShowPlayedAnswer);
  }
  // The page has no command line (under Node, Emscripten would hand over
  // the harness's own): a saved game continues at once, as with --continue.
  char name[] = "ostrel";
  char option[] = "--continue";
  char* argv[] = {name, option, nullptr};
  TermEndRun(OstrelMain(2, argv));
}
