// The save's journal: its bytes, their checks, and playing them again.
#include "journal.h"

#include <cstring>

#include "terminal_input.h"

namespace journal {

/* ==== Checksums and hashes ============================================== */

namespace {

struct CrcTable {
  std::uint32_t entries[256];
  CrcTable() {
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      entries[i] = c;
    }
  }
};

}  // namespace

std::uint32_t Crc32(std::uint32_t crc, const void* data, size_t size) {
  static const CrcTable table;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = table.entries[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

void Fnv1a::Add(const void* data, size_t size) {
  const unsigned char* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) {
    hash_ ^= p[i];
    hash_ *= 0x100000001b3ULL;
  }
}

void Fnv1a::AddUint64(std::uint64_t value) {
  unsigned char bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(value >> (8 * i));
  Add(bytes, 8);
}

/* ==== Numbers =========================================================== */

namespace {

void PutVarint(std::uint64_t value, std::string* out) {
  while (value >= 0x80) {
    out->push_back(static_cast<char>((value & 0x7F) | 0x80));
    value >>= 7;
  }
  out->push_back(static_cast<char>(value));
}

// Reads an unsigned LEB128 number of at most `max_bytes` bytes from
// [*pos, end). False when it runs past the end or is too long.
bool GetVarint(const std::string& bytes, size_t* pos, size_t end, int max_bytes,
               std::uint64_t* value) {
  std::uint64_t result = 0;
  for (int i = 0; i < max_bytes && *pos < end; ++i) {
    unsigned char b = static_cast<unsigned char>(bytes[(*pos)++]);
    // The tenth byte of a 64-bit number holds its last bit only.
    if (i == 9 && b > 1) return false;
    result |= static_cast<std::uint64_t>(b & 0x7F) << (7 * i);
    if ((b & 0x80) == 0) {
      *value = result;
      return true;
    }
  }
  return false;
}

std::uint64_t ZigZag(long long value) {
  return (static_cast<std::uint64_t>(value) << 1) ^
         static_cast<std::uint64_t>(value < 0 ? -1 : 0);
}

long long UnZigZag(std::uint64_t value) {
  std::uint64_t magnitude = value >> 1;
  return static_cast<long long>((value & 1) ? ~magnitude : magnitude);
}

// The kinds a journal may hold after its header.  ORDER KINDS
bool IsRecordKind(char kind) {
  return kind == kKey || kind == kWord || kind == kNumber || kind == kTime ||
         kind == kDuelBegins || kind == kDuelEnds || kind == kUnanswered;
}

constexpr size_t kMaxHeaderPayload = 1 + 8 + 256;

}  // namespace

/* ==== Reading =========================================================== */

Journal ReadJournal(const std::string& bytes) {
  Journal journal;
  size_t pos = 0;
  std::uint32_t crc = 0;
  while (pos < bytes.size()) {
    // Zeros to the end are room made ahead for records, not damage.
    if (bytes[pos] == '\0' && bytes.find_first_not_of('\0', pos) == std::string::npos) break;
    size_t start = pos;
    char kind = bytes[pos++];
    bool header = start == 0;
    if (header ? kind != kHeader : !IsRecordKind(kind)) {
      journal.problem = header ? "it does not begin as a save does" : "a record of an unknown kind";
      break;
    }
    std::uint64_t length = 0;
    if (!GetVarint(bytes, &pos, bytes.size(), 5, &length)) {
      journal.problem = pos >= bytes.size() ? "a record cut short" : "a record of an impossible length";
      break;
    }
    if (length > bytes.size() - pos || bytes.size() - pos - length < 4) {
      journal.problem = "a record cut short";
      break;
    }
    size_t payload = pos;
    size_t end = payload + static_cast<size_t>(length);
    std::uint32_t stored = 0;
    for (int i = 0; i < 4; ++i) {
      stored |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[end + i])) << (8 * i);
    }
    std::uint32_t computed = Crc32(crc, bytes.data() + start, end - start);
    if (stored != computed) {
      journal.problem = "a record that fails its check";
      break;
    }
    // The payload must be one its kind can have.
    Record record;
    record.kind = kind;
    bool valid = true;
    if (kind == kHeader) {
      valid = length >= 9 && length <= kMaxHeaderPayload &&
              static_cast<unsigned char>(bytes[payload]) == kFormatVersion;
      if (valid) {
        for (int i = 0; i < 8; ++i) {
          journal.story_hash |=
              static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[payload + 1 + i])) << (8 * i);
        }
        journal.engine_version.assign(bytes, payload + 9, static_cast<size_t>(length) - 9);
      }
    } else if (kind == kWord) {
      valid = length >= 1 && length <= kMaxWordBytes + 1;
      if (valid) record.text.assign(bytes, payload, static_cast<size_t>(length));
    } else if (kind == kNumber || kind == kTime) {
      size_t at = payload;
      std::uint64_t value = 0;
      valid = GetVarint(bytes, &at, end, 10, &value) && at == end;
      record.number = UnZigZag(value);
    } else {
      valid = length == 0;
    }
    if (!valid) {
      journal.problem = header ? "a header of another format" : "a record that its kind cannot hold";
      break;
    }
    pos = end + 4;
    crc = computed;
    if (header) {
      journal.has_header = true;
    } else {
      journal.records.push_back(std::move(record));
    }
    journal.valid_size = pos;
    journal.crc = crc;
  }
  return journal;
}

