// Saving and continuing on the real ostrel: where saves live, their files,
// damaged saves, places that cannot be written, two engines at once, a game
// killed at random moments, and ostrel-replay --journal. Every run keeps its
// saves in a temporary state directory, never under the real home.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "journal.h"
#include "save_story.h"
#include "test_util.h"

namespace {

using save_story::Join;
using save_story::SinceLastClear;

// One run of a program with pipes for its three standard streams.
class Engine {
 public:
  struct Options {
    std::string program = OSTREL_BINARY;
    std::vector<std::string> args;
    std::string dir;
    std::string state;       // XDG_STATE_HOME
    bool real_time = false;  // pauses take their time
  };

  explicit Engine(const Options& o) {
    int in[2], out[2], err[2];
    if (pipe(in) != 0 || pipe(out) != 0 || pipe(err) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      dup2(err[1], STDERR_FILENO);
      for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) close(fd);
      if (chdir(o.dir.c_str()) != 0) _exit(120);
      setenv("XDG_STATE_HOME", o.state.c_str(), 1);
      // The clock fixed, so that the computer's moves are known.
      setenv("LD_PRELOAD", OSTREL_FIXED_TIME, 1);
      setenv("OSTREL_TEST_TIME", "1000", 1);
      if (!o.real_time) setenv("OSTREL_TEST_NO_SLEEP", "1", 1);
      const char* asan = getenv("ASAN_OPTIONS");
      setenv("ASAN_OPTIONS",
             (std::string(asan != nullptr ? asan : "") + ":verify_asan_link_order=0").c_str(), 1);
      std::vector<char*> argv = {const_cast<char*>(o.program.c_str())};
      for (const std::string& a : o.args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(121);
    }
    close(in[0]);
    close(out[1]);
    close(err[1]);
    to_ = in[1];
    out_fd_ = out[0];
    err_fd_ = err[0];
  }
  ~Engine() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      Wait();
    }
    CloseInput();
  }

  void Send(const std::string& text) {
    if (to_ >= 0 && write(to_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
      ADD_FAILURE() << "write";
    }
  }
  void CloseInput() {
    if (to_ >= 0) close(to_);
    to_ = -1;
  }

  // Reads until `done()` holds or the output ends; false on a time-out.
  template <typename Done>
  bool ReadUntil(Done done, int timeout_ms = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done()) {
      if (out_fd_ < 0 && err_fd_ < 0) return done();
      if (std::chrono::steady_clock::now() > end) return false;
      Drain(20);
    }
    return true;
  }
  bool WaitForOutput(size_t bytes) {
    return ReadUntil([&] { return out.size() >= bytes; });
  }

  // The exit status once the run has ended (128 + the signal for a killed
  // one), everything it wrote read.
  int Wait() {
    CloseInput();
    ReadUntil([] { return false; });
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  int Kill() {
    kill(pid_, SIGKILL);
    return Wait();
  }

  std::string out, err;

 private:
  void Drain(int timeout_ms) {
    struct pollfd p[2] = {{out_fd_, POLLIN, 0}, {err_fd_, POLLIN, 0}};
    if (poll(p, 2, timeout_ms) <= 0) return;
    int* fds[2] = {&out_fd_, &err_fd_};
    std::string* texts[2] = {&out, &err};
    for (int i = 0; i < 2; ++i) {
      if (p[i].revents == 0) continue;
      char buffer[4096];
      ssize_t n = read(*fds[i], buffer, sizeof buffer);
      if (n > 0) {
        texts[i]->append(buffer, static_cast<size_t>(n));
      } else {
        close(*fds[i]);
        *fds[i] = -1;
      }
    }
  }

  pid_t pid_ = -1;
  int to_ = -1, out_fd_ = -1, err_fd_ = -1;
};

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

