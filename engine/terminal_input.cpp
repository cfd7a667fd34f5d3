// Pure parts of the terminal layer: word queue, UTF-8, colours, byte input.
#include "terminal_input.h"

#include "platform.h"

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' ||
         c == '\f';
}

void TokenQueue::SkipBlanks() {
  while (pos_ < line_.size() && IsBlank(line_[pos_])) ++pos_;
}

bool TokenQueue::TakeWord(std::string* word) {
  SkipBlanks();
  if (pos_ >= line_.size()) return false;
  size_t start = pos_;
  while (pos_ < line_.size() && !IsBlank(line_[pos_])) ++pos_;
  word->assign(line_, start, pos_ - start);
  return true;
}

bool TokenQueue::TakeNumber(long long* value) {
  // Far beyond any 32-bit move, and far from overflowing while digits add up.
  constexpr long long kLimit = 1LL << 40;
  for (;;) {
    SkipBlanks();
    if (pos_ >= line_.size()) return false;
    size_t i = pos_;
    bool negative = false;
    if (line_[i] == '+' || line_[i] == '-') {
      negative = line_[i] == '-';
      ++i;
    }
    size_t digits_start = i;
    long long number = 0;
    while (i < line_.size() && line_[i] >= '0' && line_[i] <= '9') {
      number = number * 10 + (line_[i] - '0');
      if (number > kLimit) number = kLimit;
      ++i;
    }
    if (i > digits_start) {
      pos_ = i;
      *value = negative ? -number : number;
      return true;
    }
    // No digit: the whole word goes.
    while (pos_ < line_.size() && !IsBlank(line_[pos_])) ++pos_;
  }
}

bool TokenQueue::HasWord() const {
  for (size_t i = pos_; i < line_.size(); ++i) {
    if (!IsBlank(line_[i])) return true;
  }
  return false;
}

bool TokenQueue::HasNumber() const {
  // A word that begins with a digit, or with a sign and a digit.
  bool word_start = true;
  for (size_t i = pos_; i < line_.size(); ++i) {
    char c = line_[i];
    if (IsBlank(c)) {
      word_start = true;
      continue;
    }
    if (word_start) {
      char next = i + 1 < line_.size() ? line_[i + 1] : ' ';
      if ((c >= '0' && c <= '9') ||
          ((c == '+' || c == '-') && next >= '0' && next <= '9')) {
        return true;
      }
    }
    word_start = false;
  }
  return false;
}

bool TokenQueue::ReadWord(std::string* word, const LineSource& next_line) {
  std::string next;
  while (!TakeWord(word)) {
    if (!next_line(&next)) return false;
    SetLine(std::move(next));
  }
  return true;
}

bool TokenQueue::ReadNumber(long long* value, const LineSource& next_line) {
  std::string next;
  while (!TakeNumber(value)) {
    if (!next_line(&next)) return false;
    SetLine(std::move(next));
  }
  return true;
}

size_t Utf8CharLength(const std::string& text, size_t pos) {
  auto byte = [&](size_t i) -> unsigned {
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0x100;
  };
  unsigned lead = byte(pos);
  size_t length;
  unsigned low = 0x80, high = 0xBF;  // range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 1;
  }
  if (byte(pos + 1) < low || byte(pos + 1) > high) return 1;
  for (size_t i = 2; i < length; ++i) {
    if (byte(pos + i) < 0x80 || byte(pos + i) > 0xBF) return 1;
  }
  return length;
}

std::string SgrForAttribute(int attribute) {
  attribute &= 0xFFFF;
  if (attribute == 7) return "\x1b[0m";
  // Console colour bits are blue 1, green 2, red 4; ANSI numbers them red 1,
  // green 2, blue 4.
  auto ansi = [](int bits) {
    return ((bits & 4) ? 1 : 0) | (bits & 2) | ((bits & 1) ? 4 : 0);
  };
  int text = attribute & 0xF;
  int background = (attribute >> 4) & 0xF;
  std::string sgr = "\x1b[";
  sgr += std::to_string(((text & 8) ? 90 : 30) + ansi(text));
  if (background != 0) {
    sgr += ';';
    sgr += std::to_string(((background & 8) ? 100 : 40) + ansi(background));
  }
  sgr += 'm';
  return sgr;
}

