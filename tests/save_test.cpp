// Tests of saving and continuing, played in this process on the replay
// terminal with the save kept in memory: a game stopped at any read and
// continued goes on exactly as if it had never stopped.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "journal.h"
#include "replay/replay_terminal.h"
#include "save_story.h"
#include "common/story_runner.h"
#include "terminal.h"
#include "test_util.h"

namespace {

using save_story::Join;
using save_story::SinceLastClear;

constexpr std::time_t kClock = 1000;
constexpr long long kClockStep = 7;

struct Result {
  int status;
  std::string out;
};

class SaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Reset();
    save_story::Write(dir_);
  }
  void TearDown() override { Reset(); }
  static void Reset() {
    Replay() = ReplayOptions();
    ReplaySave() = ReplaySaveStore();
  }

  // One run of the story with `input` piped in and the clock starting at
  // `clock`, moving on kClockStep seconds a draw.
  Result Play(const std::string& input, std::vector<std::string> options,
              std::time_t clock = kClock) {
    std::string out;
    Replay().capture = &out;
    Replay().fixed_time = true;
    Replay().time = clock;
    Replay().time_step = kClockStep;
    ReplayStartRun(input);
    int status = PlayStoryOnce(dir_.path(), options);
    TermFlush();
    Replay().capture = nullptr;
    return {status, out};
  }

  // The records of the save in memory.
  static std::string Kinds() {
    std::string kinds;
    for (const journal::Record& r : journal::ReadJournal(ReplaySave().bytes).records) {
      kinds += r.kind;
    }
    return kinds;
  }

  // Draws the save holds, so that a continued run's clock goes on from them.
  static std::time_t ClockAfterSave() {
    long long draws = 0;
    for (char kind : Kinds()) draws += kind == journal::kTime;
    return kClock + static_cast<std::time_t>(draws * kClockStep);
  }

  ScopedTempDir dir_;
};

TEST_F(SaveTest, WalkthroughReachesTheEndAndLeavesNoSave) {
  std::vector<std::string> reads = save_story::Walkthrough();
  Result plain = Play(Join(reads, 0, reads.size()), {});
  EXPECT_EQ(plain.status, 0);
  EXPECT_NE(plain.out.find("The rat"), std::string::npos) << plain.out;
  ASSERT_NE(plain.out.find("THE END"), std::string::npos) << plain.out;
  EXPECT_FALSE(ReplaySave().exists);  // no option: nothing saved

  Result saved = Play(Join(reads, 0, reads.size()), {"--new"});
  EXPECT_EQ(saved.out, plain.out);  // saving shows nothing
  EXPECT_FALSE(ReplaySave().exists);  // the end of the game removes it
}

// The game stopped at the end of input after each read, then continued with
// the rest: a clear screen, the screen as it stood, then the rest of the
// uninterrupted run, byte for byte.
TEST_F(SaveTest, ContinuingAfterEveryReadGoesOnAsIfNeverStopped) {
  std::vector<std::string> reads = save_story::Walkthrough();
  std::string whole = Play(Join(reads, 0, reads.size()), {}).out;
  for (size_t cut = 1; cut < reads.size(); ++cut) {
    SCOPED_TRACE("stopped after read " + std::to_string(cut));
    Result first = Play(Join(reads, 0, cut), {"--new"});
    ASSERT_EQ(first.status, 0);
    ASSERT_EQ(whole.substr(0, first.out.size()), first.out);
    ASSERT_TRUE(ReplaySave().exists);
    Result rest = Play(Join(reads, cut, reads.size()), {"--continue"}, ClockAfterSave());
    EXPECT_EQ(rest.status, 0);
    EXPECT_EQ(rest.out, "\f" + SinceLastClear(first.out) + whole.substr(first.out.size()));
    EXPECT_FALSE(ReplaySave().exists);
    // The save as it stood is never written again when all of it fitted.
    EXPECT_EQ(ReplaySave().replaced, 0);
  }
}

