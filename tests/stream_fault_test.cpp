// The real ostrel and its tools with standard streams and files of every odd
// kind: closed, non-blocking, full, FIFOs, endless input, a million answers.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <iterator>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "test_util.h"

namespace {

struct Outcome {
  int status = -1;  // the exit status, or -1 when the program did not exit
  std::string out, err;
  long max_rss_kb = 0;
};

// Runs a program in `dir` with pipes for its standard streams, feeding it
// `input` while reading what it writes. `setup` runs in the child just before
// the program starts; `wait_output` holds back the input until that text has
// been written; `hold_output` leaves standard output unread until the pipe
// is full.
// The input is made while it is written, piece by piece, so that the test
// holds none of it: a child's peak memory counts what its parent held.
struct Piece {
  std::string text;
  size_t times = 1;
};

struct Launch {
  std::vector<std::string> argv = {OSTREL_BINARY};
  std::string dir;
  std::vector<Piece> input;
  std::function<void()> setup;
  std::string wait_output;
  bool hold_output = false;
};

// False once the process waits for something (or has ended): after its
// prompt, that is the read of its input.
bool Running(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  size_t paren = text.rfind(')');
  return paren != std::string::npos && paren + 2 < text.size() && text[paren + 2] == 'R';
}

Outcome Start(const Launch& launch) {
  Outcome result;
  int in[2], out[2], err[2];
  if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return result;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(err[1], STDERR_FILENO);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
    if (chdir(launch.dir.c_str()) != 0) _exit(120);
#if defined(__SANITIZE_ADDRESS__)
    // Freed memory that the sanitizer holds back would count as the
    // program's own peak.
    std::string options = getenv("ASAN_OPTIONS") != nullptr ? getenv("ASAN_OPTIONS") : "";
    setenv("ASAN_OPTIONS", (options + ":quarantine_size_mb=4").c_str(), 1);
#endif
    if (launch.setup) launch.setup();
    std::vector<char*> args;
    for (const std::string& a : launch.argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(121);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  int to = in[1];
  fcntl(to, F_SETFL, O_NONBLOCK);
  size_t piece = 0, time = 0;
  std::string pending;  // made, not yet written
  auto make_more = [&] {
    while (pending.size() < 65536 && piece < launch.input.size()) {
      if (time < launch.input[piece].times) {
        pending += launch.input[piece].text;
        ++time;
      } else {
        ++piece;
        time = 0;
      }
    }
  };
  make_more();
  if (pending.empty() && launch.wait_output.empty()) {
    close(to);
    to = -1;
  }
  bool holding = launch.hold_output;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  int open_outputs = 2;
  while (open_outputs > 0 && std::chrono::steady_clock::now() < deadline) {
    bool may_send = to >= 0 && (launch.wait_output.empty() ||
                                (result.out.find(launch.wait_output) != std::string::npos &&
                                 !Running(pid)));
    if (holding) {
      int queued = 0;
      ioctl(out[0], FIONREAD, &queued);
      // A full pipe: the program has had to wait for its reader.
      holding = queued < 65536;
    }
    struct pollfd p[3] = {{out[0], static_cast<short>(holding ? 0 : POLLIN), 0},
                          {err[0], POLLIN, 0},
                          {to, static_cast<short>(may_send ? POLLOUT : 0), 0}};
    // Short waits while the test itself watches for something to happen.
    bool watching = holding || (to >= 0 && !launch.wait_output.empty());
    poll(p, to >= 0 ? 3 : 2, watching ? 1 : 1000);
    char buffer[65536];
    for (int i = 0; i < 2; ++i) {
      if (p[i].fd < 0 || (p[i].revents & (POLLIN | POLLHUP)) == 0) continue;
      ssize_t n = read(p[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? result.out : result.err).append(buffer, static_cast<size_t>(n));
      } else {
        close(p[i].fd);
        (i == 0 ? out[0] : err[0]) = -1;
        --open_outputs;
      }
    }
    if (to >= 0 && (p[2].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
      ssize_t n = write(to, pending.data(), pending.size());
      if (n > 0) pending.erase(0, static_cast<size_t>(n));
      if (n < 0 && errno != EAGAIN) {  // the reader left
        pending.clear();
        piece = launch.input.size();
      }
      make_more();
      if (pending.empty()) {
        close(to);
        to = -1;
      }
    }
  }
  for (int fd : {to, out[0], err[0]}) {
    if (fd >= 0) close(fd);
  }
  if (open_outputs > 0) kill(pid, SIGKILL);
  int status = 0;
  struct rusage usage;
  wait4(pid, &status, 0, &usage);
  result.max_rss_kb = usage.ru_maxrss;
  if (WIFEXITED(status) && open_outputs == 0) result.status = WEXITSTATUS(status);
  return result;
}

std::string Repeat(const std::string& text, size_t times) {
  std::string all;
  for (size_t i = 0; i < times; ++i) all += text;
  return all;
}

size_t Count(const std::string& text, char c) {
  size_t n = 0;
  for (char x : text) n += x == c;
  return n;
}

const char kMenu[] =
    "|start_location:\nHall\n"
    "|location=Hall\nThe hall.\n/get_input\n>>a\n/get_input\n>>q\n/end_game\n/end\n";

class StreamFaultTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { signal(SIGPIPE, SIG_IGN); }
  Launch Story(const std::string& script) {
    dir_.Write("script.ostrel", script);
    Launch launch;
    launch.dir = dir_.path();
    return launch;
  }
  ScopedTempDir dir_;
};

// A menu that comes back to itself nests no deeper with each answer.
TEST_F(StreamFaultTest, MillionAnswersToAMenuThatReturnsToItselfRunInFlatMemory) {
  // The replay tool shares the engine's code: a tenth of the answers, to
  // keep the test fast under the sanitizers.
  for (const char* binary : {OSTREL_BINARY, OSTREL_REPLAY}) {
    size_t answers = binary == std::string(OSTREL_BINARY) ? 1000000 : 100000;
    Launch few = Story(kMenu);
    few.argv = {binary};
    // Into a file: a million prompts are a million writes.
    std::string out_path = dir_.path() + "/out";
    few.setup = [out_path] {
      int file = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(file, STDOUT_FILENO);
      close(file);
    };
    few.input = {{"a\n", 1000}, {"q\n"}};
    Outcome small = Start(few);
    Launch many = few;
    many.input = {{"a\n", answers}, {"q\n"}};
    Outcome large = Start(many);
    EXPECT_EQ(small.status, 0) << binary;
    EXPECT_EQ(large.status, 0) << binary << small.err;
    std::ifstream written(out_path, std::ios::binary);
    std::string out((std::istreambuf_iterator<char>(written)), std::istreambuf_iterator<char>());
    EXPECT_EQ(Count(out, '>'), answers + 1) << binary;
    std::printf("%s: peak resident memory %ld kB with 1000 answers, %ld kB with %zu\n",
                binary, small.max_rss_kb, large.max_rss_kb, answers);
    EXPECT_LE(large.max_rss_kb, small.max_rss_kb + small.max_rss_kb / 10) << binary;
  }
}

TEST_F(StreamFaultTest, ExplorerGoesRoundAMenuPastAHundredThousandSteps) {
  Launch launch = Story(
      "|start_location:\nHall\n|location=Hall\nThe hall.\n/get_input\n>>a\n/get_input\n/end\n");
  launch.argv = {OSTREL_EXPLORE, "--runs", "1", "--steps", "100000", "--out",
                 dir_.path() + "/walkthroughs"};
  Outcome outcome = Start(launch);
  EXPECT_EQ(outcome.status, 1) << outcome.err;
  EXPECT_NE(outcome.out.find("1 did not end"), std::string::npos) << outcome.out;
}

// A closed standard input is the end of input, not the first file opened.
TEST_F(StreamFaultTest, ClosedStandardInputIsTheEndOfInput) {
  // The script's own words would answer the prompt if it were read there.
  Launch launch = Story("|start_location:\nHall\n|location=Hall\nThe hall.\n/get_input\n"
                        ">>marker\nREAD THE STORY AS INPUT\n/end_game\n/end\n|location=Pad\n" +
                        Repeat("marker\n", 20000) + "/end\n");
  launch.setup = [] { close(STDIN_FILENO); };
  for (const char* binary : {OSTREL_BINARY, OSTREL_REPLAY}) {
    launch.argv = {binary};
    Outcome outcome = Start(launch);
    EXPECT_EQ(outcome.status, 0) << binary;
    EXPECT_EQ(outcome.out, "The hall.\n>") << binary;
  }
}

TEST_F(StreamFaultTest, NonBlockingInputIsWaitedFor) {
  Launch launch = Story(kMenu);
  launch.setup = [] { fcntl(STDIN_FILENO, F_SETFL, O_NONBLOCK); };
  // Nothing is there to read when the prompt first asks: the answers come
  // once the engine waits.
  launch.wait_output = "The hall.\n>";
  launch.input = {{"a\nq\n"}};
  Outcome outcome = Start(launch);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "The hall.\n>>");
}

TEST_F(StreamFaultTest, NonBlockingOutputToASlowReaderLosesNothing) {
  Launch launch = Story(kMenu);
  std::string title = Repeat(std::string(79, 't') + "\n", 3000);
  dir_.Write("title_screen.ostrel", title);
  launch.setup = [] { fcntl(STDOUT_FILENO, F_SETFL, O_NONBLOCK); };
  launch.hold_output = true;
  launch.input = {{"kq\n"}};
  Outcome outcome = Start(launch);
  EXPECT_EQ(outcome.status, 0);
  // The title screen's last line end gives it one empty line more.
  EXPECT_EQ(outcome.out.size(), title.size() + 12);
  EXPECT_TRUE(outcome.out == title + "\nThe hall.\n>");
}

// The first write that fails for good ends the run, with one line to say so.
TEST_F(StreamFaultTest, OutputThatCannotBeWrittenEndsTheRun) {
  Launch launch = Story(
      "|start_location:\nHall\n|location=Hall\nThe hall.\n/get_input\n>>a\n"
      "/change_location:\nHall\n/end\n");
  launch.input = {{"a\n", 200000}};
  struct Case {
    std::function<void()> setup;
    const char* why;
  } cases[] = {
      {[] {
         int full = open("/dev/full", O_WRONLY);
         dup2(full, STDOUT_FILENO);
       },
       "No space left on device"},
      {[] { close(STDOUT_FILENO); }, "Bad file descriptor"},
  };
  for (const Case& c : cases) {
    launch.setup = c.setup;
    for (const char* binary : {OSTREL_BINARY, OSTREL_REPLAY}) {
      launch.argv = {binary};
      Outcome outcome = Start(launch);
      EXPECT_EQ(outcome.status, 1) << binary << " " << c.why;
      std::string tool = std::strrchr(binary, '/') + 1;
      EXPECT_EQ(outcome.err, tool + ": cannot write the output: " + c.why + "\n");
    }
    // The checker's report too.
    launch.argv = {OSTREL_CHECK};
    Outcome outcome = Start(launch);
    EXPECT_EQ(outcome.status, 2) << c.why;
    EXPECT_EQ(outcome.err, "ostrel-check: cannot write the output\n");
  }
}

// A FIFO without a writer is no regular file: missing, found without waiting.
TEST_F(StreamFaultTest, FifoDataFilesCountAsMissingWithoutBlocking) {
  Launch launch = Story(kMenu);
  ASSERT_EQ(mkfifo((dir_.path() + "/title_screen.ostrel").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo((dir_.path() + "/animations.ostrel").c_str(), 0600), 0);
  launch.input = {{"q\n"}};
  Outcome outcome = Start(launch);
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, "The hall.\n>");
  launch.argv = {OSTREL_CHECK};
  outcome = Start(launch);
  EXPECT_EQ(outcome.status, 0) << outcome.out;
}

// An endless word keeps only its start, too long to answer anything.
TEST_F(StreamFaultTest, EndlessWordAtThePromptReadsInBoundedMemory) {
  const size_t kMax = size_t{1} << 20;
  Launch launch = Story("|start_location:\nHall\n|location=Hall\nThe hall.\n/get_input\n>>" +
                        std::string(kMax + 1, 'x') + "\n/wait:\n0\nTOO LONG\n/end_game\n>>" +
                        std::string(kMax, 'y') + "\n/wait:\n0\nLONGEST\n/end_game\n/end\n");
  launch.input = {{"x", 1000}, {"\n"}};
  Outcome small = Start(launch);
  launch.input = {{"x", 32 << 20}, {"\n"}, {"y", kMax}, {"\n"}};
  Outcome large = Start(launch);
  EXPECT_EQ(large.status, 0);
  EXPECT_EQ(large.out, "The hall.\n>>LONGEST\n");
  std::printf("peak resident memory: %ld kB for a word of 1000 bytes, %ld kB for 32 MiB\n",
              small.max_rss_kb, large.max_rss_kb);
  EXPECT_LE(large.max_rss_kb, small.max_rss_kb + 8 * 1024);
  // Many words on one endless line, at a move prompt.
  Launch battle = Story(
      "|start_battle:\nB\n|battle=B\n*player_health:\n1\n*PC_health:\n1\n*number_of_moves:\n2\n"
      "*player_attacks_message:\nAttack!\n*player_attack_1:\nCut\n*player_attack_2:\nThrust\n"
      "*player_defends_message:\nDefend!\n*player_defend_1:\nDuck\n*player_defend_2:\nJump\n"
      "*player_hits_message:\nHit.\n*PC_blocks_message:\nBlocked.\n*PC_hits_message:\nOuch.\n"
      "*player_blocks_message:\nParried.\n*player_HP_label:\nYou: \n*PC_HP_label:\nFoe: \n"
      "*player_wins_result:\n/end_game\n*PC_wins_result:\n/end_game\n/end\n");
  battle.input = {{"x ", 8 << 20}};
  Outcome moves = Start(battle);
  EXPECT_EQ(moves.status, 0);
  EXPECT_LE(moves.max_rss_kb, small.max_rss_kb + 8 * 1024);
}

}  // namespace

