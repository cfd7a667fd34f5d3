// The lookups against a plain line-by-line reading of the same files: on
// random stories, with every buffer size from one byte up, both must leave
// the same line, the same position, the same line number and the same reports.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "battle.h"
#include "console.h"
#include "globals.h"
#include "keywords.h"
#include "replay/replay_terminal.h"
#include "test_util.h"

namespace {

/* ==== The lookups, one line at a time =================================== */

// Each reads with ReadLine only and tests `line` after every read.

// Whether a line is the argument of a progress condition, told from whole
// lines.
class PlainArguments {
 public:
  bool Next(const std::string& text) {
    bool is_argument = argument_next_;
    argument_next_ = after_if_ && IsProgressCondition(text);
    after_if_ = text == kw::kIf;
    return is_argument;
  }

 private:
  bool after_if_ = false;
  bool argument_next_ = false;
};

bool PlainFindInFile(DataStream& stream, const std::string& header) {
  stream.Rewind();
  PlainArguments arguments;
  for (;;) {
    stream.ReadLine(&line);
    bool is_argument = arguments.Next(line);
    if (line == header && !is_argument) return true;
    if (stream.eof()) break;
  }
  Error(header + " does not exist");
  return false;
}

void PlainFindInSection(const std::string& section, const std::string& wanted,
                        DataStream& stream) {
  PlainFindInFile(stream, section);
  PlainArguments arguments;
  for (;;) {
    stream.ReadLine(&line);
    bool is_argument = arguments.Next(line);
    if (line == wanted) return;
    if (!is_argument && !line.empty() && line[0] == '|') return;
    if (stream.eof()) return;
  }
}

bool PlainParameterPresent(const std::string& keyword) {
  PlainFindInFile(script, battle);
  PlainArguments arguments;
  while (line != keyword) {
    if (!script.ReadLine(&line)) return false;
    bool is_argument = arguments.Next(line);
    if (!is_argument && !line.empty() && line[0] == '|') return false;
  }
  return true;
}

void PlainFindGameBeginning() {
  for (;;) {
    script.ReadLine(&line);
    if (line == kw::kStartLocation || line == kw::kStartDialog ||
        line == kw::kStartBattle) {
      break;
    }
    if (script.eof()) FatalError("missing start statement");
  }
  // The name line, which the engine takes next.
  script.ReadLine(&line);
}

bool LooksLikeSetHeader(const std::string& text) {
  return text.size() >= 15 && text[0] == '|' && text[14] == '=';
}

// The animation's search, then its play as the battle engine plays it.
void PlainPlayAnimation(Battle& engine, const std::string& name) {
  engine.getAnimationSetName();
  bool set_found = PlainFindInFile(animations, engine.animation_set);
  bool reported = false;
  while (line != name) {
    if (!animations.ReadLine(&line)) {
      if (set_found && !reported) Error(name + " not found within " + engine.animation_set);
      return;
    }
    if (LooksLikeSetHeader(line)) {
      Error(name + " not found within " + engine.animation_set);
      reported = true;
    }
  }
  engine.playSection(animations, false);
}

/* ==== Random stories ===================================================== */

// Lines that lookups seek, lines that look like them and are not, and the
// lines around them that change what a line means.
const char* const kLines[] = {
    "|location=A", "|location=B", "|battle=X", "|battle=Y", "|dialog=A",
    "|location=A ", "|location=", "|location=AA", " |location=A", "|battle=X\rY",
    "/if:", "/if:", "/if: ", "LocationVisited:", "BattleWon:", "DialogNotPlayed:",
    "HasInInventory:", "2", "/end_if", "/end", "/pause",
    "|start_location:", "|start_dialog:", "|start_battle:", "|start_location:A",
    "*animation_set:", "*animation_set: ", "*player_health:", "5", "S",
    "|animation_set=S", "|animation_set=T", "|animation=stand", "|animation=stand ",
    "|animation=PC_1_player_2", "|xxxxxxxxxxxxx=look-alike", ">>go", ">>stop",
    "", "", "Some text.", "A longer line of text, as a story tells it.", "|"};

// The lookups' arguments, those that stand in the stories and some that don't.
const char* const kHeaders[] = {"|location=A", "|location=B", "|battle=X", "|battle=Y",
                                "|dialog=A", "|location=C", ""};
const char* const kWanted[] = {">>go", ">>stop", "*animation_set:", "*player_health:",
                               "/end", "", "|location=B"};
const char* const kAnimations[] = {"|animation=stand", "|animation=PC_1_player_2",
                                   "|animation=missing"};

class Story {
 public:
  explicit Story(std::uint32_t seed) : random_(seed) {}

  std::uint32_t Below(std::uint32_t n) { return random_() % n; }

  // A story for a stream with a buffer of `buffer` bytes.
  std::string Make(size_t buffer) {
    std::string text;
    std::uint32_t lines = Below(80);
    bool crlf = Below(3) == 0;
    for (std::uint32_t i = 0; i < lines; ++i) {
      std::uint32_t kind = Below(20);
      if (kind == 0) {
        // As long as a few buffers, or a little shorter.
        std::uint32_t length = Below(static_cast<std::uint32_t>(3 * buffer + 10));
        text += std::string(length, static_cast<char>('a' + Below(26)));
      } else {
        text += Next();
      }
      if (i + 1 == lines && Below(3) == 0) {
        if (Below(2) == 0) text += '\r';  // a last line without a line end
        break;
      }
      if (crlf || Below(8) == 0) text += '\r';
      text += '\n';
    }
    return text;
  }

