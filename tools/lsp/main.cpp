// ostrel-lsp: the language server for story files, over standard input and
// output. Editors start it and speak the Language Server Protocol to it.
//
//   ostrel-lsp [--stdio]
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "lsp/framing.h"
#include "lsp/server.h"
#include "common/tool_options.h"

namespace {

const ToolOption kOptions[] = {
    {"--stdio", "talk over standard input and output (the default and only way)"},
    {nullptr, nullptr}};
const ToolUsage kUsage = {
    "ostrel-lsp", "[--stdio]",
    "A language server for story files: an editor starts it and talks to it\n"
    "over standard input and output, in the Language Server Protocol.\n",
    kOptions};

void Send(const std::string& body) {
  std::string framed = Frame(body);
  std::fwrite(framed.data(), 1, framed.size(), stdout);
}

}  // namespace

int main(int argc, char** argv) {
  EndOnUncaughtException("ostrel-lsp", 1);
  if (int status = AnswerHelpOrVersion(kUsage, argc, argv); status >= 0) return status;
  for (int i = 1; i < argc; ++i) {
    // Clients of the stdio transport say so; it is the only one.
    if (std::strcmp(argv[i], "--stdio") != 0) return UsageError(kUsage);
  }
  LanguageServer server;
  FrameReader reader;
  char buffer[65536];
  for (;;) {
    ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    reader.Feed(buffer, static_cast<size_t>(got));
    std::string body, err;
    while (reader.Next(&body, &err)) {
      if (!err.empty()) {
        Send(LanguageServer::FrameError(err).dump());
        err.clear();
        continue;
      }
      for (const std::string& reply : server.HandleText(body)) Send(reply);
      if (server.exited()) {
        std::fflush(stdout);
        return server.exit_status();
      }
    }
    std::fflush(stdout);
  }
  // The input ended without "exit".
  return 1;
}
