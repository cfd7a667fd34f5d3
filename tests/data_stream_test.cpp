// Tests of the line-reading rule and of numbers in data lines.
#include "data_stream.h"

#include <climits>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "test_util.h"

namespace {

// Every read of the stream until it reports the end: the line, and whether
// the read found anything.
std::vector<std::string> ReadAll(DataStream& stream) {
  std::vector<std::string> lines;
  std::string line;
  while (!stream.eof()) {
    stream.ReadLine(&line);
    lines.push_back(line);
  }
  return lines;
}

using Lines = std::vector<std::string>;

TEST(DataStreamTest, FileEndingWithLineEndGivesOneMoreEmptyRead) {
  ScopedTempDir dir;
  DataStream stream(dir.Write("f", "one\ntwo\n").c_str());
  EXPECT_EQ(ReadAll(stream), (Lines{"one", "two", ""}));
}

TEST(DataStreamTest, LastLineWithoutLineEndSetsEndOfFile) {
  ScopedTempDir dir;
  DataStream stream(dir.Write("f", "one\ntwo").c_str());
  std::string line;
  EXPECT_TRUE(stream.ReadLine(&line));
  EXPECT_FALSE(stream.eof());
  EXPECT_TRUE(stream.ReadLine(&line));
  EXPECT_EQ(line, "two");
  EXPECT_TRUE(stream.eof());
  EXPECT_FALSE(stream.ReadLine(&line));
  EXPECT_EQ(line, "");
}

TEST(DataStreamTest, CarriageReturnBelongsToTheLineEndOnlyBeforeLineFeed) {
  ScopedTempDir dir;
  DataStream stream(dir.Write("f", "a\r\nb\r\r\nc\rd\n\r\ne\r").c_str());
  EXPECT_EQ(ReadAll(stream), (Lines{"a", "b\r", "c\rd", "", "e\r"}));
}

TEST(DataStreamTest, EmptyFileGivesOneEmptyRead) {
  ScopedTempDir dir;
  DataStream stream(dir.Write("f", "").c_str());
  EXPECT_TRUE(stream.is_open());
  EXPECT_EQ(ReadAll(stream), (Lines{""}));
}

TEST(DataStreamTest, EndOfFileStaysUntilRewind) {
  ScopedTempDir dir;
  DataStream stream(dir.Write("f", "x\n").c_str());
  ReadAll(stream);
  std::string line = "kept?";
  EXPECT_FALSE(stream.ReadLine(&line));
  EXPECT_EQ(line, "");
  stream.Rewind();
  EXPECT_FALSE(stream.eof());
  EXPECT_TRUE(stream.ReadLine(&line));
  EXPECT_EQ(line, "x");
}

TEST(DataStreamTest, RewindReadsTheFileAsItNowIs) {
  ScopedTempDir dir;
  std::string path = dir.Write("f", "old\n");
  DataStream stream(path.c_str());
  std::string line;
  stream.ReadLine(&line);
  dir.Write("f", "new first\nsecond\n");
  stream.Rewind();
  EXPECT_EQ(ReadAll(stream), (Lines{"new first", "second", ""}));
}

// While a saved game is restored, the files are read once; a file larger
// than the buffer is read as ever.
TEST(DataStreamTest, HeldStreamReadsAWholeFileOnce) {
  ScopedTempDir dir;
  std::string path = dir.Write("f", "one\ntwo\n");
  DataStream stream(path.c_str(), 64);
  DataStream large(dir.Write("g", std::string(100, 'x') + "\nend").c_str(), 64);
  EXPECT_EQ(ReadAll(stream), (Lines{"one", "two", ""}));
  EXPECT_EQ(ReadAll(large).back(), "end");
  DataStream::Hold(true);
  dir.Write("f", "ONE\n");
  dir.Write("g", "new");
  stream.Rewind();
  large.Rewind();
  EXPECT_EQ(ReadAll(stream), (Lines{"one", "two", ""}));
  EXPECT_EQ(stream.line_number(), 2);
  stream.Rewind();
  EXPECT_EQ(ReadAll(stream), (Lines{"one", "two", ""}));
  EXPECT_EQ(ReadAll(large), (Lines{"new"}));
  DataStream::Hold(false);
  stream.Rewind();
  EXPECT_EQ(ReadAll(stream), (Lines{"ONE", ""}));
}

TEST(DataStreamTest, MissingFileAndDirectoryAreNotOpen) {
  ScopedTempDir dir;
  DataStream missing((dir.path() + "/nothing").c_str());
  EXPECT_FALSE(missing.is_open());
  std::string line = "x";
  EXPECT_FALSE(missing.ReadLine(&line));
  EXPECT_EQ(line, "");
  EXPECT_TRUE(missing.eof());

  std::string sub = dir.path() + "/sub";
  mkdir(sub.c_str(), 0700);
  DataStream directory(sub.c_str());
  EXPECT_FALSE(directory.is_open());
}

TEST(DataStreamTest, LongLinesAndLineEndsAcrossBufferBoundaries) {
  ScopedTempDir dir;
  // A line far longer than the 64 KiB buffer, then a line whose CR is the
  // last byte of the fourth buffer and whose LF comes with the fifth.
  std::string long_line(200000, 'x');
  std::string split(4 * 65536 - 1 - 200001, 'y');
  DataStream stream(
      dir.Write("f", long_line + "\n" + split + "\r\nlast").c_str());
  EXPECT_EQ(ReadAll(stream), (Lines{long_line, split, "last"}));
}

TEST(DataStreamTest, BytesAreKeptAsTheyAre) {
  ScopedTempDir dir;
  std::string bytes("a\0b\xff\xfe c", 7);
  DataStream stream(dir.Write("f", bytes + "\n").c_str());
  std::string line;
  stream.ReadLine(&line);
  EXPECT_EQ(line, bytes);
}

TEST(LineEndMaskTest, MarksEveryLineFeedAndNothingElse) {
  // Line feeds among bytes that differ from one in a single bit, at every
  // place of a block and in blocks of every size up to 64.
  const char kBytes[] = {'\n', '\n', '\r', '\x0b', '\x08', '\x8a', '\x0e', 'a', '\0'};
  unsigned state = 1;
  for (int round = 0; round < 2000; ++round) {
    char block[64];
    for (char& c : block) {
      state = state * 1103515245u + 12345u;
      c = kBytes[(state >> 16) % sizeof kBytes];
    }
    size_t size = static_cast<size_t>(round % 65);
    std::uint64_t expected = 0;
    for (size_t i = 0; i < size; ++i) {
      if (block[i] == '\n') expected |= std::uint64_t{1} << i;
    }
    EXPECT_EQ(LineEndMask(block, size), expected);
    EXPECT_EQ(LineEndMaskPortable(block, size), expected);
  }
}

TEST(DataStreamTest, ScanStopsWhereLineByLineReadingWould) {
  // Lines of every length up to five blocks of the line-end search, so that
  // line ends fall at every place of a block, LF and CR LF alike.
  ScopedTempDir dir;
  Lines lines;
  std::string text;
  for (size_t length = 0; length <= 330; ++length) {
    lines.push_back(std::string(length, static_cast<char>('a' + length % 26)));
    text += lines.back() + (length % 3 == 0 ? "\r\n" : "\n");
  }
  std::string path = dir.Write("f", text);
  for (size_t every : {1, 7, 64, 1000}) {
    DataStream stream(path.c_str());
    std::string line;
    for (size_t i = every - 1; i < lines.size(); i += every) {
      EXPECT_TRUE(stream.ReadUntil(&line, [&](const char*, size_t size) {
        return size % every == every - 1;
      }));
      EXPECT_EQ(line, lines[i]);
      EXPECT_EQ(stream.line_number(), static_cast<std::int64_t>(i) + 1);
    }
    // No stop before the end: the scan ends with the end of file's empty read.
    EXPECT_FALSE(stream.ReadUntil(&line, [](const char*, size_t) { return false; }));
    EXPECT_EQ(line, "");
    EXPECT_TRUE(stream.eof());
    EXPECT_EQ(stream.line_number(), static_cast<std::int64_t>(lines.size()));
  }
}

TEST(LineNumberTest, ReadsLikeAtoi) {
  EXPECT_EQ(LineNumber("1500"), 1500);
  EXPECT_EQ(LineNumber("250ms"), 250);
  EXPECT_EQ(LineNumber("  \t+7 seconds"), 7);
  EXPECT_EQ(LineNumber("-12"), -12);
  EXPECT_EQ(LineNumber(""), 0);
  EXPECT_EQ(LineNumber("abc"), 0);
  EXPECT_EQ(LineNumber("- 3"), 0);
  EXPECT_EQ(LineNumber("3 coins"), 3);
}

TEST(LineNumberTest, SaturatesBeyondThirtyTwoBits) {
  EXPECT_EQ(LineNumber("2147483647"), INT_MAX);
  EXPECT_EQ(LineNumber("2147483648"), INT_MAX);
  EXPECT_EQ(LineNumber("99999999999999999999999"), INT_MAX);
  EXPECT_EQ(LineNumber("-2147483648"), INT_MIN);
  EXPECT_EQ(LineNumber("-99999999999999999999999"), INT_MIN);
}

}  // namespace