bool ByteReader::Fill() {
  begin_ = end_ = 0;
  if (at_end_) return false;
  if (from_memory_) {
    size_t n = memory_.size() - memory_pos_;
    if (n > sizeof buffer_) n = sizeof buffer_;
    if (n == 0) {
      at_end_ = true;
      return false;
    }
    memory_.copy(buffer_, n, memory_pos_);
    memory_pos_ += n;
    end_ = n;
    return true;
  }
  end_ = PlatformRead(buffer_, sizeof buffer_);
  // The end of input, or an error such as a terminal that hung up.
  at_end_ = end_ == 0;
  return !at_end_;
}

bool ByteReader::Next(char* c) {
  if (begin_ == end_ && !Fill()) return false;
  *c = buffer_[begin_++];
  return true;
}

bool LineBuilder::Add(char c) {
  if (IsBlank(c)) {
    text_.push_back(c);
    word_start_ = text_.size();
    return true;
  }
  if (text_.size() - word_start_ > kMaxWordBytes) return false;
  text_.push_back(c);
  return true;
}

bool LineBuilder::Complete() const {
  if (text_.empty()) return false;
  char last = text_.back();
  return last == '\n' || (text_.size() >= kLongLineBytes && IsBlank(last));
}

void LineBuilder::EraseLastCharacter() {
  if (text_.empty()) return;
  // Step back over UTF-8 continuation bytes to the start of the character.
  size_t start = text_.size() - 1;
  while (start > 0 && (static_cast<unsigned char>(text_[start]) & 0xC0) == 0x80) {
    --start;
  }
  if (Utf8CharLength(text_, start) != text_.size() - start) start = text_.size() - 1;
  text_.erase(start);
  if (word_start_ > text_.size()) {
    word_start_ = text_.size();
    while (word_start_ > 0 && !IsBlank(text_[word_start_ - 1])) --word_start_;
  }
}

void LineBuilder::Take(std::string* line) {
  line->swap(text_);
  text_.clear();
  word_start_ = 0;
}

bool ByteReader::ReadLine(std::string* line) {
  LineBuilder builder;
  char c;
  while (!builder.Complete() && Next(&c)) builder.Add(c);
  builder.Take(line);
  return !line->empty();
}

bool ByteReader::Ready(int timeout_ms) {
  if (begin_ < end_) return true;
  if (at_end_) return false;
  if (from_memory_) return memory_pos_ < memory_.size();
  return PlatformInputReady(timeout_ms);
}

namespace {

void EraseLastCharacter(LineBuilder* typed, const LineKeys& keys) {
  if (typed->empty()) return;
  typed->EraseLastCharacter();
  keys.echo("\b \b");
}

}  // namespace

bool EditLine(std::string* line, const LineKeys& keys) {
  line->clear();
  LineBuilder typed;
  for (;;) {
    int next = keys.next();
    if (next < 0) break;
    char c = static_cast<char>(next);
    if (c == '\n' || c == '\r') {
      typed.Add('\n');
      keys.echo("\n");
      break;
    }
    if (next == 0x04) {
      if (typed.empty()) return false;
      continue;
    }
    if (next == 0x7f || next == 0x08) {
      EraseLastCharacter(&typed, keys);
      continue;
    }
    if (next == 0x15) {
      while (!typed.empty()) EraseLastCharacter(&typed, keys);
      continue;
    }
    if (next == 0x1b) {
      keys.skip_escape();  // arrows and the like do nothing here
      continue;
    }
    if (next < 0x20 && c != '\t') continue;
    // The tail of an overlong word is neither kept nor shown.
    if (typed.Add(c)) keys.echo(std::string(1, c));
    // A line pasted without end is handed over in pieces.
    if (typed.Complete()) break;
  }
  typed.Take(line);
  return !line->empty();
}
