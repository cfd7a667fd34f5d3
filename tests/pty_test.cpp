// Tests of the real ostrel at a pseudo-terminal: what the player sees and
// types, and the terminal's settings after every way out.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <poll.h>
#include <pty.h>
#include <sys/resource.h>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

#include "test_util.h"

namespace {

using std::chrono::milliseconds;

bool SameSettings(const termios& a, const termios& b) {
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag &&
         a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
         std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// The real engine in a story directory, at the slave side of a fresh
// pseudo-terminal. With `own_group`, the engine runs in a process group of
// its own under a parent that stays in the session, as under a shell with
// job control, so that Ctrl-Z can stop it.
class PtySession {
 public:
  // `before_exec` runs in the engine's process just before it starts.
  bool Start(const std::string& dir, bool own_group = false,
             const std::function<void()>& before_exec = nullptr,
             const char* option = nullptr) {
    // The saves of the runs stay beside the story, away from the real home.
    std::string state = dir + "/state";
    int go[2], report[2];
    if (pipe(go) != 0 || pipe(report) != 0) return false;
    struct winsize size = {30, 100, 0, 0};
    pid_ = forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      close(go[1]);
      close(report[0]);
      if (chdir(dir.c_str()) != 0) _exit(120);
      setenv("XDG_STATE_HOME", state.c_str(), 1);
      if (own_group) RunInOwnGroup(go[0], report[1]);
      char byte;
      if (read(go[0], &byte, 1) != 1) _exit(121);
      if (before_exec) before_exec();
      execl(OSTREL_BINARY, "ostrel", option, static_cast<char*>(nullptr));
      _exit(122);
    }
    close(go[0]);
    close(report[1]);
    // The settings before the engine runs, as any program would find them.
    tcgetattr(master_, &before_);
    if (write(go[1], "g", 1) != 1) return false;
    close(go[1]);
    engine_pid_ = pid_;
    if (own_group) {
      if (read(report[0], &engine_pid_, sizeof engine_pid_) != sizeof engine_pid_) return false;
    }
    close(report[0]);
    fcntl(master_, F_SETFL, O_NONBLOCK);
    return true;
  }

  ~PtySession() {
    if (pid_ > 0) {
      kill(engine_pid_, SIGKILL);
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }

  void Type(const std::string& keys) {
    if (write(master_, keys.data(), keys.size()) < 0) ADD_FAILURE() << "write";
  }

  // Reads what the engine writes until `text` has appeared in the output, or
  // the time runs out. Answers whether it appeared.
  bool WaitFor(const std::string& text, int timeout_ms = 5000) {
    auto end = std::chrono::steady_clock::now() + milliseconds(timeout_ms);
    while (output_.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > end) return false;
      Drain(20);
    }
    return true;
  }

  // Reads for `ms` milliseconds.
  void Settle(int ms) {
    auto end = std::chrono::steady_clock::now() + milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) Drain(10);
  }

  // Waits for the run to end; its wait status, or -1 on a time-out.
  int WaitExit(int timeout_ms = 5000) {
    auto end = std::chrono::steady_clock::now() + milliseconds(timeout_ms);
    for (;;) {
      int status;
      pid_t done = waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        Drain(0);
        pid_ = -1;
        return status;
      }
      if (std::chrono::steady_clock::now() > end) return -1;
      Drain(10);
    }
  }

  bool EngineStopped() {
    std::ifstream stat("/proc/" + std::to_string(engine_pid_) + "/stat");
    std::string pid, name, state;
    stat >> pid >> name >> state;
    return state == "T";
  }

  termios Settings() {
    termios now;
    tcgetattr(master_, &now);
    return now;
  }
  const termios& before() const { return before_; }
  const std::string& output() const { return output_; }
  pid_t engine_pid() const { return engine_pid_; }

 private:
  // The session leader stays behind as the engine's parent, reporting the
  // engine's pid, and waits for it, as a shell would.
  [[noreturn]] static void RunInOwnGroup(int go, int report) {
    pid_t engine = fork();
    if (engine == 0) {
      setpgid(0, 0);
      signal(SIGTTOU, SIG_IGN);
      tcsetpgrp(STDIN_FILENO, getpid());
      signal(SIGTTOU, SIG_DFL);
      char byte;
      if (read(go, &byte, 1) != 1) _exit(121);
      execl(OSTREL_BINARY, "ostrel", static_cast<char*>(nullptr));
      _exit(122);
    }
    setpgid(engine, engine);
    if (write(report, &engine, sizeof engine) != sizeof engine) _exit(123);
    int status;
    while (waitpid(engine, &status, 0) < 0) {
    }
    _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
  }

  void Drain(int timeout_ms) {
    struct pollfd p = {master_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0) return;
    char buffer[4096];
    for (;;) {
      ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) return;
      output_.append(buffer, static_cast<size_t>(n));
    }
  }

  pid_t pid_ = -1;
  pid_t engine_pid_ = -1;
  int master_ = -1;
  termios before_{};
  std::string output_;
};