// Stopped twice: the second stop's save holds the first's records and what
// came after, and continues as well.
TEST_F(SaveTest, ContinuingTwiceGoesOnAsIfNeverStopped) {
  std::vector<std::string> reads = save_story::Walkthrough();
  std::string whole = Play(Join(reads, 0, reads.size()), {}).out;
  for (size_t first_cut = 1; first_cut < reads.size(); first_cut += 3) {
    for (size_t second_cut = first_cut + 1; second_cut < reads.size(); second_cut += 2) {
      SCOPED_TRACE(std::to_string(first_cut) + ", then " + std::to_string(second_cut));
      Play(Join(reads, 0, first_cut), {"--new"});
      Play(Join(reads, first_cut, second_cut), {"--continue"}, ClockAfterSave());
      Result prefix = Play(Join(reads, 0, second_cut), {});
      Result rest = Play(Join(reads, second_cut, reads.size()), {"--continue"}, ClockAfterSave());
      EXPECT_EQ(rest.out, "\f" + SinceLastClear(prefix.out) + whole.substr(prefix.out.size()));
    }
  }
}

TEST_F(SaveTest, DuelIsDrawnFromTheSavedClockWhateverTheClockSaysNow) {
  std::vector<std::string> reads = save_story::Walkthrough();
  // Stopped at the key wait after the duel's second turn.
  size_t cut = 11;
  Result first = Play(Join(reads, 0, cut), {"--new"});
  EXPECT_NE(first.out.find("Defend!"), std::string::npos);
  // Another clock draws other moves from the start of the duel.
  Result other = Play(Join(reads, 0, cut), {}, kClock + 1);
  ASSERT_NE(SinceLastClear(other.out), SinceLastClear(first.out));
  Result continued = Play("", {"--continue"}, kClock + 1);
  EXPECT_EQ(continued.out, "\f" + SinceLastClear(first.out));
  // The save still holds the same duel.
  EXPECT_EQ(Kinds(), "KWKWRWKWWBNTKNT");
}

TEST_F(SaveTest, JournalHoldsEveryReadInOrder) {
  std::vector<std::string> reads = save_story::Walkthrough();
  Play(Join(reads, 0, 12), {"--new"});
  // title key, look, pause, xyzzy (answered nothing), lost, its error's key,
  // in, fight, the duel's turns with their draws.
  EXPECT_EQ(Kinds(), "KWKWRWKWWBNTKNTK");
}

TEST_F(SaveTest, PipedRunWithoutOptionsNeitherReadsNorWritesTheSave) {
  std::vector<std::string> reads = save_story::Walkthrough();
  Play(Join(reads, 0, 5), {"--new"});
  std::string saved = ReplaySave().bytes;
  Result plain = Play(Join(reads, 0, 3), {});
  EXPECT_EQ(plain.out.find('\f'), std::string::npos);
  EXPECT_EQ(ReplaySave().bytes, saved);
}

TEST_F(SaveTest, ContinueWithoutASaveStartsAtTheTitle) {
  std::vector<std::string> reads = save_story::Walkthrough();
  Result plain = Play(Join(reads, 0, 4), {});
  Result continued = Play(Join(reads, 0, 4), {"--continue"});
  EXPECT_EQ(continued.out, plain.out);
  EXPECT_TRUE(ReplaySave().exists);
}

TEST_F(SaveTest, NewDiscardsTheSave) {
  std::vector<std::string> reads = save_story::Walkthrough();
  Play(Join(reads, 0, 6), {"--new"});
  Result plain = Play("", {});
  Result fresh = Play("", {"--new"});
  EXPECT_EQ(fresh.out, plain.out);
  EXPECT_FALSE(ReplaySave().exists);  // nothing read: nothing saved
}

TEST_F(SaveTest, ReadsAreMadeDurableOnlyWhenTheEngineWouldWait) {
  std::vector<std::string> reads = save_story::Walkthrough();
  // Every answer is there before it is asked for: one sync, at the end.
  Play(Join(reads, 0, 12), {"--new"});
  EXPECT_EQ(ReplaySave().syncs, 1);
}

