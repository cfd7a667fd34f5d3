// Large and odd stories, played by the real ostrel with piped input.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "test_util.h"

namespace {

// The real engine in `dir`, with pipes for its standard input and output.
class PipedEngine {
 public:
  explicit PipedEngine(const std::string& dir) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      close(in[1]);
      close(out[0]);
      if (chdir(dir.c_str()) != 0) _exit(120);
      execl(OSTREL_BINARY, "ostrel", static_cast<char*>(nullptr));
      _exit(121);
    }
    close(in[0]);
    close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~PipedEngine() {
    if (to_ >= 0) close(to_);
    if (from_ >= 0) close(from_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  void Type(const std::string& text) {
    if (write(to_, text.data(), text.size()) < 0) ADD_FAILURE() << "write";
  }
  void CloseInput() {
    close(to_);
    to_ = -1;
  }
  bool WaitFor(const std::string& text, int timeout_ms = 20000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (output_.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > end || !Read(50)) return false;
    }
    return true;
  }
  // Reads to the end, waits for the engine; its exit status, with the peak
  // resident memory in kilobytes.
  int Finish(long* max_rss_kb = nullptr) {
    if (to_ >= 0) CloseInput();
    while (Read(-1)) {
    }
    int status = 0;
    struct rusage usage;
    wait4(pid_, &status, 0, &usage);
    pid_ = -1;
    if (max_rss_kb != nullptr) *max_rss_kb = usage.ru_maxrss;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  const std::string& output() const { return output_; }

 private:
  bool Read(int timeout_ms) {
    struct pollfd p = {from_, POLLIN, 0};
    if (poll(&p, 1, timeout_ms) <= 0 && timeout_ms >= 0) return true;
    char buffer[65536];
    ssize_t n = read(from_, buffer, sizeof buffer);
    if (n <= 0) return false;
    output_.append(buffer, static_cast<size_t>(n));
    return true;
  }
  pid_t pid_ = -1;
  int to_ = -1;
  int from_ = -1;
  std::string output_;
};

const char kStoryAtTheEnd[] =
    "|start_location:\nHall\n"
    "|location=Hall\nThe hall.\n/get_input\n>>north\n/change_location:\nLibrary\n/end\n"
    "|location=Library\nThe library.\n/end_game\n/end\n";

// A script of about `megabytes` MB whose sections all stand at its end.
void WriteLargeScript(const ScopedTempDir& dir, int megabytes) {
  FILE* f = std::fopen((dir.path() + "/script.ostrel").c_str(), "wb");
  std::string filler(99, 'x');
  filler += '\n';
  for (int i = 0; i < megabytes * 10486; ++i) std::fwrite(filler.data(), 1, filler.size(), f);
  std::fputs(kStoryAtTheEnd, f);
  std::fclose(f);
}

long PlayLargeScript(int megabytes) {
  ScopedTempDir dir;
  WriteLargeScript(dir, megabytes);
  PipedEngine engine(dir.path());
  engine.Type("north\n");
  long rss = 0;
  EXPECT_EQ(engine.Finish(&rss), 0);
  EXPECT_EQ(engine.output(), "The hall.\n>The library.\n");
  return rss;
}

TEST(LargeStoryTest, HundredMegabyteScriptPlaysInFlatMemory) {
  long small = PlayLargeScript(1);
  long large = PlayLargeScript(100);
  std::printf("peak resident memory: %ld kB with 1 MB, %ld kB with 100 MB\n", small, large);
  EXPECT_LE(large, small + small / 10);
}

TEST(LargeStoryTest, TenMegabyteLineIsShownWhole) {
  ScopedTempDir dir;
  std::string long_line(10 * 1024 * 1024, 'w');
  dir.Write("script.ostrel",
            "|start_location:\nA\n|location=A\n" + long_line + "\n/end_game\n/end\n");
  PipedEngine engine(dir.path());
  EXPECT_EQ(engine.Finish(), 0);
  EXPECT_EQ(engine.output(), long_line + "\n");
}

TEST(LargeStoryTest, NulBytesAndInvalidUtf8PassThroughUnchanged) {
  ScopedTempDir dir;
  std::string odd("n\0l \xff\xfe \xc3( \xe2\x82", 12);
  dir.Write("title_screen.ostrel", odd + "\n");
  dir.Write("credits.ostrel", odd);
  dir.Write("animations.ostrel", "|animation_set=S\n|animation=stand\n" + odd + "\n/end\n");
  dir.Write("script.ostrel",
            "|start_location:\nA\n|location=A\n" + odd +
                "\n/get_input\n>>" + std::string("\xff\0", 2) + "\n/end_game\n/end\n");
  PipedEngine engine(dir.path());
  engine.Type(std::string("k\xff\0\n", 4) + "k");
  EXPECT_EQ(engine.Finish(), 0);
  EXPECT_EQ(engine.output(), odd + "\n\n" + odd + "\n>" + odd + "\n");
}

TEST(LargeStoryTest, UnreadableFilesCountAsMissing) {
  if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
  ScopedTempDir dir;
  dir.Write("script.ostrel", "|start_location:\nA\n|location=A\nIn A.\n/end_game\n/end\n");
  std::string title = dir.Write("title_screen.ostrel", "TITLE\n");
  chmod(title.c_str(), 0);
  PipedEngine engine(dir.path());
  EXPECT_EQ(engine.Finish(), 0);
  EXPECT_EQ(engine.output(), "In A.\n");
}

TEST(LargeStoryTest, ScriptRewrittenInPlaceIsReadAsItNowIs) {
  ScopedTempDir dir;
  std::string path = dir.Write("script.ostrel", kStoryAtTheEnd);
  PipedEngine engine(dir.path());
  ASSERT_TRUE(engine.WaitFor(">"));
  // Rewrite the same file, not a new one: the engine never opens it again.
  FILE* f = std::fopen(path.c_str(), "r+b");
  ASSERT_NE(f, nullptr);
  std::string changed(kStoryAtTheEnd);
  changed.replace(changed.find("The library."), 12, "A new room!!");
  std::fwrite(changed.data(), 1, changed.size(), f);
  std::fclose(f);
  engine.Type("north\n");
  EXPECT_EQ(engine.Finish(), 0);
  EXPECT_EQ(engine.output(), "The hall.\n>A new room!!\n");
}

}  // namespace
