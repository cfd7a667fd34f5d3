// The save's journal: what the engine read, record by record, its checks,
// and the rules by which it is played again. Free of system calls, so that
// every build of the engine (the web page's too) shares it.
//
// A save is a journal of what the engine read: the keys, the words, the
// numbers and the clock values drawn for the computer's moves. The engine is
// deterministic given those, so restoring a game is playing it again.
//
// The bytes: a header record, then records, each made of
//
//   kind     1 byte, an ASCII letter (below)
//   length   the payload's length in bytes, an unsigned LEB128 number (seven
//            bits a byte, the lowest first; every byte but the last has its
//            high bit set), at most 5 bytes
//   payload  `length` bytes
//   crc      4 bytes, little-endian: the CRC-32 of the kind, length and
//            payload bytes (the polynomial and the running form of zlib's
//            crc32(): crc = crc32(previous, bytes)), started from the
//            previous record's crc, and from 0 for the header. A record
//            moved, lost, or taken from another journal fails its check.
//
// The kinds:
//
//   H  the header, first and only first: the format version (1 byte, 1),
//      the story's hash (8 bytes, little-endian) and the engine's version
//      (the rest of the payload, text such as "1.0.0").
//   K  a key wait took a key. No payload.
//   W  a word was read at the ">" prompt: its bytes. A word longer than
//      kMaxWordBytes is kept as its first kMaxWordBytes + 1 bytes, which
//      answers no prompt, as the word itself would not.
//   N  a number was read at a move prompt: the value, zigzag-coded
//      ((v << 1) ^ (v >> 63), as an unsigned 64-bit number) in LEB128.
//   T  a clock value, in seconds, was drawn for the computer's move: as N.
//   B  a duel's turns begin. No payload.
//   E  a duel's turns have ended: a health reached 0. No payload.
//   R  the word just before answered nothing at its prompt. No payload.
//
// The story's hash: 64-bit FNV-1a over, for each of script.ostrel,
// animations.ostrel, title_screen.ostrel and credits.ostrel in that order,
// one byte (1 when the file is there and opens as the engine opens it, 0 when
// not), its length as 8 bytes little-endian and its bytes (none when it is
// not there). A journal whose hash and engine version are those of the story
// and the engine now is played record for record; any other is played as far
// as it still fits the story (JournalReplay below).
//
// A journal may end with zero bytes after its last record: room the engine
// made ahead for records to come, left by a run that did not end as it
// should. A reader passes over them; they are no damage.
//
// A reader keeps the longest prefix of whole, valid records, beginning with a
// valid header, and drops the rest: a record cut short, one that fails its
// check, an unknown kind or a payload that its kind cannot have.
#ifndef ENGINE_JOURNAL_H_
#define ENGINE_JOURNAL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace journal {

constexpr std::uint8_t kFormatVersion = 1;

// The kinds of record.  ORDER KINDS: IsRecordKind in journal.cpp.
constexpr char kHeader = 'H';
constexpr char kKey = 'K';
constexpr char kWord = 'W';
constexpr char kNumber = 'N';
constexpr char kTime = 'T';
constexpr char kDuelBegins = 'B';
constexpr char kDuelEnds = 'E';
constexpr char kUnanswered = 'R';

// CRC-32 of `size` bytes, continuing from `crc` (0 to start), as zlib's
// crc32() computes it.
std::uint32_t Crc32(std::uint32_t crc, const void* data, size_t size);

// 64-bit FNV-1a, fed piece by piece.
class Fnv1a {
 public:
  void Add(const void* data, size_t size);
  void AddUint64(std::uint64_t value);  // 8 bytes, little-endian
  std::uint64_t value() const { return hash_; }

 private:
  std::uint64_t hash_ = 0xcbf29ce484222325ULL;
};

// One record after the header. `text` holds a word; `number` a number or a
// clock value.
struct Record {
  char kind = 0;
  std::string text;
  long long number = 0;
};

// What a reader made of a journal's bytes.
struct Journal {
  bool has_header = false;  // a valid header began the bytes
  std::uint64_t story_hash = 0;
  std::string engine_version;
  std::vector<Record> records;
  size_t valid_size = 0;    // the bytes of the valid prefix
  std::uint32_t crc = 0;    // the crc of its last record
  std::string problem;      // why the bytes after it were dropped; "" if none were
};

