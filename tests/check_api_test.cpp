// The checker's interface, as an editor uses it: stories from memory,
// findings with ranges, codes and replacements, and the index of names.
#include <gtest/gtest.h>

#include <random>

#include "check/check.h"
#include "check/checker.h"

namespace {

StorySources Script(const std::string& bytes) {
  StorySources sources;
  sources[StoryFile::kScript].present = true;
  sources[StoryFile::kScript].bytes = bytes;
  return sources;
}

const Finding* FindingWith(const StoryCheck& check, const std::string& code) {
  for (const Finding& f : check.findings) {
    if (f.code == code) return &f;
  }
  return nullptr;
}

}  // namespace

TEST(CheckStory, ChecksUnsavedTextWithCarriageReturnsAndNoLastLineEnd) {
  StoryCheck check = CheckStory(Script(
      "|start_location:\r\nHall\r\n|location=Hall\r\n/get_input\r\n>>go\r\n/change_location:\r\nHal\r\n/end"));
  ASSERT_EQ(check.findings.size(), 1u);
  const Finding& f = check.findings[0];
  EXPECT_EQ(f.code, "unknown-section");
  EXPECT_EQ(f.severity, Severity::kError);
  EXPECT_EQ(f.where.file, StoryFile::kScript);
  EXPECT_EQ(f.where.line, 7);
  EXPECT_EQ(f.where.start, 0);
  EXPECT_EQ(f.where.end, 3);
  EXPECT_EQ(f.message, "|location=Hal does not exist; did you mean |location=Hall, at line 3?");
  ASSERT_TRUE(f.fix.has_value());
  EXPECT_EQ(f.fix->text, "Hall");
  EXPECT_EQ(f.fix->range.line, 7);
  EXPECT_EQ(f.fix->range.end, 3);
  EXPECT_TRUE(check.HasErrors());
}

TEST(CheckStory, NoFilesIsAStoryWithoutAStart) {
  StoryCheck check = CheckStory(StorySources());
  ASSERT_EQ(check.findings.size(), 1u);
  EXPECT_EQ(check.findings[0].code, "missing-start");
  EXPECT_EQ(check.findings[0].where.line, 1);
}

TEST(CheckStory, RangesCoverTheBlanksAndTheBareName) {
  StoryCheck check = CheckStory(Script(
      "|start_location:\nHall\n|location=Hall\n/if:\nBattleWon:\n|battle=Gobblin\n/end_if\n/get_input\n"
      ">>go\n/end \n/end\n|battle=Goblin\n"));
  const Finding* blank = FindingWith(check, "trailing-blank");
  ASSERT_NE(blank, nullptr);
  EXPECT_EQ(blank->where.line, 10);
  EXPECT_EQ(blank->where.start, 4);
  EXPECT_EQ(blank->where.end, 5);
  ASSERT_TRUE(blank->fix.has_value());
  EXPECT_EQ(blank->fix->text, "");
  const Finding* name = FindingWith(check, "unknown-section");
  ASSERT_NE(name, nullptr);
  EXPECT_EQ(name->severity, Severity::kWarning);  // a condition: the engine reports nothing
  EXPECT_EQ(name->where.line, 6);
  EXPECT_EQ(name->where.start, 8);
  EXPECT_EQ(name->where.end, 15);
  ASSERT_TRUE(name->fix.has_value());
  EXPECT_EQ(name->fix->text, "Goblin");
}

TEST(CheckStory, IndexesSectionsAndEveryNameUsed) {
  StoryCheck check = CheckStory(Script(
      "|start_location:\nHall\n|location=Hall\n/add_to_inventory:\n2\nKey\n/get_input\n>>talk\n"
      "/change_dialog:\nGuard\n/end\n|dialog=Guard\n/if:\nHasInInventory:\nKey\n/end_if\n/end\n"));
  ASSERT_EQ(check.index.sections.size(), 2u);
  EXPECT_EQ(check.index.sections[0].kind, SectionKind::kLocation);
  EXPECT_EQ(check.index.sections[0].name, "Hall");
  EXPECT_EQ(check.index.sections[0].line, 3);
  EXPECT_EQ(check.index.sections[0].last_line, 11);
  EXPECT_EQ(check.index.sections[1].name, "Guard");
  ASSERT_NE(check.index.Find(SectionKind::kDialog, "Guard"), nullptr);
  EXPECT_EQ(check.index.Find(SectionKind::kLocation, "Guard"), nullptr);

  ASSERT_EQ(check.index.uses.size(), 4u);
  EXPECT_EQ(check.index.uses[0].kind, NameKind::kLocation);  // the start statement's
  EXPECT_EQ(check.index.uses[0].where.line, 2);
  EXPECT_EQ(check.index.uses[1].kind, NameKind::kItem);
  EXPECT_EQ(check.index.uses[1].name, "Key");
  EXPECT_EQ(check.index.uses[1].where.line, 6);  // after its count line
  EXPECT_TRUE(check.index.uses[1].gives);
  EXPECT_EQ(check.index.uses[2].kind, NameKind::kDialog);
  EXPECT_TRUE(check.index.uses[2].known);
  EXPECT_EQ(check.index.uses[3].kind, NameKind::kItem);
  EXPECT_FALSE(check.index.uses[3].gives);
  EXPECT_TRUE(check.index.uses[3].known);
  EXPECT_TRUE(check.findings.empty());
}