/* ==== Writing =========================================================== */

void JournalWriter::Append(char kind, const char* payload, size_t size, std::string* out) {
  size_t start = out->size();
  out->push_back(kind);
  PutVarint(size, out);
  out->append(payload, size);
  crc_ = Crc32(crc_, out->data() + start, out->size() - start);
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((crc_ >> (8 * i)) & 0xFF));
}

void JournalWriter::Begin(std::uint64_t story_hash, const std::string& engine_version,
                          std::string* out) {
  crc_ = 0;
  std::string payload(1, static_cast<char>(kFormatVersion));
  for (int i = 0; i < 8; ++i) payload.push_back(static_cast<char>((story_hash >> (8 * i)) & 0xFF));
  payload += engine_version.substr(0, kMaxHeaderPayload - 9);
  Append(kHeader, payload.data(), payload.size(), out);
}

void JournalWriter::Word(const std::string& word, std::string* out) {
  // An overlong word keeps one byte more than any answer can have.
  size_t size = word.size() > kMaxWordBytes + 1 ? kMaxWordBytes + 1 : word.size();
  Append(kWord, word.data(), size, out);
}

void JournalWriter::Number(char kind, long long value, std::string* out) {
  std::string payload;
  PutVarint(ZigZag(value), &payload);
  Append(kind, payload.data(), payload.size(), out);
}

/* ==== Replay ============================================================ */

JournalReplay::JournalReplay(std::vector<Record> records, bool story_changed)
    : records_(std::move(records)), story_changed_(story_changed), active_(true) {}

bool JournalReplay::MarkedUnanswered(size_t i) const {
  return i + 1 < records_.size() && records_[i + 1].kind == kUnanswered;
}

const Record* JournalReplay::Peek(bool skip_keys) {
  while (next_ < records_.size()) {
    const Record& r = records_[next_];
    bool skip = r.kind == kDuelBegins || r.kind == kDuelEnds || r.kind == kUnanswered ||
                (skip_keys && r.kind == kKey);
    if (r.kind == kKey && skip_keys) cut_short_ = true;
    if (!skip && story_changed_ && r.kind == kWord && MarkedUnanswered(next_)) {
      // It answered nothing, so it changed nothing.
      cut_short_ = true;
      skip = true;
    }
    if (!skip) return &r;
    ++next_;
  }
  return nullptr;
}

void JournalReplay::End() {
  if (!active_) return;
  active_ = false;
  for (size_t i = next_; i < records_.size(); ++i) {
    char kind = records_[i].kind;
    if (kind == kKey || kind == kWord || kind == kNumber || kind == kTime) cut_short_ = true;
    if (kind == kNumber || (kind == kWord && !MarkedUnanswered(i))) ++dropped_;
  }
  records_.clear();
  records_.shrink_to_fit();
  next_ = 0;
}

