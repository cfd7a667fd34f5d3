// Tests of the pure parts of the terminal layer.
#include "terminal_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

TEST(TokenQueueTest, WordsComeOneAtATimeFromTheLine) {
  TokenQueue queue;
  queue.SetLine(" go\tnorth \r\n");
  std::string word;
  ASSERT_TRUE(queue.TakeWord(&word));
  EXPECT_EQ(word, "go");
  ASSERT_TRUE(queue.TakeWord(&word));
  EXPECT_EQ(word, "north");
  EXPECT_FALSE(queue.TakeWord(&word));
}

TEST(TokenQueueTest, BlankSpaceIncludesVerticalTabAndFormFeed) {
  TokenQueue queue;
  queue.SetLine("\va\fb\n");
  std::string word;
  ASSERT_TRUE(queue.TakeWord(&word));
  EXPECT_EQ(word, "a");
  ASSERT_TRUE(queue.TakeWord(&word));
  EXPECT_EQ(word, "b");
}

TEST(TokenQueueTest, NumbersDiscardWordsWithoutDigitsAndKeepTheRest) {
  TokenQueue queue;
  queue.SetLine("abc x2 - +3x -4 12word\n");
  long long value = 0;
  ASSERT_TRUE(queue.TakeNumber(&value));
  EXPECT_EQ(value, 3);
  // What followed the digits stays queued as a word of its own.
  std::string word;
  ASSERT_TRUE(queue.TakeWord(&word));
  EXPECT_EQ(word, "x");
  ASSERT_TRUE(queue.TakeNumber(&value));
  EXPECT_EQ(value, -4);
  ASSERT_TRUE(queue.TakeNumber(&value));
  EXPECT_EQ(value, 12);
  EXPECT_FALSE(queue.TakeNumber(&value));  // "word" is discarded
  EXPECT_FALSE(queue.TakeWord(&word));
}

TEST(TokenQueueTest, HugeNumbersStayFarOutOfRange) {
  TokenQueue queue;
  queue.SetLine("99999999999999999999999999 -99999999999999999999999999\n");
  long long value = 0;
  ASSERT_TRUE(queue.TakeNumber(&value));
  EXPECT_GT(value, 2147483647LL);
  ASSERT_TRUE(queue.TakeNumber(&value));
  EXPECT_LT(value, -2147483648LL);
}

TEST(Utf8Test, WholeSequencesAreOneCharacter) {
  EXPECT_EQ(Utf8CharLength("a", 0), 1u);
  EXPECT_EQ(Utf8CharLength("\xc3\xa9", 0), 2u);          // é
  EXPECT_EQ(Utf8CharLength("\xe2\x82\xac", 0), 3u);      // €
  EXPECT_EQ(Utf8CharLength("\xf0\x9f\x90\x89", 0), 4u);  // a dragon
  EXPECT_EQ(Utf8CharLength("x\xc3\xa9", 1), 2u);
}

TEST(Utf8Test, InvalidBytesAreCharactersOfTheirOwn) {
  EXPECT_EQ(Utf8CharLength("\xff", 0), 1u);
  EXPECT_EQ(Utf8CharLength("\xc3", 0), 1u);          // cut short
  EXPECT_EQ(Utf8CharLength("\xc3(", 0), 1u);         // bad continuation
  EXPECT_EQ(Utf8CharLength("\xc0\x80", 0), 1u);      // overlong
  EXPECT_EQ(Utf8CharLength("\xe0\x80\x80", 0), 1u);  // overlong
  EXPECT_EQ(Utf8CharLength("\xed\xa0\x80", 0), 1u);  // surrogate
  EXPECT_EQ(Utf8CharLength("\xf4\x90\x80\x80", 0), 1u);  // beyond U+10FFFF
  EXPECT_EQ(Utf8CharLength("\x80", 0), 1u);
  EXPECT_EQ(Utf8CharLength("\xe2\x82", 0), 1u);
}

TEST(SgrTest, ConsoleAttributesMapToAnsiColours) {
  EXPECT_EQ(SgrForAttribute(12), "\x1b[91m");  // bright red
  EXPECT_EQ(SgrForAttribute(7), "\x1b[0m");    // the terminal's own colour
  EXPECT_EQ(SgrForAttribute(1), "\x1b[34m");   // blue
  EXPECT_EQ(SgrForAttribute(2), "\x1b[32m");   // green
  EXPECT_EQ(SgrForAttribute(4), "\x1b[31m");   // red
  EXPECT_EQ(SgrForAttribute(14), "\x1b[93m");  // bright yellow
  EXPECT_EQ(SgrForAttribute(15), "\x1b[97m");  // bright white
  EXPECT_EQ(SgrForAttribute(0x1F), "\x1b[97;44m");
  EXPECT_EQ(SgrForAttribute(0xC0), "\x1b[30;101m");
  EXPECT_EQ(SgrForAttribute(0x1000C), "\x1b[91m");  // only the low 16 bits
}

// The words of an endless line, read through pieces of bounded size, are the
// words of the line; an overlong word keeps one byte past the limit.
TEST(LineBuilderTest, LongLinesComeInPiecesThatSplitNoWord) {
  std::string line;
  std::vector<std::string> expected;
  for (int i = 0; line.size() < 3 * LineBuilder::kLongLineBytes; ++i) {
    expected.push_back("w" + std::to_string(i));
    line += expected.back() + (i % 7 == 0 ? "\t  " : " ");
  }
  std::string huge(kMaxWordBytes + 5000, 'h');
  line += huge + " end\n";
  expected.push_back(huge.substr(0, kMaxWordBytes + 1));
  expected.push_back("end");
  ByteReader reader;
  reader.UseMemory(line);
  TokenQueue queue;
  std::vector<std::string> words;
  size_t longest_piece = 0;
  auto next = [&](std::string* piece) {
    bool got = reader.ReadLine(piece);
    longest_piece = std::max(longest_piece, piece->size());
    return got;
  };
  std::string word;
  while (queue.ReadWord(&word, next)) words.push_back(word);
  EXPECT_TRUE(words == expected);
  EXPECT_LE(longest_piece, LineBuilder::kLongLineBytes + kMaxWordBytes + 2);
}

TEST(LineBuilderTest, ErasingBackIntoAWordLetsItGrowAgainUpToTheLimit) {
  LineBuilder typed;
  for (char c : std::string("ab ")) typed.Add(c);
  for (size_t i = 0; i <= kMaxWordBytes; ++i) typed.Add('x');
  EXPECT_FALSE(typed.Add('x'));  // past the limit
  for (size_t i = 0; i <= kMaxWordBytes; ++i) typed.EraseLastCharacter();
  typed.EraseLastCharacter();  // the blank: back in "ab"
  EXPECT_TRUE(typed.Add('c'));
  typed.Add('\n');
  ASSERT_TRUE(typed.Complete());
  std::string line;
  typed.Take(&line);
  EXPECT_EQ(line, "abc\n");
  EXPECT_TRUE(typed.empty());
}

}  // namespace
