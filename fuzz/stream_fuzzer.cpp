// Fuzzes the data-file stream: whatever the bytes, every read gives what a
// plain split of the bytes gives, the end of file comes where it should, and
// a rewind reads the same again.
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "data_stream.h"

namespace {

// The lines a stream must give for `data`, each with whether its read
// reports the end of file.
std::vector<std::pair<std::string, bool>> Expected(const std::string& data) {
  std::vector<std::pair<std::string, bool>> lines;
  size_t start = 0;
  for (;;) {
    size_t nl = data.find('\n', start);
    if (nl == std::string::npos) {
      lines.push_back({data.substr(start), true});
      return lines;
    }
    std::string text = data.substr(start, nl - start);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    lines.push_back({text, false});
    start = nl + 1;
  }
}

long long ReferenceNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > 1LL << 40) value = 1LL << 40;
  }
  value = negative ? -value : value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return value;
}

std::string g_path;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (g_path.empty()) {
    char pattern[] = "/tmp/ostrel_stream_fuzz_XXXXXX";
    int fd = mkstemp(pattern);
    close(fd);
    g_path = pattern;
  }
  std::string data(reinterpret_cast<const char*>(bytes), size);
  FILE* f = std::fopen(g_path.c_str(), "wb");
  std::fwrite(data.data(), 1, data.size(), f);
  std::fclose(f);

  std::vector<std::pair<std::string, bool>> expected = Expected(data);
  DataStream stream(g_path.c_str());
  for (int pass = 0; pass < 2; ++pass) {
    std::string line;
    for (const auto& want : expected) {
      stream.ReadLine(&line);
      if (line != want.first || stream.eof() != want.second) std::abort();
      if (LineNumber(line) != ReferenceNumber(line)) std::abort();
    }
    // At the end, every read gives an empty line and the end of file.
    if (stream.ReadLine(&line) || !line.empty() || !stream.eof()) std::abort();
    stream.Rewind();
  }

  // The scan of the lookups, through a buffer of 1 to 80 bytes, stopping at
  // every line that begins with the first byte: the same lines, line numbers
  // and end of file as the plain split.
  if (size > 0) {
    char mark = data[0];
    DataStream scan(g_path.c_str(), 1 + static_cast<unsigned char>(data[size - 1]) % 80);
    std::string line;
    size_t next = 0;
    for (;;) {
      bool stopped = scan.ReadUntil(&line, [mark](const char* text, size_t length) {
        return length > 0 && text[0] == mark;
      });
      size_t i = next;
      while (i < expected.size() && (expected[i].first.empty() || expected[i].first[0] != mark)) ++i;
      if (i == expected.size()) {
        if (stopped || line != expected.back().first || !scan.eof()) std::abort();
        break;
      }
      if (!stopped || line != expected[i].first || scan.eof() != expected[i].second ||
          scan.line_number() != static_cast<std::int64_t>(i) + 1) {
        std::abort();
      }
      if (scan.eof()) break;
      next = i + 1;
    }
  }
  return 0;
}
