// DataStream: one of the engine's four data files, read line by line.
#ifndef ENGINE_DATA_STREAM_H_
#define ENGINE_DATA_STREAM_H_

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// A data file opened once for reading, with one read position shared by all
// its readers and an end-of-file indication that only Rewind() clears.
//
// Lines end at a line feed; a carriage return just before the line feed
// belongs to the line end, so CR LF files read exactly like LF files. A last
// line without a line end is a line too, and its read sets the end of file. A
// file whose last line ends with a line end gives one more read: an empty
// line, with the end of file set. Once the end of file is set, every read
// gives an empty line until Rewind().
//
// The file is read through a fixed buffer and never held whole. Rewind() goes
// back to the file itself, so a file rewritten in place is read as it now is.
class DataStream {
 public:
  // Opens `path`; a missing, unreadable or non-regular file (a directory)
  // leaves the stream not open, which reads like an empty file at its end.
  explicit DataStream(const char* path);
  ~DataStream();
  DataStream(const DataStream&) = delete;
  DataStream& operator=(const DataStream&) = delete;

  // Closes the current file, if any, and opens `path` at its first line.
  void Open(const char* path);
  bool is_open() const { return file_ != nullptr; }
  bool eof() const { return eof_; }
  // The number, from 1, of the last line read since the file's start; 0
  // before the first read.
  int line_number() const { return line_number_; }

  // Reads the next line into `*out`, without its line end. Returns false when
  // nothing was left to read (then `*out` is empty and eof() is true).
  bool ReadLine(std::string* out);

  // Clears the end of file and goes back to the first character of the file.
  void Rewind();

  // The stream whose ReadLine ran last, or null.
  static const DataStream* last_read() { return last_read_; }

 private:
  bool Refill();
  void Close();

  static const DataStream* last_read_;
  std::FILE* file_ = nullptr;
  bool eof_ = false;
  int line_number_ = 0;
  std::vector<char> buffer_;
  size_t begin_ = 0;  // next unread byte in buffer_
  size_t end_ = 0;    // one past the last valid byte in buffer_
};

// Reads a number from a data line the way atoi does: leading blank space, an
// optional sign, then decimal digits up to the first other character; 0 when
// there are none. Values beyond a signed 32-bit integer saturate at its limits.
int LineNumber(const std::string& text);

#endif  // ENGINE_DATA_STREAM_H_
