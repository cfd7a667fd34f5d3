// The terminal layer on POSIX systems: raw mode, colours, pauses and input.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include "platform.h"
#include "terminal.h"
#include "terminal_input.h"

namespace {

// State the signal handlers read: only plain flags and the saved settings.
struct termios g_saved_mode;
volatile sig_atomic_t g_raw_active = 0;
volatile sig_atomic_t g_color_changed = 0;
// The terminal the player sees, when there is one: standard output, or
// standard input when only the typed keys are shown there; -1 for none.
volatile sig_atomic_t g_screen_fd = -1;
// The cursor stands after text on its line, not at the start of one.
volatile sig_atomic_t g_line_open = 0;

const char kResetColor[] = "\x1b[0m";

// Async-signal-safe: write(2) and poll(2) only.
bool WriteAll(const char* data, size_t size) { return PlatformWrite(data, size); }

// Writes to a descriptor that is not standard output, as well as it can.
// Async-signal-safe.
void WriteTo(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    size -= static_cast<size_t>(n);
  }
}

// Follows the bytes that reach the screen, to know whether the cursor stands
// at the start of a line. Escape sequences move nothing, but cursor home.
void NoteShown(const char* data, size_t size) {
  static int escape = 0;  // 1 after ESC, 2 inside a control sequence
  for (size_t i = 0; i < size; ++i) {
    unsigned char c = static_cast<unsigned char>(data[i]);
    if (escape == 1) {
      escape = c == '[' ? 2 : 0;
    } else if (escape == 2) {
      if (c < 0x40 || c > 0x7e) continue;
      escape = 0;
      if (c == 'H') g_line_open = 0;
    } else if (c == 0x1b) {
      escape = 1;
    } else {
      g_line_open = c != '\n' && c != '\r';
    }
  }
}

// Async-signal-safe: only tcsetattr and write. The colour goes back, the
// line the cursor stands on is ended, and the settings are given back.
void RestoreTerminal() {
  if (g_color_changed) {
    WriteAll(kResetColor, sizeof kResetColor - 1);
    g_color_changed = 0;
  }
  if (g_line_open && g_screen_fd >= 0) {
    // So that the shell's prompt starts a line of its own.
    if (g_screen_fd == STDOUT_FILENO) {
      WriteAll("\n", 1);
    } else {
      WriteTo(g_screen_fd, "\n", 1);
    }
    g_line_open = 0;
  }
  if (g_raw_active) {
    tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_mode);
    g_raw_active = 0;
  }
}

void EnterRawMode() {
  struct termios raw = g_saved_mode;
  // Keys are read one at a time and shown only by the line editor below;
  // ISIG stays on so that Ctrl-C and Ctrl-Z keep working.
  raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  // TCSANOW, not TCSAFLUSH: keys typed ahead stay queued.
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0) g_raw_active = 1;
}

void OnSuspend(int) {
  int saved_errno = errno;
  bool was_raw = g_raw_active;
  RestoreTerminal();
  signal(SIGTSTP, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(SIGTSTP);
  // Resumed: back to the engine's mode.
  signal(SIGTSTP, OnSuspend);
  if (was_raw) EnterRawMode();
  errno = saved_errno;
}

// Every signal that ends the process and can be caught: those sent to it,
// a reader gone away, and its own faults (abort() among them).
constexpr int kEndingSignals[] = {SIGINT,  SIGTERM, SIGHUP, SIGQUIT, SIGPIPE,
                                  SIGSEGV, SIGBUS,  SIGFPE, SIGILL,  SIGABRT};
constexpr int kEndingSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];
struct sigaction g_previous_action[kEndingSignalCount];

bool IsFault(int sig) {
  return sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE || sig == SIGILL;
}

void OnEndingSignal(int sig, siginfo_t* info, void*) {
  int saved_errno = errno;
  RestoreTerminal();
  // Then the signal does what it would have done without the engine: the
  // action from before (the default, as a rule) takes over.
  for (int i = 0; i < kEndingSignalCount; ++i) {
    if (kEndingSignals[i] == sig) sigaction(sig, &g_previous_action[i], nullptr);
  }
  // A fault comes again by itself when the faulting instruction runs again;
  // a signal that was sent is sent again.
  if (!IsFault(sig) || info == nullptr || info->si_code <= 0) raise(sig);
  errno = saved_errno;
}