  // A line of kLines, most often the one that makes sense after the last:
  // a condition after "/if:", a header-like argument after a condition, a set
  // name after "*animation_set:".
  std::string Next() {
    static const char* const kConditions[] = {"LocationVisited:", "BattleNotWon:",
                                              "HasInInventory:"};
    static const char* const kArguments[] = {"|location=A", "|battle=X", "|animation_set=S",
                                             "|"};
    static const char* const kSets[] = {"S", "T"};
    std::string next;
    if (last_ == "/if:" && Below(3) != 0) {
      next = Pick(kConditions, 3);
    } else if (IsProgressCondition(last_) && Below(3) != 0) {
      next = Pick(kArguments, 4);
    } else if (last_ == "*animation_set:" && Below(4) != 0) {
      next = Pick(kSets, 2);
    } else {
      next = kLines[Below(sizeof kLines / sizeof *kLines)];
    }
    last_ = next;
    return next;
  }

  std::string Pick(const char* const* list, size_t count) {
    return list[Below(static_cast<std::uint32_t>(count))];
  }

 private:
  std::mt19937 random_;
  std::string last_;
};

constexpr size_t kBufferSizes[] = {1, 2, 3, 5, 16, 63, 64, 65, 100, 1000, DataStream::kDefaultBufferSize};

// What a lookup left behind: its answer, the stream's state, the reports it
// wrote, and the next two reads.
struct Outcome {
  int answer = 0;
  std::string line;
  std::int64_t line_number = 0;
  bool eof = false;
  unsigned long long written = 0;
  int exit_status = -1;
  std::string next;

  bool operator==(const Outcome& o) const {
    return answer == o.answer && line == o.line && line_number == o.line_number &&
           eof == o.eof && written == o.written && exit_status == o.exit_status &&
           next == o.next;
  }
};

std::ostream& operator<<(std::ostream& out, const Outcome& o) {
  return out << "answer " << o.answer << ", line '" << o.line.substr(0, 40) << "' (size "
             << o.line.size() << "), line number " << o.line_number << ", eof " << o.eof
             << ", written " << o.written << ", exit " << o.exit_status << ", next '"
             << o.next.substr(0, 60) << "'";
}

// Runs `lookup` on `stream`, which stands at its first line.
template <typename Lookup>
Outcome Observe(DataStream& stream, Lookup lookup) {
  stream.Rewind();
  // The start statement search sets these: each lookup finds them as they were.
  std::string kept[] = {location, dialog, battle};
  ReplayStartRun(std::string(1000, 'k'));
  unsigned long long before = ReplayBytesWritten();
  Outcome o;
  try {
    o.answer = lookup();
  } catch (const RunEnded& ended) {
    o.exit_status = ended.status;
  }
  o.line = line;
  o.line_number = stream.line_number();
  o.eof = stream.eof();
  o.written = ReplayBytesWritten() - before;
  location = kept[0];
  dialog = kept[1];
  battle = kept[2];
  for (int i = 0; i < 2; ++i) {
    std::string text;
    bool read = stream.ReadLine(&text);
    o.next += text + (read ? "|read" : "|none") + (stream.eof() ? "|eof;" : ";");
  }
  return o;
}

class LookupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Replay().discard_output = true;
    Replay().trace = true;
  }
  void TearDown() override {
    script.Open("");
    animations.Open("");
    battle.clear();
    Replay() = ReplayOptions();
  }
  ScopedTempDir dir_;
};

TEST_F(LookupTest, ScansAgreeWithLineByLineReadingOnRandomStories) {
  int compared = 0;
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    Story story(seed);
    size_t buffer = kBufferSizes[story.Below(sizeof kBufferSizes / sizeof *kBufferSizes)];
    std::string path = dir_.Write("script.ostrel", story.Make(buffer));
    script.Open(path.c_str(), buffer);
    animations.Open(path.c_str(), buffer);
    Battle engine;
    for (int round = 0; round < 4; ++round) {
      SCOPED_TRACE("seed " + std::to_string(seed) + ", buffer " + std::to_string(buffer) +
                   ", round " + std::to_string(round));
      std::string header = story.Pick(kHeaders, sizeof kHeaders / sizeof *kHeaders);
      std::string wanted = story.Pick(kWanted, sizeof kWanted / sizeof *kWanted);
      std::string name = story.Pick(kAnimations, sizeof kAnimations / sizeof *kAnimations);
      EXPECT_EQ(Observe(script, [&] { return engine.findInFile(script, header); }),
                Observe(script, [&] { return PlainFindInFile(script, header); }))
          << "findInFile " << header;
      EXPECT_EQ(Observe(script, [&] { engine.findInSection(header, wanted, script); return 0; }),
                Observe(script, [&] { PlainFindInSection(header, wanted, script); return 0; }))
          << "findInSection " << header << " " << wanted;
      battle = header;
      EXPECT_EQ(Observe(script, [&] { return engine.ParameterPresent(wanted); }),
                Observe(script, [&] { return PlainParameterPresent(wanted); }))
          << "ParameterPresent " << header << " " << wanted;
      EXPECT_EQ(Observe(script, [&] { engine.findGameBeginning(); return 0; }),
                Observe(script, [&] { PlainFindGameBeginning(); return 0; }))
          << "findGameBeginning";
      EXPECT_EQ(Observe(animations, [&] { engine.playAnimation(name); return 0; }),
                Observe(animations, [&] { PlainPlayAnimation(engine, name); return 0; }))
          << "playAnimation " << name;
      compared += 5;
    }
  }
  EXPECT_EQ(compared, 300 * 4 * 5);
}

}  // namespace