const char kHall[] =
    "|start_location:\nHall\n"
    "|location=Hall\nThe hall.\n/get_input\n>>north\n/change_location:\nLibrary\n/end\n"
    ">>quit\n/end_game\n/end\n"
    "|location=Library\nThe library.\n/get_input\n>>quit\n/end_game\n/end\n";

class PtyTest : public ::testing::Test {
 protected:
  void Story(const std::string& script) { dir_.Write("script.ostrel", script); }
  bool Start(bool own_group = false, const std::function<void()>& before_exec = nullptr) {
    if (!session_.Start(dir_.path(), own_group, before_exec)) {
      return false;
    }
    return true;
  }
  ScopedTempDir dir_;
  PtySession session_;
};

#define START_OR_SKIP(...)                                         \
  if (!Start(__VA_ARGS__)) GTEST_SKIP() << "no pseudo-terminal here"

TEST_F(PtyTest, KeysTypedWhileTypingOutAreNotShownAndAnswerTheNextPrompt) {
  Story(std::string("|start_dialog:\nIntro\n|dialog=Intro\nA slow, slow line of text.\n"
                    "/change_location:\nHall\n/end\n") + kHall);
  START_OR_SKIP();
  ASSERT_TRUE(session_.WaitFor("A s"));
  session_.Type("north\r");
  ASSERT_TRUE(session_.WaitFor("The library."));
  const std::string& out = session_.output();
  size_t prompt = out.find("The hall.\r\n>");
  ASSERT_NE(prompt, std::string::npos) << out;
  // Nothing of the keys appears while the line is typed out; the read at the
  // prompt takes them and shows them as the player's line.
  EXPECT_EQ(out.substr(0, prompt).find("north"), std::string::npos) << out;
  EXPECT_NE(out.find(">north\r\n"), std::string::npos) << out;
  session_.Type("quit\r");
  EXPECT_EQ(session_.WaitExit(), 0);
}

TEST_F(PtyTest, LineReadEchoesAndHonoursBackspace) {
  Story(kHall);
  START_OR_SKIP();
  ASSERT_TRUE(session_.WaitFor(">"));
  session_.Type("nx\x7forth\r");
  ASSERT_TRUE(session_.WaitFor("The library."));
  EXPECT_NE(session_.output().find(">nx\b \borth\r\n"), std::string::npos)
      << session_.output();
  session_.Type("quit\r");
  EXPECT_EQ(session_.WaitExit(), 0);
}

TEST_F(PtyTest, ArrowKeyAnswersExactlyOneKeyWait) {
  Story("|start_location:\nA\n|location=A\n/pause\nfirst\n/pause\nsecond\n/end_game\n/end\n");
  START_OR_SKIP();
  session_.Settle(200);
  session_.Type("\x1b[A");
  ASSERT_TRUE(session_.WaitFor("first"));
  session_.Settle(300);
  EXPECT_EQ(session_.output().find("second"), std::string::npos);
  session_.Type("x");
  ASSERT_TRUE(session_.WaitFor("second"));
  EXPECT_EQ(session_.WaitExit(), 0);
}

TEST_F(PtyTest, ErrorReportIsRedThenTheColourIsReset) {
  Story("|start_location:\nA\n|location=A\n/change_location:\nCave\n/end\n");
  START_OR_SKIP();
  ASSERT_TRUE(session_.WaitFor("does not exist"));
  session_.Settle(100);
  EXPECT_NE(session_.output().find("\x1b[91m\r\nError: |location=Cave does not exist\x1b[0m"),
            std::string::npos)
      << session_.output();
}