// A handler must be able to run when the stack has overflowed.
void UseSignalStack() {
  static char stack[1 << 16];
  stack_t current;
  if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0) {
    return;  // one is in place already
  }
  stack_t ours = {};
  ours.ss_sp = stack;
  ours.ss_size = sizeof stack;
  sigaltstack(&ours, nullptr);
}

void CatchEndingSignals() {
  UseSignalStack();
  for (int i = 0; i < kEndingSignalCount; ++i) {
    struct sigaction action = {};
    action.sa_sigaction = OnEndingSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_RESTART;
    sigemptyset(&action.sa_mask);
    if (sigaction(kEndingSignals[i], nullptr, &g_previous_action[i]) != 0) continue;
    // A signal ignored by whoever started the engine stays ignored.
    if (g_previous_action[i].sa_handler == SIG_IGN) continue;
    sigaction(kEndingSignals[i], &action, nullptr);
  }
}

// An exception that nobody catches, std::bad_alloc say.
[[noreturn]] void OnTerminate() {
  char message[512] = "ostrel: fatal error";
  if (std::exception_ptr thrown = std::current_exception()) {
    try {
      std::rethrow_exception(thrown);
    } catch (const std::exception& e) {
      std::snprintf(message, sizeof message, "ostrel: fatal error: %s", e.what());
    } catch (...) {
    }
  }
  RestoreTerminal();
  PlatformWriteError(message);
  PlatformWriteError("\n");
  std::_Exit(1);
}

// Standard output cannot take the text: the run cannot go on.
[[noreturn]] void EndOnWriteFailure(int error) {
  // Nothing more can reach the screen through standard output.
  g_color_changed = 0;
  if (g_screen_fd == STDOUT_FILENO) g_line_open = 0;
  RestoreTerminal();
  char message[512];
  std::snprintf(message, sizeof message, "ostrel: cannot write the output: %s\n",
                std::strerror(error));
  PlatformWriteError(message);
  std::_Exit(1);
}

class PosixTerminal {
 public:
  PosixTerminal() {
    PlatformOpenStandardStreams();
    stdin_tty_ = isatty(STDIN_FILENO) == 1;
    stdout_tty_ = isatty(STDOUT_FILENO) == 1;
    const char* no_color = getenv("NO_COLOR");
    const char* term = getenv("TERM");
    color_ = stdout_tty_ && !(no_color != nullptr && no_color[0] != '\0') &&
             !(term != nullptr && strcmp(term, "dumb") == 0);
    std::set_terminate(OnTerminate);
    g_screen_fd = stdout_tty_ ? STDOUT_FILENO : stdin_tty_ ? STDIN_FILENO : -1;
    // At a terminal there is something to give back on the way out.
    if (stdin_tty_ || stdout_tty_) CatchEndingSignals();
    if (stdin_tty_ && tcgetattr(STDIN_FILENO, &g_saved_mode) == 0) {
      signal(SIGTSTP, OnSuspend);
      EnterRawMode();
    }
  }
  ~PosixTerminal() {
    Flush();
    RestoreTerminal();
  }

  void Write(const char* data, size_t size) { out_.append(data, size); }
  void Flush() {
    if (out_.empty()) return;
    if (!WriteAll(out_.data(), out_.size())) {
      int error = errno;
      out_.clear();
      EndOnWriteFailure(error);
    }
    if (stdout_tty_) NoteShown(out_.data(), out_.size());
    out_.clear();
  }

  void SetColor(int attribute) {
    if (!color_) return;
    std::string sgr = SgrForAttribute(attribute);
    out_ += sgr;
    if (sgr == kResetColor) {
      // The reset must be on the screen before a signal handler may skip it.
      Flush();
      g_color_changed = 0;
    } else {
      g_color_changed = 1;
    }
  }

  void ClearScreen() {
    if (stdout_tty_) {
      out_ += "\x1b[H\x1b[2J\x1b[3J";
    } else {
      out_ += '\f';
    }
  }

