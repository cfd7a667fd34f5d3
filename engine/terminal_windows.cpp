// The terminal layer on the Windows console: console attributes, _getch,
// Sleep, and a clear screen through the console API.
#include <conio.h>
#include <windows.h>

#include <cstdlib>
#include <ctime>
#include <exception>
#include <string>

#include "platform.h"
#include "terminal.h"
#include "terminal_input.h"

namespace {

// The console output handle, fetched on first use and kept.
HANDLE hCon = nullptr;
// The attributes the console had before the engine changed them.
WORD g_saved_attributes = 7;
volatile LONG g_color_changed = 0;

void RestoreColor() {
  if (InterlockedExchange(&g_color_changed, 0) != 0 && hCon != nullptr) {
    SetConsoleTextAttribute(hCon, g_saved_attributes);
  }
}

// Ctrl-C and closing the window: the console's colours go back first.
BOOL WINAPI OnControl(DWORD) {
  RestoreColor();
  return FALSE;  // and the default handling ends the process
}

// An exception that nobody catches, std::bad_alloc say.
[[noreturn]] void OnTerminate() {
  std::string message = "ostrel: fatal error";
  if (std::exception_ptr thrown = std::current_exception()) {
    try {
      std::rethrow_exception(thrown);
    } catch (const std::exception& e) {
      message = message + ": " + e.what();
    } catch (...) {
    }
  }
  RestoreColor();
  PlatformWriteError((message + "\n").c_str());
  std::_Exit(1);
}

bool IsConsole(DWORD which) {
  DWORD mode;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

class WindowsTerminal {
 public:
  WindowsTerminal() {
    stdin_console_ = IsConsole(STD_INPUT_HANDLE);
    stdout_console_ = IsConsole(STD_OUTPUT_HANDLE);
    const char* no_color = std::getenv("NO_COLOR");
    color_ = stdout_console_ && !(no_color != nullptr && no_color[0] != '\0');
    SetConsoleCtrlHandler(OnControl, TRUE);
    std::set_terminate(OnTerminate);
  }
  ~WindowsTerminal() {
    Flush();
    RestoreColor();
  }

  void Write(const char* data, size_t size) { out_.append(data, size); }
  void Flush() {
    if (out_.empty()) return;
    bool written = PlatformWrite(out_.data(), out_.size());
    out_.clear();
    if (!written) {
      // The first write that fails for good ends the run.
      RestoreColor();
      PlatformWriteError("ostrel: cannot write the output\n");
      std::_Exit(1);
    }
  }

  void SetColor(int attribute) {
    if (!color_) return;
    Flush();  // the attribute applies to what is written after it
    if (hCon == nullptr) {
      hCon = GetStdHandle(STD_OUTPUT_HANDLE);
      CONSOLE_SCREEN_BUFFER_INFO info;
      if (GetConsoleScreenBufferInfo(hCon, &info)) g_saved_attributes = info.wAttributes;
    }
    SetConsoleTextAttribute(hCon, static_cast<WORD>(attribute & 0xFFFF));
    InterlockedExchange(&g_color_changed, 1);
  }

  void ClearScreen() {
    if (!stdout_console_) {
      out_ += '\f';
      return;
    }
    Flush();
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(out, &info)) return;
    DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    COORD home = {0, 0};
    DWORD done;
    FillConsoleOutputCharacterA(out, ' ', cells, home, &done);
    FillConsoleOutputAttribute(out, info.wAttributes, cells, home, &done);
    SetConsoleCursorPosition(out, home);
  }

  void Sleep(int ms) {
    if (ms <= 0) return;
    Flush();
    ::Sleep(static_cast<DWORD>(ms));
  }

  bool ReadKey(std::string* key) {
    Flush();
    key->clear();
    if (stdin_console_) {
      // A key that _getch reports as two codes, an arrow key say, is one key.
      int c = _getch();
      key->push_back(static_cast<char>(c));
      if (c == 0 || c == 0xE0) key->push_back(static_cast<char>(_getch()));
      return true;
    }
    char c;
    if (!input_.Next(&c)) return false;
    key->push_back(c);
    return true;
  }

  bool Interactive() const { return stdin_console_ && stdout_console_; }

  bool ReadReady(TermRead what) {
    if (what == TermRead::kWord && queue_.HasWord()) return true;
    if (what == TermRead::kNumber && queue_.HasNumber()) return true;
    if (stdin_console_) return what == TermRead::kKey && _kbhit() != 0;
    return input_.Ready(0);
  }

  bool ReadWord(std::string* word) {
    return queue_.ReadWord(word, [this](std::string* line) { return NextLine(line); });
  }

  bool ReadNumber(long long* value) {
    return queue_.ReadNumber(value, [this](std::string* line) { return NextLine(line); });
  }

 private:
  // At the console the line is read in its own line mode, which shows what
  // is typed and honours Backspace; Ctrl-Z at the start of a line ends the
  // input.
  bool NextLine(std::string* line) {
    Flush();
    return input_.ReadLine(line);
  }

  ByteReader input_;
  TokenQueue queue_;
  std::string out_;
  bool stdin_console_ = false;
  bool stdout_console_ = false;
  bool color_ = false;
};

WindowsTerminal& Terminal() {
  static WindowsTerminal terminal;
  return terminal;
}

[[maybe_unused]] const bool g_started = (Terminal(), true);

}  // namespace

void TermWrite(const char* data, size_t size) { Terminal().Write(data, size); }
void TermFlush() { Terminal().Flush(); }
void TermSetColor(int attribute) { Terminal().SetColor(attribute); }
void TermClearScreen() { Terminal().ClearScreen(); }
void TermSleep(int ms) { Terminal().Sleep(ms); }
bool TermTypingEffect() { return true; }
bool TermWaitKey() {
  std::string key;
  return Terminal().ReadKey(&key);
}
bool TermReadKey(std::string* key) { return Terminal().ReadKey(key); }
bool TermInteractive() { return Terminal().Interactive(); }
void TermShowAnswer(const std::string& answer) {
  if (!Terminal().Interactive()) return;
  TermWrite(answer.data(), answer.size());
  TermWrite("\n", 1);
}
bool TermReadReady(TermRead what) { return Terminal().ReadReady(what); }
bool TermReadWord(std::string* word) { return Terminal().ReadWord(word); }
bool TermReadNumber(long long* value) { return Terminal().ReadNumber(value); }
std::time_t TermTime() { return time(nullptr); }

void TermEndRun(int status) {
  Terminal().Flush();
  RestoreColor();
  std::exit(status);
}
