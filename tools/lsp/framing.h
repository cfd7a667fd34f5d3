// The base protocol of the language server: messages framed by a
// `Content-Length` header, read from any pieces of a byte stream.
#ifndef TOOLS_LSP_FRAMING_H_
#define TOOLS_LSP_FRAMING_H_

#include <cstddef>
#include <string>

class FrameReader {
 public:
  // The largest body and header block taken; a larger one is an error.
  static constexpr size_t kMaxBody = 256u << 20;
  static constexpr size_t kMaxHeader = 8192;

  // Appends bytes read from the stream.
  void Feed(const char* data, size_t size);

  // Takes the next whole message. Returns true with `*body` set, or with
  // `*err` set (and `*body` empty) for a header block that cannot be used:
  // the block is dropped and reading goes on after it. Returns false when
  // more bytes are needed.
  bool Next(std::string* body, std::string* err);

  // True when bytes of an unfinished message are buffered.
  bool Pending() const { return begin_ < buffer_.size(); }

 private:
  std::string buffer_;
  size_t begin_ = 0;
  // The length of the body being awaited after its header, or -1.
  long long awaiting_ = -1;
};

// A message framed for the stream.
std::string Frame(const std::string& body);

#endif  // TOOLS_LSP_FRAMING_H_