TEST_F(PtyTest, ClearScreenWritesHomeClearAndClearScrollBack) {
  Story("|start_location:\nA\n|location=A\nbefore\n/clear\nafter\n/end_game\n/end\n");
  START_OR_SKIP();
  ASSERT_TRUE(session_.WaitFor("after"));
  EXPECT_NE(session_.output().find("before\r\n\x1b[H\x1b[2J\x1b[3Jafter"), std::string::npos)
      << session_.output();
  EXPECT_EQ(session_.WaitExit(), 0);
}

TEST_F(PtyTest, CtrlDOnAnEmptyLineAtThePromptEndsTheRunWithStatusZero) {
  Story(kHall);
  dir_.Write("credits.ostrel", "CREDITS\n");
  START_OR_SKIP();
  ASSERT_TRUE(session_.WaitFor(">"));
  session_.Type("\x04");
  int status = session_.WaitExit();
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(session_.output().find("CREDITS"), std::string::npos);
  EXPECT_TRUE(SameSettings(session_.before(), session_.Settings()));
}

TEST_F(PtyTest, SettingsAreRestoredAfterTheNormalEnd) {
  Story(kHall);
  START_OR_SKIP();
  ASSERT_TRUE(session_.WaitFor(">"));
  // While the engine runs: no canonical mode, no echo, signal keys on.
  termios during = session_.Settings();
  EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u);
  EXPECT_NE(during.c_lflag & ISIG, 0u);
  session_.Type("quit\r");
  EXPECT_EQ(session_.WaitExit(), 0);
  EXPECT_TRUE(SameSettings(session_.before(), session_.Settings()));
}

class PtySignalTest : public PtyTest, public ::testing::WithParamInterface<int> {};

TEST_P(PtySignalTest, SettingsAreRestoredAfterTheSignal) {
  Story(kHall);
  dir_.Write("title_screen.ostrel", "TITLE\n");
  START_OR_SKIP();
  ASSERT_TRUE(session_.WaitFor("TITLE"));
  if (GetParam() == SIGINT) {
    session_.Type("\x03");  // Ctrl-C, through the terminal
  } else {
    kill(session_.engine_pid(), GetParam());
  }
  int status = session_.WaitExit();
  EXPECT_TRUE(SameSettings(session_.before(), session_.Settings()));
#if defined(__SANITIZE_ADDRESS__)
  // The sanitizer's own report ends the run for the faults it watches.
  if (GetParam() == SIGSEGV || GetParam() == SIGBUS || GetParam() == SIGFPE) {
    EXPECT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) != 0));
    return;
  }
#endif
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), GetParam());
}

INSTANTIATE_TEST_SUITE_P(Signals, PtySignalTest,
                         ::testing::Values(SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGSEGV,
                                           SIGBUS, SIGFPE, SIGILL, SIGABRT));

TEST_F(PtyTest, OutputToAReaderThatLeftDiesOfSigpipeWithTheTerminalRestored) {
  Story(kHall);
  dir_.Write("title_screen.ostrel", "TITLE\n");
  int out[2];
  ASSERT_EQ(pipe(out), 0);
  // As `ostrel | head -c 0`: standard output is a pipe nobody reads.
  START_OR_SKIP(false, [&] {
    dup2(out[1], STDOUT_FILENO);
    close(out[0]);
    close(out[1]);
  });
  close(out[0]);
  close(out[1]);
  int status = session_.WaitExit();
  ASSERT_TRUE(WIFSIGNALED(status)) << status;
  EXPECT_EQ(WTERMSIG(status), SIGPIPE);
  EXPECT_TRUE(SameSettings(session_.before(), session_.Settings()));
}

