// LanguageServer: requests and notifications of the Language Server Protocol
// on the stories of the documents an editor opens.
#include "lsp/server.h"

#include <algorithm>
#include <cstdio>

#include "check/check.h"
#include "common/duel_odds.h"
#include "keywords.h"
#include "lsp/text.h"

namespace {

using json = nlohmann::json;

// JSON-RPC and protocol error codes.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kMethodNotFound = -32601;
constexpr int kInvalidParams = -32602;
constexpr int kInternalError = -32603;
constexpr int kServerNotInitialized = -32002;
constexpr int kRequestFailed = -32803;

// LSP's symbol and completion kinds, severities and the like.
constexpr int kSymbolModule = 2, kSymbolClass = 5, kSymbolFunction = 12,
              kSymbolString = 15, kSymbolKey = 20, kSymbolEvent = 24;
constexpr int kCompletionValue = 12, kCompletionKeyword = 14, kCompletionReference = 18,
              kCompletionEnumMember = 20;

struct RequestError {
  int code;
  std::string message;
};

json ErrorResponse(const json& id, int code, const std::string& message) {
  return json{{"jsonrpc", "2.0"}, {"id", id}, {"error", {{"code", code}, {"message", message}}}};
}

// A string member of `object`, or `fallback`.
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

// Applies one change of `textDocument/didChange` to `*text`.
void ApplyChange(const json& change, std::string* text) {
  std::string replacement = Field(change, "text", "");
  const json& range = Object(change, "range");
  if (!range.is_object()) {
    *text = replacement;
    return;
  }
  auto offset = [&](const json& position) {
    long long line = Integer(position, "line");
    long long character = Integer(position, "character");
    size_t start = 0;
    for (long long l = 0; l < line; ++l) {
      size_t nl = text->find('\n', start);
      if (nl == std::string::npos) return text->size();
      start = nl + 1;
    }
    size_t end = text->find('\n', start);
    if (end == std::string::npos) end = text->size();
    return start + ByteOffset(text->substr(start, end - start), character);
  };
  size_t begin = offset(Object(range, "start"));
  size_t end = offset(Object(range, "end"));
  if (end < begin) std::swap(begin, end);
  text->replace(begin, end - begin, replacement);
}

const char* const kKindWords[4] = {"location", "dialog", "battle", "animation set"};

// The battle keywords, with a move line for each move up to `moves`.
std::vector<std::string> BattleKeywords(long long moves) {
  std::vector<std::string> words = {
      kw::kPlayerHealth,         kw::kPCHealth,          kw::kNumberOfMoves,
      kw::kAnimationSet,         kw::kPlayerHPLabel,     kw::kPCHPLabel,
      kw::kPlayerAttacksMessage, kw::kPlayerDefendsMessage, kw::kPlayerHitsMessage,
      kw::kPCBlocksMessage,      kw::kPCHitsMessage,     kw::kPlayerBlocksMessage,
      kw::kPlayerWinsResult,     kw::kPCWinsResult};
  for (long long m = 1; m <= moves && m <= 64; ++m) {
    words.push_back(kw::kPlayerAttackPrefix + std::to_string(m) + ":");
    words.push_back(kw::kPlayerDefendPrefix + std::to_string(m) + ":");
  }
  return words;
}

bool IsItemCommand(const std::string& text) {
  return text == kw::kAddToInventory || text == kw::kTakeFromInventory;
}

bool IsItemCondition(const std::string& text) {
  return text == kw::kHasInInventory || text == kw::kHasNotInInventory;
}

}  // namespace

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

