// Fuzzes the language server: a script and an animations file opened in an
// editor, then a stream of framed messages, read in small pieces and handled.
// Any input must be answered without a crash, a sanitizer report or a hang.
//
// The bytes are split at the pair FE FF into the script, the animations file
// and the message stream. The story's directory does not exist, so the
// files that are not open read as missing.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "lsp/framing.h"
#include "lsp/server.h"
#include "split_parts.h"

namespace {

using json = nlohmann::json;

const char kDir[] = "file:///nonexistent/ostrel_lsp_fuzz/";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  std::vector<std::string> parts = SplitParts(std::string(reinterpret_cast<const char*>(bytes), size), 2);
  LanguageServer server;
  server.Handle(json{{"jsonrpc", "2.0"}, {"id", 0}, {"method", "initialize"}, {"params", json::object()}});
  const char* const files[] = {"script.ostrel", "animations.ostrel"};
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    // Text that is no UTF-8 is still text to the server.
    json text = parts[i];
    server.Handle(json{{"jsonrpc", "2.0"},
                       {"method", "textDocument/didOpen"},
                       {"params", {{"textDocument", {{"uri", std::string(kDir) + files[i]}, {"text", text}}}}}});
  }
  const std::string& stream = parts.back();
  FrameReader reader;
  size_t piece = 1 + stream.size() % 13;
  for (size_t at = 0; at < stream.size() && !server.exited(); at += piece) {
    reader.Feed(stream.data() + at, std::min(piece, stream.size() - at));
    std::string body, err;
    while (!server.exited() && reader.Next(&body, &err)) {
      if (err.empty()) server.HandleText(body);
      err.clear();
    }
  }
  return 0;
}