class SaveE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    story_ = root_.path() + "/yard";
    state_ = root_.path() + "/state";
    mkdir(story_.c_str(), 0755);
    save_story::Write(story_dir_);
    // The story in a directory of a readable name.
    for (const char* name : {"script.ostrel", "animations.ostrel", "title_screen.ostrel",
                             "credits.ostrel"}) {
      rename((story_dir_.path() + "/" + name).c_str(), (story_ + "/" + name).c_str());
    }
  }

  Engine::Options With(std::vector<std::string> args) {
    Engine::Options o;
    o.args = std::move(args);
    o.dir = story_;
    o.state = state_;
    return o;
  }

  // A whole run with `input` piped in.
  struct Result {
    int status;
    std::string out, err;
  };
  Result Play(const std::string& input, std::vector<std::string> args) {
    return PlayWith(input, With(std::move(args)));
  }
  Result PlayWith(const std::string& input, const Engine::Options& options) {
    Engine run(options);
    run.Send(input);
    int status = run.Wait();
    return {status, run.out, run.err};
  }

  // The one save in the state directory.
  std::string SavePath() {
    for (const std::string& name : Entries(state_ + "/ostrel")) {
      if (name.size() > 5 && name.substr(name.size() - 5) == ".save") {
        return state_ + "/ostrel/" + name;
      }
    }
    return "";
  }

  ScopedTempDir root_, story_dir_;
  std::string story_, state_;
  std::vector<std::string> reads_ = save_story::Walkthrough();
};

TEST_F(SaveE2eTest, PipedRunWithoutOptionsTouchesNoStateDirectory) {
  Result plain = Play(Join(reads_, 0, 8), {});
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.err, "");
  struct stat info;
  EXPECT_NE(stat(state_.c_str(), &info), 0);
}

TEST_F(SaveE2eTest, DirectoryWithoutAStorySavesNothing) {
  unlink((story_ + "/script.ostrel").c_str());
  Result run = Play("\n\n", {"--new"});
  EXPECT_EQ(run.status, 1);  // no script, no start statement
  struct stat info;
  EXPECT_NE(stat(state_.c_str(), &info), 0);
}

