// Tests of the save's journal: its bytes, the reader's longest valid prefix,
// the replay rules and the saved screen.
#include "journal.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "terminal_input.h"

namespace journal {
namespace {

// A journal of every kind of record, and its records as written.
struct Sample {
  std::string bytes;
  std::vector<size_t> ends;  // where each record ends, the header's first
};

Sample MakeSample() {
  Sample s;
  JournalWriter writer;
  writer.Begin(0x0123456789abcdefULL, "1.2.3", &s.bytes);
  s.ends.push_back(s.bytes.size());
  auto add = [&](auto write) {
    write();
    s.ends.push_back(s.bytes.size());
  };
  add([&] { writer.Mark(kKey, &s.bytes); });
  add([&] { writer.Word("north", &s.bytes); });
  add([&] { writer.Word("xyzzy", &s.bytes); });
  add([&] { writer.Mark(kUnanswered, &s.bytes); });
  add([&] { writer.Mark(kDuelBegins, &s.bytes); });
  add([&] { writer.Number(kNumber, -2, &s.bytes); });
  add([&] { writer.Number(kTime, 1700000000, &s.bytes); });
  add([&] { writer.Mark(kDuelEnds, &s.bytes); });
  return s;
}

TEST(JournalTest, ChecksumAndHashAreTheStandardOnes) {
  EXPECT_EQ(Crc32(0, "123456789", 9), 0xCBF43926u);
  // Running: the CRC of a whole is the CRC of its second part started from
  // the first's.
  EXPECT_EQ(Crc32(Crc32(0, "1234", 4), "56789", 5), 0xCBF43926u);
  Fnv1a hash;
  hash.Add("a", 1);
  EXPECT_EQ(hash.value(), 0xaf63dc4c8601ec8cULL);
}

TEST(JournalTest, HeaderBytesAreAsDocumented) {
  std::string bytes;
  JournalWriter writer;
  writer.Begin(0x0102030405060708ULL, "1.0", &bytes);
  std::string expected("H\x0c\x01\x08\x07\x06\x05\x04\x03\x02\x01"
                       "1.0",
                       14);
  ASSERT_EQ(bytes.substr(0, 14), expected);
  std::uint32_t crc = Crc32(0, bytes.data(), 14);
  std::string crc_bytes;
  for (int i = 0; i < 4; ++i) crc_bytes.push_back(static_cast<char>((crc >> (8 * i)) & 0xFF));
  EXPECT_EQ(bytes.substr(14), crc_bytes);
}

TEST(JournalTest, RecordsReadBackAsWritten) {
  Sample s = MakeSample();
  Journal j = ReadJournal(s.bytes);
  EXPECT_TRUE(j.has_header);
  EXPECT_EQ(j.problem, "");
  EXPECT_EQ(j.story_hash, 0x0123456789abcdefULL);
  EXPECT_EQ(j.engine_version, "1.2.3");
  EXPECT_EQ(j.valid_size, s.bytes.size());
  ASSERT_EQ(j.records.size(), 8u);
  std::string kinds;
  for (const Record& r : j.records) kinds += r.kind;
  EXPECT_EQ(kinds, "KWWRBNTE");
  EXPECT_EQ(j.records[1].text, "north");
  EXPECT_EQ(j.records[5].number, -2);
  EXPECT_EQ(j.records[6].number, 1700000000);
}

TEST(JournalTest, NumbersKeepTheirValueAtEveryMagnitude) {
  std::vector<long long> values = {0, 1, -1, 63, -64, 64, 1LL << 40, -(1LL << 40),
                                   LLONG_MAX, LLONG_MIN};
  std::string bytes;
  JournalWriter writer;
  writer.Begin(1, "v", &bytes);
  for (long long v : values) writer.Number(kNumber, v, &bytes);
  Journal j = ReadJournal(bytes);
  ASSERT_EQ(j.records.size(), values.size());
  for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(j.records[i].number, values[i]);
  // A small answer costs a few bytes: kind, length, one byte, checksum.
  std::string one;
  writer.Number(kNumber, 3, &one);
  EXPECT_EQ(one.size(), 7u);
}

TEST(JournalTest, OverlongWordIsKeptOneByteLongerThanAnyAnswer) {
  std::string bytes;
  JournalWriter writer;
  writer.Begin(1, "v", &bytes);
  writer.Word(std::string(kMaxWordBytes + 100, 'w'), &bytes);
  Journal j = ReadJournal(bytes);
  ASSERT_EQ(j.records.size(), 1u);
  EXPECT_EQ(j.records[0].text.size(), kMaxWordBytes + 1);
}

// A crash mid-write: every length keeps exactly the whole records before it.
TEST(JournalTest, TruncatedAnywhereKeepsTheWholeRecordsBeforeTheCut) {
  Sample s = MakeSample();
  for (size_t size = 0; size < s.bytes.size(); ++size) {
    Journal j = ReadJournal(s.bytes.substr(0, size));
    size_t whole = 0;
    while (whole < s.ends.size() && s.ends[whole] <= size) ++whole;
    EXPECT_EQ(j.has_header, whole >= 1) << size;
    EXPECT_EQ(j.records.size(), whole >= 1 ? whole - 1 : 0) << size;
    EXPECT_EQ(j.valid_size, whole >= 1 ? s.ends[whole - 1] : 0) << size;
    bool at_boundary = size == 0 || (whole >= 1 && s.ends[whole - 1] == size);
    EXPECT_EQ(j.problem.empty(), at_boundary) << size << ": " << j.problem;
  }
}

// A flipped bit anywhere: the record that holds it and all after it go.
TEST(JournalTest, FlippedByteDropsItsRecordAndAllAfter) {
  Sample s = MakeSample();
  for (size_t at = 0; at < s.bytes.size(); ++at) {
    std::string damaged = s.bytes;
    damaged[at] = static_cast<char>(damaged[at] ^ 0x10);
    Journal j = ReadJournal(damaged);
    size_t record = 0;
    while (s.ends[record] <= at) ++record;
    EXPECT_EQ(j.valid_size, record == 0 ? 0 : s.ends[record - 1]) << at;
    EXPECT_FALSE(j.problem.empty()) << at;
  }
}

TEST(JournalTest, RecordMovedOrFromAnotherJournalFailsItsCheck) {
  Sample s = MakeSample();
  // The second and third records swapped.
  std::string swapped = s.bytes.substr(0, s.ends[1]) + s.bytes.substr(s.ends[2], s.ends[3] - s.ends[2]) +
                        s.bytes.substr(s.ends[1], s.ends[2] - s.ends[1]) + s.bytes.substr(s.ends[3]);
  Journal j = ReadJournal(swapped);
  EXPECT_EQ(j.records.size(), 1u);
  EXPECT_EQ(j.problem, "a record that fails its check");
  // A record of another journal, whose chain differs, appended.
  std::string other;
  JournalWriter writer;
  writer.Begin(99, "1.2.3", &other);
  writer.Word("north", &other);
  size_t header = other.find('W');
  Journal mixed = ReadJournal(s.bytes + other.substr(header));
  EXPECT_EQ(mixed.records.size(), 8u);
  EXPECT_EQ(mixed.problem, "a record that fails its check");
}

// A run killed with room made ahead in its file leaves zeros after its
// records: they are passed over without a word, but zeros before more
// bytes are damage.
TEST(JournalTest, ZerosAfterTheLastRecordAreNoDamage) {
  Sample s = MakeSample();
  Journal padded = ReadJournal(s.bytes + std::string(4096, '\0'));
  EXPECT_EQ(padded.problem, "");
  EXPECT_EQ(padded.records.size(), 8u);
  EXPECT_EQ(padded.valid_size, s.bytes.size());
  EXPECT_EQ(ReadJournal(std::string(100, '\0')).problem, "");
  Journal inside = ReadJournal(s.bytes + std::string(4, '\0') + "K");
  EXPECT_EQ(inside.problem, "a record of an unknown kind");
  EXPECT_EQ(inside.records.size(), 8u);
}

TEST(JournalTest, GarbageAndEmptyHoldNoGame) {
  Journal empty = ReadJournal("");
  EXPECT_FALSE(empty.has_header);
  EXPECT_EQ(empty.problem, "");
  Journal garbage = ReadJournal("#!/bin/sh\nrm -rf /\n");
  EXPECT_FALSE(garbage.has_header);
  EXPECT_EQ(garbage.problem, "it does not begin as a save does");
  EXPECT_EQ(garbage.valid_size, 0u);
}

TEST(JournalTest, PayloadsTheirKindCannotHoldAreRefused) {
  auto record = [](char kind, const std::string& payload, const std::string& base) {
    std::string out = base;
    Journal j = ReadJournal(base);
    std::string body(1, kind);
    body.push_back(static_cast<char>(payload.size()));
    body += payload;
    std::uint32_t crc = Crc32(j.crc, body.data(), body.size());
    out += body;
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((crc >> (8 * i)) & 0xFF));
    return out;
  };
  std::string base;
  JournalWriter writer;
  writer.Begin(1, "v", &base);
  EXPECT_EQ(ReadJournal(record('K', "x", base)).problem, "a record that its kind cannot hold");
  EXPECT_EQ(ReadJournal(record('W', "", base)).problem, "a record that its kind cannot hold");
  EXPECT_EQ(ReadJournal(record('N', "\x80", base)).problem, "a record that its kind cannot hold");
  EXPECT_EQ(ReadJournal(record('N', "\x01\x01", base)).problem, "a record that its kind cannot hold");
  EXPECT_EQ(ReadJournal(record('Z', "", base)).problem, "a record of an unknown kind");
  EXPECT_EQ(ReadJournal(record('H', std::string(9, '\x01'), base)).problem,
            "a record of an unknown kind");
  // A header of another format version.
  EXPECT_EQ(ReadJournal(record('H', std::string("\x02") + std::string(8, 'x'), "")).problem,
            "a header of another format");
}

/* ==== Replay rules ====================================================== */

Record R(char kind, const std::string& text = "", long long number = 0) {
  Record r;
  r.kind = kind;
  r.text = text;
  r.number = number;
  return r;
}

TEST(JournalReplayTest, UnchangedStoryTakesEveryRecordInTurn) {
  JournalReplay replay({R(kKey), R(kWord, "go"), R(kUnanswered), R(kDuelBegins), R(kNumber, "", 2),
                        R(kTime, "", 77), R(kDuelEnds)},
                       false);
  std::string word;
  long long n = 0, t = 0;
  EXPECT_TRUE(replay.Key());
  EXPECT_TRUE(replay.Word(&word));
  EXPECT_EQ(word, "go");
  // Marked R: it answered nothing before, and nothing ends.
  EXPECT_FALSE(replay.Unanswered());
  EXPECT_TRUE(replay.Number(&n));
  EXPECT_EQ(n, 2);
  EXPECT_TRUE(replay.Time(&t));
  EXPECT_EQ(t, 77);
  EXPECT_TRUE(replay.active());
  EXPECT_FALSE(replay.Key());  // the records have run out
  EXPECT_FALSE(replay.active());
  EXPECT_FALSE(replay.cut_short());
  EXPECT_EQ(replay.dropped_answers(), 0);
}

TEST(JournalReplayTest, ChangedStoryPassesOverWordsThatAnsweredNothing) {
  JournalReplay replay({R(kWord, "typo"), R(kUnanswered), R(kWord, "north")}, true);
  std::string word;
  EXPECT_TRUE(replay.Word(&word));
  EXPECT_EQ(word, "north");
  EXPECT_TRUE(replay.cut_short());
  EXPECT_EQ(replay.dropped_answers(), 0);
}

TEST(JournalReplayTest, AWordThePromptNoLongerAnswersEndsTheReplayThere) {
  JournalReplay replay({R(kWord, "north"), R(kWord, "east"), R(kNumber, "", 1)}, true);
  std::string word;
  EXPECT_TRUE(replay.Word(&word));
  EXPECT_TRUE(replay.Unanswered());  // taken back
  EXPECT_FALSE(replay.active());
  EXPECT_FALSE(replay.Word(&word));
  EXPECT_EQ(replay.dropped_answers(), 3);
}

TEST(JournalReplayTest, KeysAreMatchedLoosely) {
  JournalReplay replay({R(kKey), R(kWord, "go"), R(kKey), R(kKey), R(kNumber, "", 1)}, true);
  std::string word;
  long long n = 0;
  // A key wait added to the story takes nothing and goes on.
  EXPECT_TRUE(replay.Key());
  EXPECT_TRUE(replay.Key());
  EXPECT_TRUE(replay.Word(&word));
  // Key waits removed from the story: their records are dropped.
  EXPECT_TRUE(replay.Number(&n));
  EXPECT_EQ(n, 1);
  EXPECT_TRUE(replay.cut_short());
  EXPECT_EQ(replay.dropped_answers(), 0);
}

TEST(JournalReplayTest, AReadOfAnotherKindEndsTheReplay) {
  std::string word;
  long long n = 0, t = 0;
  JournalReplay number_for_word({R(kWord, "go"), R(kWord, "on")}, true);
  EXPECT_FALSE(number_for_word.Number(&n));
  EXPECT_EQ(number_for_word.dropped_answers(), 2);
  JournalReplay word_for_number({R(kNumber, "", 1)}, true);
  EXPECT_FALSE(word_for_number.Word(&word));
  EXPECT_EQ(word_for_number.dropped_answers(), 1);
  // A computer's move where the journal drew none.
  JournalReplay no_clock({R(kNumber, "", 1), R(kKey)}, true);
  EXPECT_TRUE(no_clock.Number(&n));
  EXPECT_FALSE(no_clock.Time(&t));
  EXPECT_TRUE(no_clock.cut_short());
}

/* ==== The saved screen ================================================== */

std::string Text(const SavedScreen& screen) {
  std::string text = "<" + std::to_string(screen.start_color()) + ">";
  for (const SavedScreen::Piece& p : screen.pieces()) {
    if (p.kind == SavedScreen::Piece::kText) text += p.text;
    if (p.kind == SavedScreen::Piece::kColor) text += "<" + std::to_string(p.color) + ">";
    if (p.kind == SavedScreen::Piece::kAnswer) text += "[" + p.text + "]";
  }
  return text;
}

TEST(SavedScreenTest, KeepsWhatCameAfterTheLastClearWithItsColours) {
  SavedScreen screen;
  screen.Write("gone\n", 5);
  screen.SetColor(12);
  screen.Clear();
  screen.Write("red\n", 4);
  screen.SetColor(7);
  screen.Write(">", 1);
  screen.Answer("north");
  screen.Write("more\n>", 6);
  screen.Answer("typo");
  screen.TakeBackAnswer();
  EXPECT_EQ(Text(screen), "<12>red\n<7>>[north]more\n>");
}

TEST(SavedScreenTest, EndlessTextWithoutAClearStaysBounded) {
  SavedScreen screen;
  std::string line(99, 'x');
  line += '\n';
  for (int i = 0; i < 50000; ++i) screen.Write(line.data(), line.size());
  std::string text = Text(screen).substr(3);
  EXPECT_LE(text.size(), 2 * SavedScreen::kMaxBytes);
  EXPECT_GE(text.size(), SavedScreen::kMaxBytes);
  EXPECT_EQ(text.substr(0, 100), line);  // from the start of a line
  // And text without a line end is cut too.
  SavedScreen endless;
  std::string chunk(4096, 'y');
  for (int i = 0; i < 2000; ++i) endless.Write(chunk.data(), chunk.size());
  EXPECT_LE(Text(endless).size(), 2 * SavedScreen::kMaxBytes + 3);
}

}  // namespace
}  // namespace journal