TEST_F(SaveTest, DamagedSaveContinuesFromItsLongestValidPrefix) {
  std::vector<std::string> reads = save_story::Walkthrough();
  Play(Join(reads, 0, 7), {"--new"});
  std::string whole_save = ReplaySave().bytes;
  ASSERT_EQ(Kinds(), "KWKWRWKW");
  // Cut in the middle of the last record ("in"): the game continues there.
  ReplaySave().bytes = whole_save.substr(0, whole_save.size() - 3);
  Result prefix = Play(Join(reads, 0, 6), {});
  Result rest = Play("", {"--continue"});
  EXPECT_EQ(rest.out, "\f" + SinceLastClear(prefix.out));
  // The save is written anew without the broken tail.
  EXPECT_EQ(ReplaySave().replaced, 1);
  EXPECT_EQ(journal::ReadJournal(ReplaySave().bytes).problem, "");
  EXPECT_EQ(Kinds(), "KWKWRWK");
  // Garbage holds no game: the title, and the garbage goes.
  ReplaySave().bytes = "garbage";
  Result garbage = Play("", {"--continue"});
  EXPECT_EQ(garbage.out, Play("", {}).out);
  EXPECT_FALSE(ReplaySave().exists);
}

/* ==== A changed story =================================================== */

class ChangedStoryTest : public SaveTest {
 protected:
  void Edit(const std::string& from, const std::string& to) {
    size_t at = script_.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    script_.replace(at, from.size(), to);
    dir_.Write("script.ostrel", script_);
  }
  std::string script_ = save_story::kScript;
};

TEST_F(ChangedStoryTest, NewTextIsShownAndEveryAnswerStillFits) {
  std::vector<std::string> reads = save_story::Walkthrough();
  Play(Join(reads, 0, 8), {"--new"});
  Edit("A yard. A rat waits.", "A muddy yard. A rat waits.");
  Result prefix = Play(Join(reads, 0, 8), {});
  Result rest = Play("", {"--continue"});
  EXPECT_EQ(rest.out, "\f" + SinceLastClear(prefix.out));
  // The save now belongs to the story as it is.
  EXPECT_EQ(ReplaySave().replaced, 1);
  Result again = Play("", {"--continue"});
  EXPECT_EQ(again.out, rest.out);
  EXPECT_EQ(ReplaySave().replaced, 1);
}

TEST_F(ChangedStoryTest, ReplayEndsAtAnAnswerTheStoryNoLongerOffers) {
  std::vector<std::string> reads = save_story::Walkthrough();
  Play(Join(reads, 0, 10), {"--new"});
  Edit(">>fight\n", ">>attack\n");
  // Played as far as "in"; the yard's prompt stands for a new answer.
  Result prefix = Play(Join(reads, 0, 7), {});
  Result rest = Play("back\n", {"--continue"});
  Result expected = Play(Join(reads, 0, 7) + "back\n", {});
  EXPECT_EQ(rest.out, "\f" + SinceLastClear(prefix.out) + expected.out.substr(prefix.out.size()));
  // Up to "in" ("xyzzy" passed over), then "back".
  EXPECT_EQ(Kinds(), "KWKWKWW");
}

TEST_F(ChangedStoryTest, WordsThatAnsweredNothingArePassedOver) {
  std::vector<std::string> reads = save_story::Walkthrough();
  Play(Join(reads, 0, 7), {"--new"});
  // "xyzzy" answers now, but it changed nothing when it was typed.
  Edit(">>look\n", ">>xyzzy\nMagic!\n/end\n>>look\n");
  Result rest = Play("", {"--continue"});
  EXPECT_EQ(rest.out.find("Magic!"), std::string::npos) << rest.out;
  EXPECT_EQ(Kinds(), "KWKWKW");
}

TEST_F(ChangedStoryTest, KeyWaitsAddedOrRemovedDoNotEndTheReplay) {
  std::vector<std::string> reads = save_story::Walkthrough();
  Play(Join(reads, 0, 8), {"--new"});
  // The sign's pause removed, one added in the yard.
  Edit("A sign.\n/pause\n", "A sign.\n");
  Edit("A yard. A rat waits.\n", "A yard. A rat waits.\n/pause\n");
  Result rest = Play("", {"--continue"});
  EXPECT_NE(rest.out.find("(rat)\nAttack!"), std::string::npos) << rest.out;
  // look, xyzzy passed over, lost and its error's key, in, the new pause,
  // fight, and the duel.
  EXPECT_EQ(Kinds(), "KWWKWKWB");
}

}  // namespace