bool JournalReplay::Key() {
  if (!active_) return false;
  const Record* r = Peek(false);
  if (r == nullptr) {
    End();
    return false;
  }
  // A key wait that the journal does not hold takes nothing and goes on.
  if (r->kind == kKey) {
    ++next_;
  } else {
    cut_short_ = true;
  }
  return true;
}

bool JournalReplay::Word(std::string* word) {
  if (!active_) return false;
  const Record* r = Peek(true);
  if (r == nullptr || r->kind != kWord) {
    End();
    return false;
  }
  last_word_marked_ = MarkedUnanswered(next_);
  *word = r->text;
  ++next_;
  return true;
}

bool JournalReplay::Number(long long* value) {
  if (!active_) return false;
  const Record* r = Peek(true);
  if (r == nullptr || r->kind != kNumber) {
    End();
    return false;
  }
  *value = r->number;
  ++next_;
  return true;
}

bool JournalReplay::Time(long long* seconds) {
  if (!active_) return false;
  const Record* r = Peek(false);
  if (r == nullptr || r->kind != kTime) {
    End();
    return false;
  }
  *seconds = r->number;
  ++next_;
  return true;
}

bool JournalReplay::Unanswered() {
  if (!active_ || last_word_marked_) return false;
  // The word was acted upon before: the story no longer takes it.
  --next_;
  End();
  return true;
}

/* ==== The saved screen ================================================== */

void SavedScreen::Write(const char* data, size_t size) {
  if (size == 0) return;
  if (!pieces_.empty() && pieces_.back().kind == Piece::kText) {
    pieces_.back().text.append(data, size);
  } else {
    pieces_.push_back(Piece{Piece::kText, std::string(data, size), 0});
  }
  text_bytes_ += size;
  if (text_bytes_ > 2 * kMaxBytes) Trim();
}

void SavedScreen::SetColor(int attribute) {
  color_ = attribute;
  pieces_.push_back(Piece{Piece::kColor, std::string(), attribute});
}

void SavedScreen::Clear() {
  pieces_.clear();
  text_bytes_ = 0;
  start_color_ = color_;
}

void SavedScreen::Answer(const std::string& text) {
  pieces_.push_back(Piece{Piece::kAnswer, text, 0});
  text_bytes_ += text.size() + 1;
  if (text_bytes_ > 2 * kMaxBytes) Trim();
}

void SavedScreen::TakeBackAnswer() {
  for (size_t i = pieces_.size(); i-- > 0;) {
    if (pieces_[i].kind == Piece::kAnswer) {
      text_bytes_ -= pieces_[i].text.size() + 1;
      pieces_.erase(pieces_.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

void SavedScreen::Trim() {
  // Keep about the last kMaxBytes, from the start of a line.
  size_t drop = text_bytes_ - kMaxBytes;
  std::vector<Piece> kept;
  for (Piece& piece : pieces_) {
    if (drop == 0) {
      kept.push_back(std::move(piece));
      continue;
    }
    if (piece.kind == Piece::kColor) {
      start_color_ = piece.color;
      continue;
    }
    size_t size = piece.kind == Piece::kAnswer ? piece.text.size() + 1 : piece.text.size();
    if (size <= drop) {
      drop -= size;
      text_bytes_ -= size;
      continue;
    }
    if (piece.kind == Piece::kText) {
      // At the start of a line where there is one, else just past a whole
      // UTF-8 character.
      size_t feed = piece.text.find('\n', drop - 1);
      size_t cut = feed != std::string::npos ? feed + 1 : drop;
      while (feed == std::string::npos && cut < piece.text.size() &&
             (static_cast<unsigned char>(piece.text[cut]) & 0xC0) == 0x80) {
        ++cut;
      }
      piece.text.erase(0, cut);
      text_bytes_ -= cut;
    }
    drop = 0;
    if (!piece.text.empty() || piece.kind == Piece::kAnswer) kept.push_back(std::move(piece));
  }
  pieces_ = std::move(kept);
}

}  // namespace journal
