// What the handlers of the language server share: the protocol's error
// codes, the error a request ends with, and reading a request's members.
// The handlers are LanguageServer's members, one file per concern (see
// lsp/server.h).
#ifndef TOOLS_LSP_REQUEST_H_
#define TOOLS_LSP_REQUEST_H_

#include <nlohmann/json.hpp>
#include <string>

namespace lsp {

using json = nlohmann::json;

// JSON-RPC and protocol error codes.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;
constexpr int kServerNotInitialized = -32002;
constexpr int kRequestFailed = -32803;

// Thrown by a handler: the request is answered with this error.
struct RequestError {
  int code;
  std::string message;
};

json ErrorResponse(const json& id, int code, const std::string& message);

// A string member of `object`, or `fallback`.
std::string Field(const json& object, const char* name, const std::string& fallback);

// A member of `object`, or null.
const json& Object(const json& object, const char* name);

// A whole-number member of `object`, at most 2^40; a RequestError if it is
// none.
long long Integer(const json& object, const char* name);

// The request's textDocument.uri; a RequestError if it is missing.
std::string UriParam(const json& params);

// Which of a story's four files `path` names (StoryFile's order), or -1.
int FileIndex(const std::string& path);

// What a definition of each LspIndex kind is called.
extern const char* const kKindWords[4];

}  // namespace lsp

#endif  // TOOLS_LSP_REQUEST_H_
