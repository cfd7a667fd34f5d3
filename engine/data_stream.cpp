// DataStream: buffered line reading of the data files.
#include "data_stream.h"

#include <climits>
#include <cstring>

#include "platform.h"

const DataStream* DataStream::last_read_ = nullptr;
bool DataStream::held_ = false;

DataStream::DataStream(const char* path, size_t buffer_size) { Open(path, buffer_size); }

DataStream::~DataStream() { Close(); }

void DataStream::Close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void DataStream::Open(const char* path, size_t buffer_size) {
  Close();
  buffer_.resize(buffer_size > 0 ? buffer_size : 1);
  eof_ = false;
  line_number_ = 0;
  begin_ = end_ = 0;
  at_start_ = true;
  whole_ = false;
  // The bytes as they stand, CR LF included, on every system; a directory or
  // a FIFO counts as missing.
  file_ = PlatformOpenDataFile(path);
  // The stream reads through its own buffer; a second one would only copy.
  if (file_ != nullptr) std::setvbuf(file_, nullptr, _IONBF, 0);
}

bool DataStream::Refill() {
  begin_ = end_ = 0;
  if (file_ == nullptr) return false;
  // A held file that stood whole in the buffer has nothing after it.
  if (held_ && whole_ && !at_start_) return false;
  bool from_start = at_start_;
  at_start_ = false;
  // The end of the data, or a read error, which ends it too, gives nothing.
  end_ = std::fread(buffer_.data(), 1, buffer_.size(), file_);
  if (from_start) {
    whole_ = end_ < buffer_.size();
    whole_size_ = end_;
  } else if (end_ > 0) {
    whole_ = false;  // the buffer holds a later part now
  }
  return end_ > 0;
}

bool DataStream::ReadLine(std::string* out) {
  out->clear();
  last_read_ = this;
  if (eof_ || file_ == nullptr) {
    eof_ = true;
    return false;
  }
  bool took_any = false;
  for (;;) {
    if (begin_ == end_ && !Refill()) {
      // The data ended before a line feed: a last line without a line end,
      // or nothing at all.
      eof_ = true;
      if (took_any) ++line_number_;
      return took_any;
    }
    const char* start = buffer_.data() + begin_;
    size_t avail = end_ - begin_;
    const void* nl = memchr(start, '\n', avail);
    if (nl == nullptr) {
      out->append(start, avail);
      begin_ = end_;
      took_any = true;
      continue;
    }
    size_t len = static_cast<const char*>(nl) - start;
    out->append(start, len);
    begin_ += len + 1;
    // The carriage return may have come with the previous buffer, so look at
    // the line itself rather than at the buffer.
    if (!out->empty() && out->back() == '\r') out->pop_back();
    ++line_number_;
    return true;
  }
}

void DataStream::Rewind() {
  eof_ = false;
  line_number_ = 0;
  begin_ = end_ = 0;
  if (held_ && whole_) {
    end_ = whole_size_;
    return;
  }
  at_start_ = true;
  if (file_ != nullptr) {
    std::clearerr(file_);
    std::fseek(file_, 0, SEEK_SET);
  }
}

const char* DataStream::NextLineEnd(const char* from, const char* end) {
  const void* feed = std::memchr(from, '\n', static_cast<size_t>(end - from));
  return feed != nullptr ? static_cast<const char*>(feed) : end;
}

std::uint64_t LineEndMaskPortable(const char* data, size_t size) {
  std::uint64_t mask = 0;
  for (size_t i = 0; i < size; ++i) {
    mask |= static_cast<std::uint64_t>(data[i] == '\n') << i;
  }
  return mask;
}

int LineNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() &&
         (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' ||
          text[i] == '\r' || text[i] == '\v' || text[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}