TEST_F(PtyTest, UncaughtExceptionRestoresTheTerminalAndReportsOnOneLine) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer cannot run within a small address space";
#endif
  // A script line far larger than the memory the engine may have.
  Story("|start_location:\nA\n|location=A\nIn A.\n/pause\n" + std::string(96 << 20, 'x') +
        "\n/end\n");
  START_OR_SKIP(false, [] {
    struct rlimit limit = {64 << 20, 64 << 20};
    setrlimit(RLIMIT_AS, &limit);
    dup2(STDOUT_FILENO, STDERR_FILENO);
  });
  ASSERT_TRUE(session_.WaitFor("In A."));
  session_.Type("k");
  int status = session_.WaitExit();
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(session_.output().find("In A.\r\nostrel: fatal error: std::bad_alloc\r\n"),
            std::string::npos)
      << session_.output();
  EXPECT_TRUE(SameSettings(session_.before(), session_.Settings()));
}

// The shell's prompt starts a line of its own, whatever ended the run.
TEST_F(PtyTest, RunEndedAtThePromptEndsTheLineFirst) {
  // Ctrl-D on the empty line, Ctrl-C halfway through a word.
  for (std::string typed : {"", "nor"}) {
    PtySession session;
    dir_.Write("script.ostrel", kHall);
    if (!session.Start(dir_.path())) GTEST_SKIP() << "no pseudo-terminal here";
    ASSERT_TRUE(session.WaitFor("The hall.\r\n>"));
    session.Type(typed);
    ASSERT_TRUE(session.WaitFor(">" + typed));
    session.Type(typed.empty() ? "\x04" : "\x03");
    session.WaitExit();
    std::string end = ">" + typed + "\r\n";
    const std::string& out = session.output();
    ASSERT_GE(out.size(), end.size());
    EXPECT_EQ(out.substr(out.size() - end.size()), end) << out;
  }
}

TEST_F(PtyTest, FatalErrorEndsItsLineBeforeTheShellTakesOver) {
  Story("|start_location:\nA\n|location=A\n/end\n");
  START_OR_SKIP();
  ASSERT_TRUE(session_.WaitFor("repeats for ever"));
  session_.Type("k");
  session_.WaitExit();
  const std::string& out = session_.output();
  EXPECT_EQ(out.substr(out.size() - 6), "\x1b[0m\r\n") << out;
}

/* ==== Saving at a terminal ============================================= */

const char kQuestion[] =
    "This story has a saved game. Continue it (Enter or y) or start over (n)? ";
const char kClear[] = "\x1b[H\x1b[2J\x1b[3J";

// A game of kHall played at the terminal up to the library, where the input
// ends: the game is saved by itself. False when there is no pseudo-terminal.
bool PlayToTheLibrary(const ScopedTempDir& dir) {
  PtySession session;
  if (!session.Start(dir.path())) return false;
  EXPECT_TRUE(session.WaitFor("TITLE"));
  session.Type("k");
  EXPECT_TRUE(session.WaitFor("The hall.\r\n>"));
  session.Type("north\r");
  EXPECT_TRUE(session.WaitFor("The library.\r\n>"));
  session.Type("\x04");
  EXPECT_EQ(session.WaitExit(), 0);
  return true;
}

TEST_F(PtyTest, SavedGameIsOfferedFirstAndEnterContinuesWhereItStood) {
  Story(kHall);
  dir_.Write("title_screen.ostrel", "TITLE\n");
  if (!PlayToTheLibrary(dir_)) GTEST_SKIP() << "no pseudo-terminal here";
  PtySession session;
  ASSERT_TRUE(session.Start(dir_.path()));
  ASSERT_TRUE(session.WaitFor(kQuestion));
  // Asked before anything else is shown.
  EXPECT_EQ(session.output(), kQuestion);
  session.Type("\r");
  // The question goes; the screen comes back as it stood, the answer typed
  // there too, and the prompt waits.
  ASSERT_TRUE(session.WaitFor(std::string(kClear) +
                              "TITLE\r\n\r\nThe hall.\r\n>north\r\nThe library.\r\n>"));
  session.Type("quit\r");
  EXPECT_EQ(session.WaitExit(), 0);
  // The game has ended: no save, no question.
  PtySession after;
  ASSERT_TRUE(after.Start(dir_.path()));
  ASSERT_TRUE(after.WaitFor("TITLE"));
  EXPECT_EQ(after.output().find("saved game"), std::string::npos);
}