// Reads `bytes`, keeping the longest valid prefix.
Journal ReadJournal(const std::string& bytes);

// Builds a journal's bytes, record after record, each chained to the last.
class JournalWriter {
 public:
  // Starts a new journal: appends its header to `*out`.
  void Begin(std::uint64_t story_hash, const std::string& engine_version, std::string* out);
  // Goes on after the last record of a journal read, whose crc is `crc`.
  void Continue(std::uint32_t crc) { crc_ = crc; }

  // Appends one record to `*out`. `Number` is for N and T; `Mark` for the
  // records without payload (K, B, E, R).
  void Word(const std::string& word, std::string* out);
  void Number(char kind, long long value, std::string* out);
  void Mark(char kind, std::string* out) { Append(kind, "", 0, out); }

  std::uint32_t crc() const { return crc_; }

 private:
  void Append(char kind, const char* payload, size_t size, std::string* out);
  std::uint32_t crc_ = 0;
};

// Plays the records of a journal to the engine's reads, in order.
//
// On an unchanged story every read takes its own record. On a changed story
// the journal is played as far as it still fits:
//   - a word marked R (it answered nothing) is passed over: it changed
//     nothing;
//   - the replay ends at a word that the prompt no longer answers, at a word
//     where a number is read or the other way round, and at a clock value
//     drawn where the journal holds none;
//   - key records are matched loosely: a key wait with no K record next
//     takes nothing and goes on, and a K record where a word or a number is
//     read is dropped, so that a pause added or removed does not end it.
// The same rules hold for an unchanged story, where they change nothing but
// cope with a journal that does not fit (one cut short between a word and its
// R record). B and E records are passed over: the engine writes its own.
//
// Each call that answers false has ended the replay: the read is the live
// player's from then on.
class JournalReplay {
 public:
  JournalReplay() = default;
  JournalReplay(std::vector<Record> records, bool story_changed);

  bool active() const { return active_; }

  bool Key();
  bool Word(std::string* word);
  bool Number(long long* value);
  bool Time(long long* seconds);
  // The word last given by Word() answered nothing. Answers true when that
  // ends the replay: the word is taken back, as if it had never been typed.
  bool Unanswered();

  // The answers (words and numbers) left unplayed when the replay ended, the
  // words passed over for R not counted.
  long long dropped_answers() const { return dropped_; }
  // True when records were left unplayed or passed over.
  bool cut_short() const { return cut_short_; }

 private:
  // Skips the records that no read takes here; answers the next one, or
  // null at the end.
  const Record* Peek(bool skip_keys);
  bool MarkedUnanswered(size_t i) const;
  void End();

  std::vector<Record> records_;
  size_t next_ = 0;
  bool story_changed_ = false;
  bool active_ = false;
  bool last_word_marked_ = false;
  long long dropped_ = 0;
  bool cut_short_ = false;
};

// The screen of a game being restored: the text written since the last clear
// screen, with its colours, and the answers read, so that it can be shown at
// once when the restore ends. At most the last kMaxBytes of the text are
// kept, from the start of a line.
class SavedScreen {
 public:
  static constexpr size_t kMaxBytes = size_t{1} << 20;

  void Write(const char* data, size_t size);
  void SetColor(int attribute);
  void Clear();
  // An answer the player typed (a word or a number), shown as typed when
  // the terminal echoes what is typed.
  void Answer(const std::string& text);
  // Takes the last answer back, as if it had not been typed.
  void TakeBackAnswer();
  // The screen as pieces to write, in order: text, a colour change, an answer.
  struct Piece {
    enum Kind { kText, kColor, kAnswer } kind;
    std::string text;
    int color;
  };
  // The colour in force when the screen was last cleared (7, the usual one,
  // at first), and what came after.
  int start_color() const { return start_color_; }
  const std::vector<Piece>& pieces() const { return pieces_; }

 private:
  void Trim();

  std::vector<Piece> pieces_;
  int color_ = 7;
  int start_color_ = 7;
  size_t text_bytes_ = 0;
};

}  // namespace journal

#endif  // ENGINE_JOURNAL_H_
