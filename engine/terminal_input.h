// Pure parts of the terminal layer, shared by every implementation: the queue
// of typed words, UTF-8 character lengths, colour sequences, and reading the
// player's lines from a file descriptor.
#ifndef ENGINE_TERMINAL_INPUT_H_
#define ENGINE_TERMINAL_INPUT_H_

#include <cstddef>
#include <functional>
#include <string>

// Blank space between words: space, tab, line feed, carriage return, vertical
// tab and form feed.
bool IsBlank(char c);

// The rest of the player's current input line. Words and numbers are taken
// from it the way `std::cin >> word` takes them; what is left stays queued for
// the next read of a word or number.
class TokenQueue {
 public:
  void SetLine(std::string line) {
    line_ = std::move(line);
    pos_ = 0;
  }
  // Takes the next word. Returns false, leaving the queue empty, when the
  // line holds no word any more.
  bool TakeWord(std::string* word);
  // Takes the next number: an optional sign and at least one digit at the
  // start of a word. A word without such a start is discarded whole, and
  // what follows the digits stays queued. Returns false when the line holds
  // no number any more.
  bool TakeNumber(long long* value);
  // True when TakeWord, or TakeNumber, would find one on the line.
  bool HasWord() const;
  bool HasNumber() const;

  // The next word or number, reading further lines with `next_line` while
  // the queued one holds none. Returns false at the end of input, which
  // `next_line` tells by answering false.
  using LineSource = std::function<bool(std::string*)>;
  bool ReadWord(std::string* word, const LineSource& next_line);
  bool ReadNumber(long long* value, const LineSource& next_line);

 private:
  void SkipBlanks();
  std::string line_;
  size_t pos_ = 0;
};

// The most of one word that the player's input keeps. A longer word is read
// to its end, but only its first kMaxWordBytes + 1 bytes are kept: too long
// to answer any prompt.
constexpr size_t kMaxWordBytes = size_t{1} << 20;

// The player's line as it comes in, byte by byte, held within bounds
// whatever comes: the tail of an overlong word is dropped, and a line that
// has grown past kLongLineBytes is handed over at its next blank, in pieces
// that split no word. Words are taken from the pieces as from the whole line.
class LineBuilder {
 public:
  static constexpr size_t kLongLineBytes = size_t{1} << 20;

  // Adds one byte; false when it was dropped.
  bool Add(char c);
  // True when what is held is to be handed over now: it ends with a line
  // feed, or it is long and ends with blank space.
  bool Complete() const;
  // Erases the last character, a whole UTF-8 sequence where there is one.
  void EraseLastCharacter();
  bool empty() const { return text_.empty(); }
  // Hands the line over and starts a new one.
  void Take(std::string* line);

 private:
  std::string text_;
  size_t word_start_ = 0;  // where the last word of text_ begins
};

// The length of the character that starts at `pos`: a whole UTF-8 sequence
// where the bytes form a valid one, otherwise 1.
size_t Utf8CharLength(const std::string& text, size_t pos);

// The ANSI SGR sequence for a console character attribute: 7 is the
// terminal's normal colour, the low four bits the text colour (1 blue, 2
// green, 4 red, 8 bright) and the next four the background, 0 meaning the
// terminal's own.
std::string SgrForAttribute(int attribute);

// Reads the bytes of standard input through a buffer, for input that is no
// terminal (a pipe or a file) and for the raw bytes of a terminal; or the
// bytes of a string, for the tools that play stories in memory.
class ByteReader {
 public:
  // Reads `bytes` from memory from now on, from their start.
  void UseMemory(std::string bytes) {
    memory_ = std::move(bytes);
    from_memory_ = true;
    memory_pos_ = 0;
    at_end_ = false;
    begin_ = end_ = 0;
  }
  // Reads one byte. Returns false at the end of input.
  bool Next(char* c);
  // Reads up to and including the next line feed, or to the end of input.
  // Returns false when nothing at all was left.
  bool ReadLine(std::string* line);
  // True when a byte can be read at once, waiting at most `timeout_ms`.
  bool Ready(int timeout_ms);

 private:
  bool Fill();
  bool from_memory_ = false;
  std::string memory_;
  size_t memory_pos_ = 0;
  bool at_end_ = false;
  char buffer_[4096];
  size_t begin_ = 0;
  size_t end_ = 0;
};

// The line editor of a terminal in the engine's own mode: reads one line from
// the keys typed and shows what is typed. Backspace (DEL or BS) erases the
// last character, on the screen too; Ctrl-U the whole line; Enter (CR or LF)
// ends the line, which then ends in '\n'; an escape sequence does nothing;
// other control characters but tab are dropped. Ctrl-D on an empty line is
// the end of input. Returns false at the end of input with nothing typed.
struct LineKeys {
  std::function<int()> next;  // the next byte typed, or -1 at the end of input
  std::function<void(const std::string&)> echo;  // shows bytes on the screen
  std::function<void()> skip_escape;  // takes the rest of an escape sequence
};
bool EditLine(std::string* line, const LineKeys& keys);

#endif  // ENGINE_TERMINAL_INPUT_H_