TEST(CheckStory, LoopsAreErrorsOrWarningsByTheirConditions) {
  StoryCheck endless = CheckStory(Script("|start_location:\nA\n|location=A\n/change_location:\nB\n/end\n"
                                         "|location=B\n/change_location:\nA\n/end\n"));
  ASSERT_NE(FindingWith(endless, "endless-loop"), nullptr);
  EXPECT_EQ(FindingWith(endless, "endless-loop")->where.line, 3);

  StoryCheck possible = CheckStory(Script(
      "|start_location:\nA\n|location=A\n/add_to_inventory:\nKey\n/if:\nHasInInventory:\nKey\n"
      "/change_location:\nB\n/end\n/end_if\n/get_input\n>>x\n/end\n|location=B\n/change_location:\nA\n/end\n"));
  EXPECT_EQ(FindingWith(possible, "endless-loop"), nullptr);
  EXPECT_NE(FindingWith(possible, "possible-loop"), nullptr);

  // Held in one place and not held in the next: no player can go round.
  StoryCheck excluded = CheckStory(Script(
      "|start_location:\nA\n|location=A\n/if:\nHasInInventory:\nKey\n/change_location:\nB\n/end\n/end_if\n"
      "/get_input\n>>x\n/add_to_inventory:\nKey\n/end\n|location=B\n/if:\nHasNotInInventory:\nKey\n"
      "/change_location:\nA\n/end\n/end_if\n/get_input\n>>y\n/end\n"));
  EXPECT_EQ(FindingWith(excluded, "possible-loop"), nullptr);
  EXPECT_EQ(FindingWith(excluded, "endless-loop"), nullptr);

  // Going round takes the key it needs: the keys run out; unless the way
  // round gives it back.
  auto key_loop = [](const std::string& on_the_way) {
    return CheckStory(Script(
        "|start_location:\nA\n|location=A\n/if:\nHasInInventory:\nKey\n/change_location:\nB\n/end\n/end_if\n"
        "/get_input\n>>x\n/add_to_inventory:\nKey\n/end\n|location=B\n/take_from_inventory:\nKey\n" +
        on_the_way + "/change_location:\nA\n/end\n"));
  };
  StoryCheck consumed = key_loop("");
  EXPECT_EQ(FindingWith(consumed, "possible-loop"), nullptr);
  StoryCheck given_back = key_loop("/add_to_inventory:\nKey\n");
  EXPECT_NE(FindingWith(given_back, "possible-loop"), nullptr);
}

// The line table holds only every 16th line's start and a window of lines:
// any order of reads gives the lines the engine would read.
TEST(LineTable, ReadsAnyLineInAnyOrder) {
  std::string bytes;
  std::vector<std::string> expected;
  std::mt19937 random(7);
  for (int i = 0; i < 3000; ++i) {
    std::string line(random() % 5, 'a' + static_cast<char>(i % 26));
    if (i % 7 == 0) line += "\r";  // a carriage return that stays: no line feed follows... but one does
    expected.push_back(i % 7 == 0 ? line.substr(0, line.size() - 1) : line);
    bytes += line + (i % 3 == 0 ? "\r\n" : "\n");
    if (i % 3 == 0 && i % 7 == 0) expected.back() = line;  // "\r\r\n": only the last CR is the line end's
  }
  bytes += "last\r";  // no line feed: the carriage return belongs to the line
  expected.push_back("last\r");
  LineTable table;
  table.Build(bytes);
  ASSERT_EQ(table.size(), static_cast<int>(expected.size()));
  for (int n = 0; n < 5000; ++n) {
    int i = static_cast<int>(random() % expected.size());
    ASSERT_EQ(std::string(table[i]), expected[static_cast<size_t>(i)]) << "line " << i;
  }
  for (int i = table.size() - 1; i >= 0; --i) ASSERT_EQ(std::string(table[i]), expected[static_cast<size_t>(i)]);
  EXPECT_EQ(std::string(table.At(table.size())), "");
}

// A story cut short anywhere, or ending in any keyword, is checked without
// a fault: every prefix of the bundled story, with LF and with CR LF.
TEST(CheckStory, EveryPrefixOfTheBundledStory) {
  StorySources story;
  std::string err;
  ASSERT_TRUE(ReadStorySources(OSTREL_STORY_DIR, &story, &err)) << err;
  const std::string& script = story[StoryFile::kScript].bytes;
  std::string crlf;
  for (char c : script) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (const std::string* whole : std::vector<const std::string*>{&script, &crlf}) {
    for (size_t end = 0; end <= whole->size(); ++end) {
      if (end < whole->size() && (*whole)[end] != '\n' && (*whole)[end] != '\r' && end % 7 != 0) continue;
      StorySources cut = story;
      cut[StoryFile::kScript].bytes = whole->substr(0, end);
      StoryCheck check = CheckStory(cut);
      for (const Finding& f : check.findings) {
        ASSERT_GE(f.where.line, 1);
        ASSERT_LE(f.where.start, f.where.end);
      }
    }
  }
  StoryCheck whole = CheckStory(story);
  EXPECT_TRUE(whole.findings.empty());
}

TEST(CheckStory, EveryKeywordAsTheLastLine) {
  for (const char* word : {"|start_location:", "|start_dialog:", "|start_battle:", "/if:", "HasInInventory:",
                           "BattleWon:", "/add_to_inventory:", "/take_from_inventory:", "/change_location:",
                           "/change_dialog:", "/change_battle:", "/wait:", "/get_input", ">>", "7",
                           "*player_wins_result:", "*animation_set:", "|battle="}) {
    for (const std::string& script : {std::string(word), "|start_location:\nA\n|location=A\n" + std::string(word),
                                      "|start_battle:\nA\n|battle=A\n" + std::string(word) + "\n"}) {
      StoryCheck check = CheckStory(Script(script));
      EXPECT_FALSE(check.findings.empty()) << script;
    }
  }
}