TEST(PtyDocsTest, TheGuideAndTheManualPageQuoteTheQuestion) {
  std::string question = kQuestion;
  question.pop_back();  // the blank the cursor waits after
  for (const char* doc : {"/docs/writing-stories.md", "/docs/man/ostrel.6"}) {
    std::ifstream file(std::string(OSTREL_SOURCE_DIR) + doc);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("\n" + question + "\n"), std::string::npos) << doc;
  }
}

TEST_F(PtyTest, StartingOverClearsTheQuestionAndShowsTheTitle) {
  Story(kHall);
  dir_.Write("title_screen.ostrel", "TITLE\n");
  if (!PlayToTheLibrary(dir_) || !Start()) GTEST_SKIP() << "no pseudo-terminal here";
  ASSERT_TRUE(session_.WaitFor(kQuestion));
  // Any other key asks again, on a line of its own.
  session_.Type("x");
  ASSERT_TRUE(session_.WaitFor(std::string(kQuestion) + "\r\n" + kQuestion));
  session_.Type("n");
  ASSERT_TRUE(session_.WaitFor(std::string(kQuestion) + kClear + "TITLE\r\n"));
  session_.Type("k");
  ASSERT_TRUE(session_.WaitFor("The hall.\r\n>"));
  session_.Type("\x04");
  EXPECT_EQ(session_.WaitExit(), 0);
}

TEST_F(PtyTest, EndOfInputAtTheQuestionKeepsTheSave) {
  Story(kHall);
  dir_.Write("title_screen.ostrel", "TITLE\n");
  if (!PlayToTheLibrary(dir_)) GTEST_SKIP() << "no pseudo-terminal here";
  for (int run = 0; run < 2; ++run) {
    PtySession session;
    ASSERT_TRUE(session.Start(dir_.path()));
    ASSERT_TRUE(session.WaitFor(kQuestion));
    session.Type("\x04");
    EXPECT_EQ(session.WaitExit(), 0);
    EXPECT_EQ(session.output(), std::string(kQuestion) + "\r\n");
    EXPECT_TRUE(SameSettings(session.before(), session.Settings()));
  }
}

TEST_F(PtyTest, OptionsAnswerTheQuestionBeforeItIsAsked) {
  Story(kHall);
  dir_.Write("title_screen.ostrel", "TITLE\n");
  if (!PlayToTheLibrary(dir_)) GTEST_SKIP() << "no pseudo-terminal here";
  PtySession continued;
  ASSERT_TRUE(continued.Start(dir_.path(), false, nullptr, "--continue"));
  ASSERT_TRUE(continued.WaitFor("The library.\r\n>"));
  EXPECT_EQ(continued.output().find("saved game"), std::string::npos);
  EXPECT_EQ(continued.output().substr(0, sizeof kClear - 1), kClear);
  continued.Type("\x04");
  EXPECT_EQ(continued.WaitExit(), 0);
  PtySession fresh;
  ASSERT_TRUE(fresh.Start(dir_.path(), false, nullptr, "--new"));
  ASSERT_TRUE(fresh.WaitFor("TITLE"));
  EXPECT_EQ(fresh.output().substr(0, 5), "TITLE");
}

TEST_F(PtyTest, CtrlZSuspendsWithTheTerminalRestoredAndResumesInRawMode) {
  Story(kHall);
  START_OR_SKIP(true);
  ASSERT_TRUE(session_.WaitFor(">"));
  session_.Type("\x1a");  // Ctrl-Z
  for (int i = 0; i < 100 && !session_.EngineStopped(); ++i) session_.Settle(20);
  ASSERT_TRUE(session_.EngineStopped());
  EXPECT_TRUE(SameSettings(session_.before(), session_.Settings()));
  kill(session_.engine_pid(), SIGCONT);
  termios resumed{};
  for (int i = 0; i < 100; ++i) {
    session_.Settle(20);
    resumed = session_.Settings();
    if ((resumed.c_lflag & ICANON) == 0) break;
  }
  EXPECT_EQ(resumed.c_lflag & (ICANON | ECHO), 0u);
  session_.Type("north\r");
  ASSERT_TRUE(session_.WaitFor("The library."));
  session_.Type("quit\r");
  EXPECT_EQ(session_.WaitExit(), 0);
  EXPECT_TRUE(SameSettings(session_.before(), session_.Settings()));
}

}  // namespace