TEST_F(SaveE2eTest, SaveLivesInTheStateDirectoryAndGoesWhenTheGameEnds) {
  Result first = Play(Join(reads_, 0, 10), {"--new"});
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.err, "");
  // ostrel/<the directory's name>-<hash of its path>.save, for its owner only.
  std::vector<std::string> names = Entries(state_ + "/ostrel");
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0].substr(0, 5), "yard-");
  EXPECT_EQ(names[0].size(), std::string("yard-0123456789abcdef.lock").size());
  EXPECT_EQ(names[1], names[0].substr(0, names[0].size() - 5) + ".save");
  struct stat info;
  ASSERT_EQ(stat((state_ + "/ostrel").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  ASSERT_EQ(stat(SavePath().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  // A few bytes an answer, and no room left behind for more.
  EXPECT_LT(info.st_size, 200);
  EXPECT_EQ(static_cast<size_t>(info.st_size),
            journal::ReadJournal(ReadFile(SavePath())).valid_size);

  std::string whole = Play(Join(reads_, 0, reads_.size()), {}).out;
  Result rest = Play(Join(reads_, 10, reads_.size()), {"--continue"});
  EXPECT_EQ(rest.status, 0);
  EXPECT_EQ(rest.err, "");
  EXPECT_EQ(rest.out, "\f" + SinceLastClear(first.out) + whole.substr(first.out.size()));
  EXPECT_TRUE(Entries(state_ + "/ostrel").empty());
}

TEST_F(SaveE2eTest, ReplayToolPlaysTheSaveAsTheSavedGameShowedIt) {
  Result first = Play(Join(reads_, 0, 14), {"--new"});
  Engine::Options replay = With({"--journal", SavePath(), story_});
  replay.program = OSTREL_REPLAY;
  Result played = PlayWith("ignored\n", replay);
  EXPECT_EQ(played.status, 0);
  EXPECT_EQ(played.err, "");
  EXPECT_EQ(played.out, first.out);
  replay.args.insert(replay.args.begin(), "--trace");
  Result traced = PlayWith("", replay);
  EXPECT_NE(traced.out.find("[[word xyzzy]]"), std::string::npos) << traced.out;
  std::string end = "[[end of input]][[exit 0]]\n";
  ASSERT_GE(traced.out.size(), end.size());
  EXPECT_EQ(traced.out.substr(traced.out.size() - end.size()), end);
  // The journal holds the clock: a clock of the replay's own is refused.
  replay.args = {"--journal", SavePath(), "--time", "5"};
  EXPECT_EQ(PlayWith("", replay).status, 2);
  replay.args = {"--journal", state_ + "/none.save"};
  Result missing = PlayWith("", replay);
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, "ostrel-replay: cannot read the save " + state_ + "/none.save\n");
}

// A crash mid-write, a stray edit, a file of another program: the game
// continues from what is whole, and the player is told once what went.
TEST_F(SaveE2eTest, DamagedSavesContinueFromTheirLongestValidPrefix) {
  std::string plain = Play("", {}).out;
  struct Case {
    const char* name;
    std::string (*damage)(const std::string&);
    std::string message;  // after "the save PATH "; "" for none
    bool continues;       // anything is left to continue
  };
  const Case cases[] = {
      {"truncated", [](const std::string& s) { return s.substr(0, s.size() - 2); },
       "was damaged (a record cut short); its last 6 bytes were dropped", true},
      {"flipped byte", [](const std::string& s) {
         std::string d = s;
         d[d.size() - 3] ^= 0x40;
         return d;
       },
       "was damaged (a record that fails its check); its last 8 bytes were dropped", true},
      {"garbage", [](const std::string&) { return std::string("\x7f" "ELF garbage"); },
       "holds no game (it does not begin as a save does); its 12 bytes were dropped", false},
      {"empty", [](const std::string&) { return std::string(); }, "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Result first = Play(Join(reads_, 0, 7), {"--new"});
    std::string path = SavePath();
    std::string damaged = c.damage(ReadFile(path));
    std::ofstream(path, std::ios::binary | std::ios::trunc) << damaged;
    Result rest = Play("", {"--continue"});
    EXPECT_EQ(rest.status, 0);
    EXPECT_EQ(rest.err, c.message.empty() ? "" : "ostrel: the save " + path + " " + c.message + "\n");
    if (c.continues) {
      // The last answer ("in") went: the game stands at its prompt.
      Result prefix = Play(Join(reads_, 0, 6), {});
      EXPECT_EQ(rest.out, "\f" + SinceLastClear(prefix.out));
      // What is left is whole again.
      EXPECT_EQ(journal::ReadJournal(ReadFile(path)).problem, "");
    } else {
      EXPECT_EQ(rest.out, plain);
      EXPECT_EQ(SavePath(), "");
    }
  }
}

TEST_F(SaveE2eTest, DirectoryInTheSavesPlacePlaysWithoutSaving) {
  Play(Join(reads_, 0, 3), {"--new"});
  std::string path = SavePath();
  ASSERT_EQ(unlink(path.c_str()), 0);
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  Result plain = Play(Join(reads_, 0, 8), {});
  Result run = Play(Join(reads_, 0, 8), {"--continue"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "ostrel: cannot use the save " + path +
                         ": Is a directory; the game goes on without saving\n");
  EXPECT_EQ(run.out, plain.out);
  struct stat info;
  EXPECT_TRUE(stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode));
}

TEST_F(SaveE2eTest, UnwritableStateDirectoryPlaysWithoutSaving) {
  // A file where the state directory should be: nothing can be made in it.
  std::ofstream(state_) << "a file";
  Result plain = Play(Join(reads_, 0, 8), {});
  Result run = Play(Join(reads_, 0, 8), {"--new"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "ostrel: cannot create the directory " + state_ +
                         "/ostrel: Not a directory; the game goes on without saving\n");
  EXPECT_EQ(run.out, plain.out);
}

TEST_F(SaveE2eTest, SecondEngineOnTheSameStoryIsRefused) {
  Engine first(With({"--new"}));
  ASSERT_TRUE(first.ReadUntil([&] { return first.out.find("THE YARD") != std::string::npos; }));
  Result second = Play(Join(reads_, 0, 3), {"--continue"});
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.out, "");
  std::string path = state_ + "/ostrel/" + Entries(state_ + "/ostrel")[0];
  path = path.substr(0, path.size() - 5) + ".save";
  EXPECT_EQ(second.err,
            "ostrel: another ostrel is playing this story: its save " + path + " is in use\n");
  // The first plays on and saves as before.
  first.Send(Join(reads_, 0, 3));
  EXPECT_EQ(first.Wait(), 0);
  EXPECT_EQ(journal::ReadJournal(ReadFile(path)).records.size(), 3u);
  // Once it has ended, the save is free.
  EXPECT_EQ(Play("", {"--continue"}).status, 0);
}

TEST_F(SaveE2eTest, ChangedStoryIsToldOnceAndThePlayerGoesOn) {
  Play(Join(reads_, 0, 10), {"--new"});
  std::string script = save_story::kScript;
  script.replace(script.find(">>fight\n"), 8, ">>attack\n");
  std::ofstream(story_ + "/script.ostrel", std::ios::trunc) << script;
  Result rest = Play("back\n", {"--continue"});
  EXPECT_EQ(rest.status, 0);
  EXPECT_EQ(rest.err,
            "ostrel: the story has changed since this game was saved; its answers were played "
            "again as far as they fit, and 2 were dropped\n");
  EXPECT_NE(rest.out.find("A yard. A rat waits.\n>A gate.\n>"), std::string::npos) << rest.out;
  // The guide quotes the line as it is.
  std::string guide = ReadFile(std::string(OSTREL_SOURCE_DIR) + "/docs/writing-stories.md");
  EXPECT_NE(guide.find("\n" + rest.err), std::string::npos);
}

// An author's story that cannot go on ends with status 1 and keeps the save,
// so that once it is mended the game continues.
TEST_F(SaveE2eTest, FatalReportKeepsTheSaveForTheMendedStory) {
  std::string script = save_story::kScript;
  std::string broken = script;
  std::string hall = "|location=Hall\nThe hall.\n/get_input\n>>rest\n/end_game\n/end\n";
  broken.replace(broken.find(hall), hall.size(), "|location=Hall\nThe hall.\n/end\n");
  std::ofstream(story_ + "/script.ostrel", std::ios::trunc) << broken;
  Result first = Play(Join(reads_, 0, reads_.size()), {"--new"});
  ASSERT_EQ(first.status, 1);
  EXPECT_NE(first.out.find("repeats for ever"), std::string::npos);
  ASSERT_NE(SavePath(), "");
  // Continued as it stands, it shows the report again and ends the same way.
  Result again = Play("\n", {"--continue"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.out.substr(again.out.size() - 40), first.out.substr(first.out.size() - 40));
  // Mended, the game goes on to its end.
  std::ofstream(story_ + "/script.ostrel", std::ios::trunc) << script;
  Result mended = Play("rest\n\n", {"--continue"});
  EXPECT_EQ(mended.status, 0);
  EXPECT_NE(mended.out.find("THE END"), std::string::npos) << mended.out;
  EXPECT_EQ(SavePath(), "");
}

// The real engine killed at random moments of a game played in real time,
// with its pauses and typing: the continued game goes on from the last
// answer it acted upon.
TEST_F(SaveE2eTest, KilledAtRandomMomentsContinuesFromTheLastAnswerActedUpon) {
  // The walkthrough read by read as the engine reads it with this clock: a
  // key, a word or a number each, and nothing that a read passes over.
  Engine::Options trace = With({"--trace", "--time", "1000", story_});
  trace.program = OSTREL_REPLAY;
  std::string marks = PlayWith(Join(reads_, 0, reads_.size()), trace).out;
  reads_.clear();
  for (size_t at = marks.find("[["); at != std::string::npos; at = marks.find("[[", at + 2)) {
    std::string mark = marks.substr(at + 2, marks.find("]]", at) - at - 2);
    if (mark == "key") reads_.push_back("\n");
    if (mark.rfind("word ", 0) == 0 || mark.rfind("number ", 0) == 0) {
      reads_.push_back(mark.substr(mark.find(' ') + 1) + "\n");
    }
  }
  std::string whole = Play(Join(reads_, 0, reads_.size()), {}).out;
  ASSERT_NE(whole.find("THE END"), std::string::npos);
  // Where each read is asked for: what a run given the reads before it shows.
  std::vector<size_t> asked;
  for (size_t i = 0; i < reads_.size(); ++i) {
    asked.push_back(Play(Join(reads_, 0, i), {}).out.size());
    ASSERT_EQ(whole.substr(0, asked.back()), Play(Join(reads_, 0, i), {}).out);
  }
  std::mt19937 random(20);
  for (int trial = 0; trial < 12; ++trial) {
    Engine::Options live = With({"--new"});
    live.real_time = true;
    Engine run(live);
    size_t kill_at;
    if (trial % 3 == 2) {
      // At a prompt, waiting for the player.
      size_t given = 1 + random() % (reads_.size() - 2);
      run.Send(Join(reads_, 0, given));
      kill_at = asked[given];
    } else {
      // Anywhere while the game writes, pauses or types.
      run.Send(Join(reads_, 0, reads_.size() - 1));
      kill_at = 1 + random() % (asked.back() - 1);
    }
    SCOPED_TRACE("trial " + std::to_string(trial) + ", killed after " + std::to_string(kill_at) +
                 " bytes");
    ASSERT_TRUE(run.WaitForOutput(kill_at));
    run.Kill();
    ASSERT_EQ(whole.substr(0, run.out.size()), run.out);
    // Every read whose effect was shown is in the save, and at most one more.
    size_t acted = 0;
    while (acted < asked.size() && run.out.size() > asked[acted]) ++acted;
    std::string bytes = ReadFile(SavePath());
    journal::Journal saved = journal::ReadJournal(bytes);
    EXPECT_EQ(saved.problem, "");
    size_t kept = 0;
    for (const journal::Record& r : saved.records) {
      kept += r.kind == journal::kKey || r.kind == journal::kWord || r.kind == journal::kNumber;
    }
    EXPECT_GE(kept, acted);
    EXPECT_LE(kept, acted + 1);
    // Where the save stands, as ostrel-replay --journal shows it: at the
    // last read kept; or just before it when that was a word killed before
    // its "answered nothing" mark, which is taken back, or a move killed
    // before its draw, which the continued game draws itself.
    size_t stands = kept, from = kept;
    if (kept > 0) {
      std::ofstream(root_.path() + "/copy.save", std::ios::binary) << bytes;
      Engine::Options replay = With({"--journal", root_.path() + "/copy.save", story_});
      replay.program = OSTREL_REPLAY;
      size_t shown = PlayWith("", replay).out.size();
      stands = std::find(asked.begin(), asked.end(), shown) - asked.begin();
      char last = saved.records.back().kind;
      bool taken_back = stands + 1 == kept && last == journal::kWord;
      bool drawn_anew = stands + 1 == kept && last == journal::kNumber;
      EXPECT_TRUE(stands == kept || taken_back || drawn_anew)
          << "the replay stands at read " << stands << " (" << shown << " bytes) of " << kept
          << " kept, " << acted << " shown acted upon; the last record " << last;
      EXPECT_GE(stands, acted);
      if (taken_back) from = stands;
    }
    Result rest = Play(Join(reads_, from, reads_.size()), {"--continue"});
    EXPECT_EQ(rest.status, 0);
    if (stands == 0) {
      EXPECT_EQ(rest.out, kept == 0 ? whole : "\f" + whole);
    } else {
      EXPECT_EQ(rest.out, "\f" + SinceLastClear(whole.substr(0, asked[stands])) +
                              whole.substr(asked[stands]));
    }
  }
}

}  // namespace
