// LanguageServer's navigation: a name's definition and references, renaming
// a section or an animation set, and the outline of a file.
#include <algorithm>

#include "check/check.h"
#include "lsp/request.h"
#include "lsp/server.h"
#include "lsp/text.h"

using namespace lsp;

namespace {

// LSP's symbol kinds.
constexpr int kSymbolModule = 2, kSymbolClass = 5, kSymbolFunction = 12,
              kSymbolString = 15, kSymbolKey = 20, kSymbolEvent = 24;

}  // namespace

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

/* ==== Outline ============================================================ */

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
