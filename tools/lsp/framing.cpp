// The base protocol: Content-Length framing.
#include "lsp/framing.h"

#include <cctype>

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string Trim(const std::string& text) {
  size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return "";
  size_t end = text.find_last_not_of(" \t");
  return text.substr(start, end - start + 1);
}

// The Content-Length of a header block (without its blank line), or -1 when
// it has none, a malformed one, or one beyond `max`.
long long ContentLength(const std::string& block, size_t max) {
  long long length = -1;
  size_t start = 0;
  while (start <= block.size()) {
    size_t end = block.find('\n', start);
    if (end == std::string::npos) end = block.size();
    std::string line = block.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // The field may follow the rest of a message whose header was unusable:
    // its body was never taken and runs on up to the next header, so the
    // field is looked for anywhere in the line, not only at its start.
    const std::string field = "content-length";
    size_t at = Lower(line).rfind(field);
    size_t colon = at == std::string::npos ? at : line.find(':', at + field.size());
    if (colon != std::string::npos && Trim(line.substr(at + field.size(), colon - at - field.size())).empty()) {
      std::string value = Trim(line.substr(colon + 1));
      if (value.empty() || value.size() > 12) return -1;
      long long n = 0;
      for (char c : value) {
        if (c < '0' || c > '9') return -1;
        n = n * 10 + (c - '0');
      }
      if (n > static_cast<long long>(max)) return -1;
      length = n;
    }
    start = end + 1;
  }
  return length;
}

}  // namespace

void FrameReader::Feed(const char* data, size_t size) {
  // Drop what was read before growing the buffer.
  if (begin_ > 0 && begin_ >= buffer_.size() / 2) {
    buffer_.erase(0, begin_);
    begin_ = 0;
  }
  buffer_.append(data, size);
}

bool FrameReader::Next(std::string* body, std::string* err) {
  body->clear();
  while (awaiting_ < 0) {
    // The header block ends at an empty line: CR LF CR LF, or bare LFs.
    size_t end = std::string::npos, after = 0;
    for (size_t i = begin_; i < buffer_.size(); ++i) {
      if (buffer_[i] != '\n') continue;
      size_t j = i + 1;
      if (j < buffer_.size() && buffer_[j] == '\r') ++j;
      if (j < buffer_.size() && buffer_[j] == '\n') {
        end = i;
        after = j + 1;
        break;
      }
      if (i - begin_ > kMaxHeader) break;
    }
    if (end == std::string::npos) {
      if (buffer_.size() - begin_ > kMaxHeader) {
        // No header ends in reach: drop up to the last line feed and go on.
        size_t cut = buffer_.rfind('\n');
        begin_ = cut == std::string::npos || cut < begin_ ? buffer_.size() : cut + 1;
        *err = "header too long";
        return true;
      }
      return false;
    }
    std::string block = buffer_.substr(begin_, end - begin_);
    begin_ = after;
    // Blank lines between messages are no header.
    if (block.find_first_not_of("\r\n") == std::string::npos) continue;
    awaiting_ = ContentLength(block, kMaxBody);
    if (awaiting_ < 0) {
      *err = "header without a usable Content-Length";
      return true;
    }
  }
  if (buffer_.size() - begin_ < static_cast<size_t>(awaiting_)) return false;
  *body = buffer_.substr(begin_, static_cast<size_t>(awaiting_));
  begin_ += static_cast<size_t>(awaiting_);
  awaiting_ = -1;
  return true;
}

std::string Frame(const std::string& body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