void LanguageServer::Notice(const std::string& method, const json& params,
                            std::vector<json>* out) {
  if (method == "exit") {
    exited_ = true;
    return;
  }
  if (!initialized_ || shut_down_) return;
  if (method == "textDocument/didOpen") {
    const json& document = Object(params, "textDocument");
    std::string uri = Field(document, "uri", "");
    std::string path;
    if (!UriToPath(uri, &path)) return;
    documents_[uri] = Document{path, Field(document, "text", "")};
    open_[path] = uri;
    Changed(path, out);
  } else if (method == "textDocument/didChange") {
    auto it = documents_.find(UriParam(params));
    const json& changes = Object(params, "contentChanges");
    if (it == documents_.end() || !changes.is_array()) return;
    // All the changes or none: a malformed one leaves the text as it was.
    std::string text = it->second.text;
    for (const json& change : changes) ApplyChange(change, &text);
    it->second.text = std::move(text);
    Changed(it->second.path, out);
  } else if (method == "textDocument/didClose") {
    auto it = documents_.find(UriParam(params));
    if (it == documents_.end()) return;
    std::string path = it->second.path;
    open_.erase(path);
    documents_.erase(it);
    Changed(path, out);
  } else if (method == "textDocument/didSave") {
    auto it = documents_.find(UriParam(params));
    if (it != documents_.end()) Changed(it->second.path, out);
  } else if (method == "workspace/didChangeWatchedFiles") {
    for (auto& entry : stories_) entry.second.fresh = false;
    for (auto& entry : stories_) Publish(entry.first, out);
  }
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

/* ==== Stories and diagnostics =========================================== */

LanguageServer::Story& LanguageServer::StoryOf(const std::string& dir) {
  Story& story = stories_[dir];
  if (story.fresh) return story;
  StorySources sources;
  std::string err;
  // A story without a script is checked all the same: all of it is missing.
  ReadStorySources(dir, &sources, &err);
  for (int f = 0; f < kStoryFileCount; ++f) {
    StorySources::File& file = sources.files[f];
    auto open = open_.find(dir + "/" + StoryFileName(static_cast<StoryFile>(f)));
    if (open != open_.end()) {
      file.present = true;
      file.bytes = documents_[open->second].text;
    }
    story.text.present[f] = file.present;
    story.text.lines[f] = SplitLines(file.bytes);
  }
  StoryCheck check = CheckStory(sources);
  story.index.Build(check, story.text);
  story.findings = std::move(check.findings);
  story.fresh = true;
  return story;
}

void LanguageServer::Changed(const std::string& path, std::vector<json>* out) {
  std::string dir = DirectoryOf(path);
  stories_[dir].fresh = false;
  Publish(dir, out);
}

void LanguageServer::Publish(const std::string& dir, std::vector<json>* out) {
  Story& story = StoryOf(dir);
  json per_file[4] = {json::array(), json::array(), json::array(), json::array()};
  for (const Finding& f : story.findings) {
    per_file[static_cast<int>(f.where.file)].push_back(Diagnostic(story, f));
  }
  for (int f = 0; f < 4; ++f) {
    // A file that is not there has nothing to show, unless it had something
    // before (an editor's unsaved file, now closed).
    std::string uri = UriOf(dir, f);
    bool shown = published_.count(uri) != 0;
    if (!story.text.present[f] && per_file[f].empty() && !shown) continue;
    if (per_file[f].empty()) {
      published_.erase(uri);
    } else {
      published_.insert(uri);
    }
    out->push_back(json{{"jsonrpc", "2.0"},
                        {"method", "textDocument/publishDiagnostics"},
                        {"params", {{"uri", uri}, {"diagnostics", per_file[f]}}}});
  }
}

std::string LanguageServer::UriOf(const std::string& dir, int file) const {
  std::string path = dir + "/" + StoryFileName(static_cast<StoryFile>(file));
  auto open = open_.find(path);
  return open != open_.end() ? open->second : PathToUri(path);
}

json LanguageServer::Range(const Story& story, const TextSpan& span) const {
  const std::vector<std::string>& lines = story.text.lines[span.file];
  if (span.line < 0 || span.line >= static_cast<int>(lines.size())) {
    int line = std::max(0, std::min(span.line, static_cast<int>(lines.size())));
    json position = {{"line", line}, {"character", 0}};
    return json{{"start", position}, {"end", position}};
  }
  const std::string& text = lines[span.line];
  return json{{"start", {{"line", span.line}, {"character", Utf16Column(text, span.begin)}}},
              {"end", {{"line", span.line}, {"character", Utf16Column(text, span.end)}}}};
}

json LanguageServer::Diagnostic(const Story& story, const Finding& finding) const {
  return json{{"range", Range(story, SpanOf(finding.where))},
              {"severity", finding.severity == Severity::kError ? 1 : 2},
              {"code", finding.code},
              {"source", "ostrel"},
              {"message", finding.message}};
}

json LanguageServer::LocationOf(const std::string& dir, const Story& story,
                                const TextSpan& span) const {
  return json{{"uri", UriOf(dir, span.file)}, {"range", Range(story, span)}};
}

bool LanguageServer::Locate(const json& params, Place* place) {
  std::string uri = UriParam(params);
  const json& position = Object(params, "position");
  long long line = Integer(position, "line");
  long long character = Integer(position, "character");
  std::string path;
  if (!UriToPath(uri, &path)) return false;
  int file = FileIndex(path);
  if (file < 0) return false;
  std::string dir = DirectoryOf(path);
  Story& story = StoryOf(dir);
  const std::vector<std::string>& lines = story.text.lines[file];
  if (line < 0 || line >= static_cast<long long>(lines.size())) return false;
  place->dir = dir;
  place->story = &story;
  place->file = file;
  place->line = static_cast<int>(line);
  place->byte = ByteOffset(lines[place->line], character);
  return true;
}

/* ==== Names: definition, references, rename ============================= */

const LspIndex::Definition* LanguageServer::NamedAt(const json& params, Place* place,
                                                    std::string* header) {
  if (!Locate(params, place)) return nullptr;
  *header = place->story->index.HeaderAt(place->file, place->line, place->byte);
  return place->story->index.Find(*header);
}

json LanguageServer::Definition(const json& params) {
  Place place;
  std::string header;
  const LspIndex::Definition* d = NamedAt(params, &place, &header);
  if (d == nullptr) return nullptr;
  TextSpan line = d->name;
  line.begin = 0;
  return LocationOf(place.dir, *place.story, line);
}

json LanguageServer::References(const json& params) {
  Place place;
  if (!Locate(params, &place)) return nullptr;
  const LspIndex& index = place.story->index;
  std::string header = index.HeaderAt(place.file, place.line, place.byte);
  if (header.empty()) return nullptr;
  bool declaration = Object(Object(params, "context"), "includeDeclaration").is_boolean() &&
                     Object(Object(params, "context"), "includeDeclaration").get<bool>();
  json locations = json::array();
  if (declaration) {
    for (const LspIndex::Definition& d : index.definitions()) {
      if (d.header == header) locations.push_back(LocationOf(place.dir, *place.story, d.name));
    }
  }
  for (const LspIndex::Use& u : index.uses()) {
    if (u.header == header) locations.push_back(LocationOf(place.dir, *place.story, u.name));
  }
  return locations;
}

json LanguageServer::PrepareRename(const json& params) {
  Place place;
  std::string header;
  const LspIndex::Definition* d = NamedAt(params, &place, &header);
  if (d == nullptr) return nullptr;
  const LspIndex& index = place.story->index;
  TextSpan span = d->name;
  span.line = -1;
  for (const LspIndex::Use& u : index.uses()) {
    if (u.header == header && u.name.file == place.file && u.name.line == place.line) span = u.name;
  }
  if (span.line < 0) {
    for (const LspIndex::Definition& other : index.definitions()) {
      if (other.header == header && other.name.file == place.file && other.name.line == place.line) {
        span = other.name;
      }
    }
  }
  return json{{"range", Range(*place.story, span)},
              {"placeholder", header.substr(std::string(LspIndex::kPrefixes[d->kind]).size())}};
}

json LanguageServer::Rename(const json& params) {
  Place place;
  std::string header;
  const LspIndex::Definition* d = NamedAt(params, &place, &header);
  if (d == nullptr) throw RequestError{kRequestFailed, "no section or animation set is named here"};
  const LspIndex& index = place.story->index;
  std::string name = Field(params, "newName", "");
  if (name.empty() || name.find_first_of("\r\n") != std::string::npos) {
    throw RequestError{kInvalidParams, "a name is one line, not empty"};
  }
  std::string renamed = LspIndex::HeaderOf(d->kind, name);
  if (renamed == header) return json{{"changes", json::object()}};
  if (index.Find(renamed) != nullptr) {
    throw RequestError{kRequestFailed, renamed + " already exists"};
  }
  json changes = json::object();
  auto edit = [&](const TextSpan& span) {
    changes[UriOf(place.dir, span.file)].push_back(
        json{{"range", Range(*place.story, span)}, {"newText", name}});
  };
  for (const LspIndex::Definition& other : index.definitions()) {
    if (other.header == header) edit(other.name);
  }
  for (const LspIndex::Use& u : index.uses()) {
    if (u.header == header) edit(u.name);
  }
  return json{{"changes", changes}};
}

/* ==== Completion ========================================================= */

json LanguageServer::Completion(const json& params) {
  Place place;
  json items = json::array();
  if (!Locate(params, &place)) return items;
  const Story& story = *place.story;
  const LspIndex& index = story.index;
  const std::vector<std::string>& lines = story.text.lines[place.file];
  auto before = [&](int back) -> std::string {
    int k = place.line - back;
    return k >= 0 ? lines[k] : std::string("\x01");
  };
  const std::string& current = lines[place.line];
  // Each candidate replaces the whole line, so the line's text so far is
  // what the editor filters with.
  json whole = Range(story, TextSpan{place.file, place.line, 0, current.size()});
  std::vector<std::string> seen;
  auto add = [&](const std::string& text, int kind, const std::string& detail) {
    if (std::find(seen.begin(), seen.end(), text) != seen.end()) return;
    seen.push_back(text);
    json item = {{"label", text}, {"kind", kind}, {"textEdit", {{"range", whole}, {"newText", text}}}};
    if (!detail.empty()) item["detail"] = detail;
    items.push_back(item);
  };
  auto names = [&](int kind) {
    for (const LspIndex::Definition& d : index.definitions()) {
      if (d.kind == kind) add(d.header.substr(std::string(LspIndex::kPrefixes[kind]).size()),
                              kCompletionReference, kKindWords[kind]);
    }
  };
  auto item_names = [&]() {
    for (const LspIndex::Item& item : index.items()) {
      if (!item.name.empty()) add(item.name, kCompletionValue, "item");
    }
  };
  auto words = [&](const std::vector<std::string>& list) {
    for (const std::string& word : list) add(word, kCompletionKeyword, "");
  };

  if (place.file == kScriptFile) {
    const std::string one = before(1), two = before(2), three = before(3);
    static const char* const kNamed[][2] = {
        {kw::kChangeLocation, "0"}, {kw::kStartLocation, "0"}, {kw::kChangeDialog, "1"},
        {kw::kStartDialog, "1"},    {kw::kChangeBattle, "2"},  {kw::kStartBattle, "2"}};
    for (const auto& named : kNamed) {
      if (one == named[0]) {
        names(named[1][0] - '0');
        return items;
      }
    }
    if (two == kw::kIf && IsProgressCondition(one)) {
      std::string condition = one;
      names(StartsWith(condition, "Location") ? 0 : StartsWith(condition, "Dialog") ? 1 : 2);
      return items;
    }
    if (one == kw::kIf) {
      std::vector<std::string> conditions(std::begin(kw::kProgressConditions),
                                          std::end(kw::kProgressConditions));
      conditions.push_back(kw::kHasInInventory);
      conditions.push_back(kw::kHasNotInInventory);
      words(conditions);
      return items;
    }
    bool count_before = !one.empty() && one[0] >= '0' && one[0] <= '9';
    if (IsItemCommand(one) || (IsItemCondition(one) && two == kw::kIf) ||
        (count_before && (IsItemCommand(two) || (IsItemCondition(two) && three == kw::kIf)))) {
      item_names();
      return items;
    }
    if (one == kw::kAnimationSet) {
      names(LspIndex::kSet);
      return items;
    }
    const LspIndex::Definition* section = index.Enclosing(kScriptFile, place.line);
    if (section != nullptr && section->kind == 2 && (current.empty() || current[0] == '*')) {
      words(BattleKeywords(section->moves));
      return items;
    }
    if (current.empty() || current[0] == '/') {
      std::vector<std::string> commands(std::begin(kw::kCommands), std::end(kw::kCommands));
      commands.push_back(kw::kEndIf);
      words(commands);
    }
    return items;
  }
  if (place.file == kAnimationsFile) {
    const LspIndex::Definition* set = index.Enclosing(kAnimationsFile, place.line);
    if (set != nullptr && (current.empty() || current[0] == '|')) {
      // The moves of the battles that show this set.
      long long moves = 0;
      for (const LspIndex::Use& u : index.uses()) {
        if (u.header != set->header || u.section < 0) continue;
        moves = std::max(moves, index.definitions()[u.section].moves);
      }
      std::vector<std::string> names = {std::string(kw::kAnimationPrefix) + "stand"};
      for (long long p = 1; p <= moves && p <= 16; ++p) {
        for (long long c = 1; c <= moves && c <= 16; ++c) {
          names.push_back(std::string(kw::kAnimationPrefix) + "player_" + std::to_string(p) +
                          "_PC_" + std::to_string(c));
          names.push_back(std::string(kw::kAnimationPrefix) + "PC_" + std::to_string(c) +
                          "_player_" + std::to_string(p));
        }
      }
      for (const std::string& name : names) add(name, kCompletionEnumMember, "animation");
    } else if (current.empty() || current[0] == '/') {
      words({kw::kEnd, kw::kClear, kw::kWait, kw::kPause});
    }
  }
  return items;
}

/* ==== Outline and hover ================================================== */

json LanguageServer::DocumentSymbols(const json& params) {
  std::string path;
  json symbols = json::array();
  if (!UriToPath(UriParam(params), &path) || FileIndex(path) < 0) return symbols;
  int file = FileIndex(path);
  Story& story = StoryOf(DirectoryOf(path));
  const std::vector<std::string>& lines = story.text.lines[file];
  static const int kKinds[4] = {kSymbolModule, kSymbolString, kSymbolEvent, kSymbolClass};
  auto whole_line = [&](int line) {
    return TextSpan{file, line, 0, line < static_cast<int>(lines.size()) ? lines[line].size() : 0};
  };
  for (const LspIndex::Definition& d : story.index.definitions()) {
    if (d.name.file != file) continue;
    json range = Range(story, whole_line(d.name.line));
    int last = std::max(d.name.line, d.end_line - 1);
    range["end"] = Range(story, whole_line(last))["end"];
    json children = json::array();
    for (const auto& child : d.children) {
      json child_range = Range(story, whole_line(child.second));
      children.push_back(json{{"name", child.first},
                              {"kind", d.kind == LspIndex::kSet ? kSymbolFunction : kSymbolKey},
                              {"range", child_range},
                              {"selectionRange", child_range}});
    }
    std::string name = d.header.substr(std::string(LspIndex::kPrefixes[d.kind]).size());
    symbols.push_back(json{{"name", name.empty() ? d.header : name},
                           {"detail", kKindWords[d.kind]},
                           {"kind", kKinds[d.kind]},
                           {"range", range},
                           {"selectionRange", Range(story, d.name)},
                           {"children", children}});
  }
  return symbols;
}

json LanguageServer::Hover(const json& params) {
  Place place;
  std::string header;
  const LspIndex::Definition* d = NamedAt(params, &place, &header);
  if (place.story == nullptr) return nullptr;
  const LspIndex& index = place.story->index;
  auto where = [&](const TextSpan& span, int section) {
    std::string text = std::string(StoryFileName(static_cast<StoryFile>(span.file))) + ":" +
                       std::to_string(span.line + 1);
    if (section >= 0) text += " (" + index.definitions()[section].header + ")";
    return text;
  };
  std::string text;
  if (d != nullptr) {
    text = "`" + d->header + "`: " + kKindWords[d->kind] + " at " + where(d->name, -1) + "\n";
    if (d->kind == 2) {
      auto number = [](long long value) { return std::to_string(value); };
      text += "\nplayer health " + number(d->player_health) + ", PC health " + number(d->PC_health) +
              ", " + number(d->moves) + " moves\n";
      DuelOdds odds = ComputeDuelOdds(d->player_health, d->PC_health, d->moves);
      text += "\nodds for a player who chooses at random: " + DescribeOdds(odds) + "\n";
    }
    // The places that lead to it, then those that only name it.
    for (bool leads : {true, false}) {
      std::string places;
      int count = 0;
      for (const LspIndex::Use& u : index.uses()) {
        if (u.header != header || u.leads != leads) continue;
        if (++count <= 20) places += "- " + where(u.name, u.section) + "\n";
      }
      if (count > 20) places += "- and " + std::to_string(count - 20) + " more\n";
      if (leads) text += count == 0 ? std::string("\nnothing leads to it\n") : "\nled to from:\n" + places;
      if (!leads && count > 0) text += "\nnamed at:\n" + places;
    }
  } else if (const LspIndex::Item* item = index.ItemAt(place.file, place.line, place.byte)) {
    text = "item `" + item->name + "`\n";
    for (bool given : {true, false}) {
      std::string places;
      for (const LspIndex::Item& other : index.items()) {
        if (other.name == item->name && other.given == given) {
          places += "- " + where(other.where, other.section) + "\n";
        }
      }
      text += std::string(given ? "\ngiven at:\n" : "\ntaken or asked for at:\n") +
              (places.empty() ? "- nowhere\n" : places);
    }
  } else {
    return nullptr;
  }
  return json{{"contents", {{"kind", "markdown"}, {"value", text}}}};
}

/* ==== Quick fixes ======================================================== */

json LanguageServer::CodeActions(const json& params) {
  std::string path;
  json actions = json::array();
  if (!UriToPath(UriParam(params), &path) || FileIndex(path) < 0) return actions;
  int file = FileIndex(path);
  std::string dir = DirectoryOf(path);
  Story& story = StoryOf(dir);
  const std::vector<std::string>& lines = story.text.lines[file];
  const json& range = Object(params, "range");
  long long first = Integer(Object(range, "start"), "line");
  long long last = Integer(Object(range, "end"), "line");
  std::string uri = UriOf(dir, file);
  auto action = [&](const std::string& title, const TextSpan& span, const std::string& text,
                    const Finding& f) {
    json edit = {{"range", Range(story, span)}, {"newText", text}};
    actions.push_back(json{{"title", title},
                           {"kind", "quickfix"},
                           {"diagnostics", {Diagnostic(story, f)}},
                           {"isPreferred", true},
                           {"edit", {{"changes", {{uri, {edit}}}}}}});
  };
  for (const Finding& f : story.findings) {
    TextSpan where = SpanOf(f.where);
    if (where.file != file || where.line < first || where.line > last) continue;
    if (where.line >= static_cast<int>(lines.size())) continue;
    if (f.fix) {
      TextSpan span = SpanOf(f.fix->range);
      std::string title = !f.fix->text.empty()       ? "Replace with '" + f.fix->text + "'"
                          : f.code == "trailing-blank" ? std::string("Remove the trailing blank")
                                                       : std::string("Remove it");
      if (span.file == file) action(title, span, f.fix->text, f);
    }
    if (f.code == "missing-end") {
      // Before the line that the section or animation runs into.
      int at = where.line + 1;
      const LspIndex::Definition* section = story.index.Enclosing(file, where.line);
      if (file == kScriptFile && section != nullptr) at = section->end_line;
      while (at < static_cast<int>(lines.size()) && (lines[at].empty() || lines[at][0] != '|')) ++at;
      if (at < static_cast<int>(lines.size())) {
        action("Add the missing '/end'", TextSpan{file, at, 0, 0}, "/end\n", f);
      } else {
        const std::string& end_line = lines.back();
        TextSpan span_end{file, static_cast<int>(lines.size()) - 1, end_line.size(), end_line.size()};
        action("Add the missing '/end'", span_end, "\n/end", f);
      }
    }
  }
  return actions;
}
