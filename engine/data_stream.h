// DataStream: one of the engine's four data files, read line by line.
#ifndef ENGINE_DATA_STREAM_H_
#define ENGINE_DATA_STREAM_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Where the line feeds stand among `size` bytes at `data` (at most 64): bit i
// is set when data[i] is a line feed. The second form works on any machine;
// the first uses vector instructions where the machine has them.
std::uint64_t LineEndMaskPortable(const char* data, size_t size);
inline std::uint64_t LineEndMask(const char* data, size_t size) {
#if defined(__SSE2__)
  if (size == 64) {
    const __m128i feed = _mm_set1_epi8('\n');
    auto bits = [&](int i) {
      __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i));
      return static_cast<std::uint64_t>(
          static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, feed))));
    };
    return bits(0) | bits(1) << 16 | bits(2) << 32 | bits(3) << 48;
  }
#endif
  return LineEndMaskPortable(data, size);
}

// True when the `size` bytes at `data` are the whole of `text`: the lengths
// first, then the first characters, so that most lines are told apart
// without a call.
inline bool SameLine(const char* data, size_t size, const char* text, size_t length) {
  return size == length &&
         (size == 0 || (data[0] == text[0] && std::memcmp(data + 1, text + 1, size - 1) == 0));
}
inline bool SameLine(const char* data, size_t size, const std::string& text) {
  return SameLine(data, size, text.data(), text.size());
}

// A line that begins with "|": a header or another section boundary.
inline bool IsBoundaryLine(const char* data, size_t size) { return size > 0 && data[0] == '|'; }

// The form of an animation set's header line: "|" first and "=" as the
// fifteenth character, as in "|animation_set=".
inline bool LooksLikeSetHeader(const char* data, size_t size) {
  return size >= 15 && data[0] == '|' && data[14] == '=';
}

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
// back to the file itself, so a file rewritten in place is read as it now is
// (but while streams are held: see Hold()).
class DataStream {
 public:
  // Opens `path`; a missing, unreadable or non-regular file (a directory)
  // leaves the stream not open, which reads like an empty file at its end.
  // The stream reads through a buffer of `buffer_size` bytes (at least 1).
  explicit DataStream(const char* path, size_t buffer_size = kDefaultBufferSize);
  ~DataStream();
  DataStream(const DataStream&) = delete;
  DataStream& operator=(const DataStream&) = delete;

  static constexpr size_t kDefaultBufferSize = 1 << 16;

  // Closes the current file, if any, and opens `path` at its first line,
  // read through a buffer of `buffer_size` bytes (at least 1).
  void Open(const char* path, size_t buffer_size = kDefaultBufferSize);
  bool is_open() const { return file_ != nullptr; }
  bool eof() const { return eof_; }
  // The number, from 1, of the last line read since the file's start; 0
  // before the first read.
  std::int64_t line_number() const { return line_number_; }

  // Reads the next line into `*out`, without its line end. Returns false when
  // nothing was left to read (then `*out` is empty and eof() is true).
  bool ReadLine(std::string* out);

  // Reads on line by line, exactly as ReadLine does, until a line for which
  // `stop(data, size)` holds (the line without its line end) or until a read
  // sets the end of file. `*out` then holds that line, the stream stands just
  // past it and line_number() counts every line read. Answers whether `stop`
  // held. `stop` sees every line read, in order, once; it must not use the
  // stream.
  //
  // Lines that lie whole in the buffer are tested where they lie and not
  // copied; only a line that runs past the buffer's end is read the ordinary
  // way. So a lookup costs little more than the reading of the file.
  template <typename Stop>
  bool ReadUntil(std::string* out, Stop&& stop);

  // Clears the end of file and goes back to the first character of the file.
  void Rewind();

  // While `held`, every stream takes its file to stay as it is: a rewind of
  // a file whose bytes all stand in the buffer reads nothing again. A saved
  // game is restored so, reading the same small files many times a moment.
  static void Hold(bool held) { held_ = held; }

  // The stream whose ReadLine or ReadUntil ran last, or null.
  static const DataStream* last_read() { return last_read_; }

 private:
  bool Refill();
  void Close();
  // The first line feed in [from, end), or `end`.
  static const char* NextLineEnd(const char* from, const char* end);
  static int CountTrailingZeros(std::uint64_t mask) {
#if defined(__GNUC__)
    return __builtin_ctzll(mask);
#else
    int n = 0;
    while ((mask & 1) == 0) {
      mask >>= 1;
      ++n;
    }
    return n;
#endif
  }

  static const DataStream* last_read_;
  static bool held_;
  std::FILE* file_ = nullptr;
  // The next refill reads from the file's start; the buffer holds the whole
  // file, `whole_size_` bytes, as the last refill from its start read it.
  bool at_start_ = true;
  bool whole_ = false;
  size_t whole_size_ = 0;
  bool eof_ = false;
  std::int64_t line_number_ = 0;
  std::vector<char> buffer_;
  size_t begin_ = 0;  // next unread byte in buffer_
  size_t end_ = 0;    // one past the last valid byte in buffer_
};

// Reads a number from a data line the way atoi does: leading blank space, an
// optional sign, then decimal digits up to the first other character; 0 when
// there are none. Values beyond a signed 32-bit integer saturate at its limits.
int LineNumber(const std::string& text);

template <typename Stop>
bool DataStream::ReadUntil(std::string* out, Stop&& stop) {
  last_read_ = this;
  for (;;) {
    if (!eof_ && begin_ < end_) {
      const char* data = buffer_.data();
      const char* start = data + begin_;
      const size_t limit = end_;
      const char* end = data + limit;
      // The line ends ahead, 64 bytes at a time: `mask` holds those of the
      // block at offset `block` that are not passed yet.
      size_t block = begin_;
      size_t size = limit - block;
      std::uint64_t mask = LineEndMask(data + block, size < 64 ? size : 64);
      std::int64_t lines = 0;
      for (;;) {
        while (mask == 0) {
          block += 64;
          if (block >= limit) break;
          size = limit - block;
          mask = LineEndMask(data + block, size < 64 ? size : 64);
          if (mask == 0 && size > 64) {
            // A long line: the library's search finds its end faster.
            block = static_cast<size_t>(NextLineEnd(data + block + 64, end) - data);
            if (block == limit) break;
            size = limit - block;
            mask = LineEndMask(data + block, size < 64 ? size : 64);
          }
        }
        if (mask == 0) break;
        const char* feed = data + block + CountTrailingZeros(mask);
        mask &= mask - 1;
        size_t length = static_cast<size_t>(feed - start);
        // The whole line is in the buffer, its carriage return too.
        if (length > 0 && feed[-1] == '\r') --length;
        ++lines;
        if (stop(static_cast<const char*>(start), length)) {
          line_number_ += lines;
          begin_ = static_cast<size_t>(feed + 1 - data);
          out->assign(start, length);
          return true;
        }
        start = feed + 1;
      }
      line_number_ += lines;
      begin_ = static_cast<size_t>(start - data);
    }
    // A line that runs past the buffer's end, or the end of the data.
    ReadLine(out);
    if (stop(static_cast<const char*>(out->data()), out->size())) return true;
    if (eof_) return false;
  }
}

#endif  // ENGINE_DATA_STREAM_H_