namespace {

// Memory run out on a script line far larger than the tools may have: like
// the engine, one line on standard error and a plain exit status, not the
// runtime's abort with its core dump.
TEST_F(StreamFaultTest, ToolsOutOfMemoryReportOnOneLine) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer cannot run within a small address space";
#endif
  Launch launch = Story("|start_location:\nA\n|location=A\nIn A.\n/pause\n" +
                        std::string(96 << 20, 'x') + "\n/end\n");
  launch.setup = [] {
    struct rlimit limit = {64 << 20, 64 << 20};
    setrlimit(RLIMIT_AS, &limit);
  };
  launch.input = {{"k\n"}};
  struct Case {
    const char* binary;
    std::string name;
    int status;
    std::string out;
  };
  // The replay tool writes what the engine writes before its report.
  for (const Case& c : {Case{OSTREL_REPLAY, "ostrel-replay", 1, "In A.\n"},
                        Case{OSTREL_CHECK, "ostrel-check", 2, ""},
                        Case{OSTREL_EXPLORE, "ostrel-explore", 2, ""}}) {
    launch.argv = {c.binary};
    Outcome outcome = Start(launch);
    EXPECT_EQ(outcome.status, c.status) << c.name << ": " << outcome.err;
    EXPECT_EQ(outcome.err, c.name + ": fatal error: std::bad_alloc\n");
    EXPECT_EQ(outcome.out, c.out) << c.name;
  }
}

}  // namespace
