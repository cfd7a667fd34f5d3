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
#include <emscripten.h>

#include <cstdlib>
#include <ctime>
#include <string>

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

  bool WaitKey() {
    Flush();
    purpose_ = kKeyWait;
    int c = HostNextByte(kKeyWait);
    if (c < 0) return EndOfInput();
    ReadRestOfKey(static_cast<unsigned char>(c));
    HostInputRead(kKeyRead, "", 0);
    return true;
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
  // escape sequence or of a UTF-8 character is already queued.
  void ReadRestOfKey(unsigned char lead) {
    if (lead == 0x1b) {
      if (!HostByteReady()) return;  // a lone Escape
      int c = HostNextByte(purpose_);
      if (c == 'O') {
        if (HostByteReady()) HostNextByte(purpose_);
      } else if (c == '[') {
        // Parameters and intermediates up to the final byte.
        while (HostByteReady()) {
          c = HostNextByte(purpose_);
          if (c < 0 || (c >= 0x40 && c <= 0x7e)) break;
        }
      }
      return;
    }
    int length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    for (int i = 1; i < length && HostByteReady(); ++i) HostNextByte(purpose_);
  }

  bool EditLine(std::string* line) {
    Flush();
    LineKeys keys;
    keys.next = [this] { return HostNextByte(purpose_); };
    keys.echo = [](const std::string& text) { HostWrite(text.data(), text.size(), 1); };
    keys.skip_escape = [this] { ReadRestOfKey(0x1b); };
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
bool TermWaitKey() { return Terminal().WaitKey(); }
bool TermReadWord(std::string* word) { return Terminal().ReadWord(word); }
bool TermReadNumber(long long* value) { return Terminal().ReadNumber(value); }
std::time_t TermTime() { return time(nullptr); }

void TermEndRun(int status) {
  Terminal().Flush();
  std::exit(status);
}

int OstrelMain(int argc, char** argv);

int main(int argc, char** argv) { TermEndRun(OstrelMain(argc, argv)); }
