// LanguageServer: requests and notifications of the Language Server Protocol
// on the stories of the documents an editor opens. This file reads messages
// and hands each to its handler; the handlers stand in documents.cpp,
// navigation.cpp, completion.cpp and hover_actions.cpp.
#include "lsp/server.h"

#include "check/check.h"
#include "lsp/request.h"
#include "lsp/text.h"

using namespace lsp;

/* ==== Reading requests =================================================== */

namespace lsp {

json ErrorResponse(const json& id, int code, const std::string& message) {
  return json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

std::string Field(const json& object, const char* name, const std::string& fallback) {
  if (!object.is_object()) return fallback;
  auto it = object.find(name);
  return it != object.end() && it->is_string() ? it->get<std::string>() : fallback;
}

const json& Object(const json& object, const char* name) {
  static const json kNull;
  if (!object.is_object()) return kNull;
  auto it = object.find(name);
  return it == object.end() ? kNull : *it;
}

long long Integer(const json& object, const char* name) {
  const json& value = Object(object, name);
  if (!value.is_number_integer() && !value.is_number_unsigned()) {
    throw RequestError{kInvalidParams, std::string("'") + name + "' must be a whole number"};
  }
  if (value.is_number_unsigned()) {
    unsigned long long u = value.get<unsigned long long>();
    return u > (1ull << 40) ? (1ll << 40) : static_cast<long long>(u);
  }
  return value.get<long long>();
}

std::string UriParam(const json& params) {
  std::string uri = Field(Object(params, "textDocument"), "uri", "");
  if (uri.empty()) throw RequestError{kInvalidParams, "textDocument.uri is missing"};
  return uri;
}

int FileIndex(const std::string& path) {
  std::string base = BaseName(path);
  for (int f = 0; f < 4; ++f) {
    if (base == StoryFileName(static_cast<StoryFile>(f))) return f;
  }
  return -1;
}

const char* const kKindWords[4] = {"location", "dialog", "battle", "animation set"};

}  // namespace lsp

/* ==== Messages ========================================================== */

json LanguageServer::FrameError(const std::string& why) {
  return ErrorResponse(nullptr, kParseError, why);
}

std::vector<std::string> LanguageServer::HandleText(const std::string& body) {
  std::vector<json> replies;
  json message = json::parse(body, nullptr, false);
  if (message.is_discarded()) {
    replies.push_back(ErrorResponse(nullptr, kParseError, "the message is no JSON"));
  } else {
    replies = Handle(message);
  }
  std::vector<std::string> texts;
  for (const json& reply : replies) {
    texts.push_back(reply.dump(-1, ' ', false, json::error_handler_t::replace));
  }
  return texts;
}

std::vector<json> LanguageServer::Handle(const json& message) {
  std::vector<json> out;
  if (!message.is_object()) {
    out.push_back(ErrorResponse(nullptr, kInvalidRequest, "a message is a JSON object"));
    return out;
  }
  auto method_it = message.find("method");
  auto id_it = message.find("id");
  bool has_id = id_it != message.end() &&
                (id_it->is_number_integer() || id_it->is_number_unsigned() || id_it->is_string());
  if (method_it == message.end() || !method_it->is_string()) {
    // A response to a request of ours (none are made), or nothing usable.
    if (id_it == message.end() || message.contains("result") || message.contains("error")) {
      return out;
    }
    out.push_back(ErrorResponse(has_id ? *id_it : json(nullptr), kInvalidRequest,
                                "a request needs a method"));
    return out;
  }
  const std::string& method = method_it->get_ref<const std::string&>();
  json params = message.value("params", json(nullptr));
  if (id_it == message.end()) {
    try {
      Notice(method, params, &out);
    } catch (const RequestError&) {
      // A notification has no answer, not even an error.
    } catch (const std::exception&) {
    }
    return out;
  }
  json id = has_id ? *id_it : json(nullptr);
  if (!has_id) {
    out.push_back(ErrorResponse(nullptr, kInvalidRequest, "a request's id is a number or a string"));
    return out;
  }
  try {
    json result = Dispatch(method, params);
    out.insert(out.begin(), json{{"jsonrpc", "2.0"}, {"id", id}, {"result", result}});
  } catch (const RequestError& e) {
    out.insert(out.begin(), ErrorResponse(id, e.code, e.message));
  } catch (const json::exception& e) {
    out.insert(out.begin(), ErrorResponse(id, kInvalidParams, e.what()));
  } catch (const std::exception& e) {
    out.insert(out.begin(), ErrorResponse(id, kInternalError, e.what()));
  }
  return out;
}

json LanguageServer::Dispatch(const std::string& method, const json& params) {
  if (method == "initialize") {
    if (initialized_) throw RequestError{kInvalidRequest, "initialize came twice"};
    initialized_ = true;
    return Initialize();
  }
  if (!initialized_) throw RequestError{kServerNotInitialized, "initialize must come first"};
  if (shut_down_) throw RequestError{kInvalidRequest, "the server is shutting down"};
  if (method == "shutdown") {
    shut_down_ = true;
    return nullptr;
  }
  if (method == "textDocument/definition") return Definition(params);
  if (method == "textDocument/references") return References(params);
  if (method == "textDocument/prepareRename") return PrepareRename(params);
  if (method == "textDocument/rename") return Rename(params);
  if (method == "textDocument/completion") return Completion(params);
  if (method == "textDocument/documentSymbol") return DocumentSymbols(params);
  if (method == "textDocument/hover") return Hover(params);
  if (method == "textDocument/codeAction") return CodeActions(params);
  throw RequestError{kMethodNotFound, "unknown method " + method};
}

json LanguageServer::Initialize() {
  return json{
      {"capabilities",
       {{"positionEncoding", "utf-16"},
        {"textDocumentSync", {{"openClose", true}, {"change", 1}, {"save", {{"includeText", false}}}}},
        {"definitionProvider", true},
        {"referencesProvider", true},
        {"renameProvider", {{"prepareProvider", true}}},
        {"completionProvider", {{"triggerCharacters", {"/", "*", "|"}}}},
        {"documentSymbolProvider", true},
        {"hoverProvider", true},
        {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}}}},
      {"serverInfo", {{"name", "ostrel-lsp"}}}};
}