  void Sleep(int ms) {
    if (ms <= 0) return;
    Flush();
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    // Pauses that follow each other closely (the typing effect) are timed
    // from the previous deadline, so the small cost of writing does not add
    // up over a line.
    long long now_ns = now.tv_sec * 1000000000LL + now.tv_nsec;
    long long base = now_ns;
    if (chain_pauses_ && now_ns >= deadline_ns_ &&
        now_ns - deadline_ns_ < 100000000LL) {
      base = deadline_ns_;
    }
    deadline_ns_ = base + ms * 1000000LL;
    struct timespec until;
    until.tv_sec = static_cast<time_t>(deadline_ns_ / 1000000000LL);
    until.tv_nsec = static_cast<long>(deadline_ns_ % 1000000000LL);
    // An interrupted pause goes on until its deadline.
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) ==
           EINTR) {
    }
    chain_pauses_ = true;
  }

  bool ReadKey(std::string* key) {
    Flush();
    chain_pauses_ = false;
    char c;
    key->clear();
    if (!input_.Next(&c)) return false;
    key->push_back(c);
    if (stdin_tty_) ReadRestOfKey(c, key);
    return true;
  }

  bool Interactive() const { return stdin_tty_ && stdout_tty_; }

  bool ReadReady(TermRead what) {
    if (what == TermRead::kWord && queue_.HasWord()) return true;
    if (what == TermRead::kNumber && queue_.HasNumber()) return true;
    // A line read at a terminal waits for its Enter, whatever is typed ahead.
    if (stdin_tty_ && what != TermRead::kKey) return false;
    return input_.Ready(0);
  }

  bool ReadWord(std::string* word) {
    return queue_.ReadWord(word, [this](std::string* line) { return NextLine(line); });
  }

  bool ReadNumber(long long* value) {
    return queue_.ReadNumber(value, [this](std::string* line) { return NextLine(line); });
  }

 private:
  bool NextLine(std::string* line) {
    Flush();
    chain_pauses_ = false;
    return stdin_tty_ ? EditLine(line) : input_.ReadLine(line);
  }

  // A key is one press: an escape sequence or a whole UTF-8 character. Its
  // bytes after the first are added to `*key`.
  void ReadRestOfKey(char first, std::string* key) {
    unsigned char lead = static_cast<unsigned char>(first);
    char c;
    if (lead == 0x1b) {
      // A lone Escape has nothing right behind it.
      if (!input_.Ready(30) || !input_.Next(&c)) return;
      key->push_back(c);
      if (c == 'O') {
        if (input_.Ready(30) && input_.Next(&c)) key->push_back(c);
      } else if (c == '[') {
        // Parameters and intermediates up to the final byte.
        while (input_.Ready(30) && input_.Next(&c)) {
          key->push_back(c);
          unsigned char u = static_cast<unsigned char>(c);
          if (u >= 0x40 && u <= 0x7e) break;
        }
      }
      return;
    }
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    for (size_t i = 1; i < length && input_.Ready(30) && input_.Next(&c); ++i) key->push_back(c);
  }

  // Reads one line at the terminal, showing what is typed.
  bool EditLine(std::string* line) {
    LineKeys keys;
    keys.next = [this] {
      char c;
      return input_.Next(&c) ? static_cast<unsigned char>(c) : -1;
    };
    keys.echo = [this](const std::string& text) { Echo(text.data(), text.size()); };
    keys.skip_escape = [this] {
      std::string ignored;
      ReadRestOfKey('\x1b', &ignored);
    };
    return ::EditLine(line, keys);
  }

  // What is typed is shown on the terminal it is typed at, as the terminal's
  // own echo would show it, even when standard output goes elsewhere.
  void Echo(const char* data, size_t size) {
    if (stdout_tty_) {
      if (!WriteAll(data, size)) EndOnWriteFailure(errno);
    } else {
      WriteTo(STDIN_FILENO, data, size);
    }
    NoteShown(data, size);
  }

  ByteReader input_;
  TokenQueue queue_;
  std::string out_;
  bool stdin_tty_ = false;
  bool stdout_tty_ = false;
  bool color_ = false;
  bool chain_pauses_ = false;
  long long deadline_ns_ = 0;
};

PosixTerminal& Terminal() {
  static PosixTerminal terminal;
  return terminal;
}

// The terminal takes the engine's mode as the program starts, before the
// title screen, and gives it back when the program ends.
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
  RestoreTerminal();
  std::exit(status);
}
