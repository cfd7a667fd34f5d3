// LanguageServer's documents: the notifications that open, change, save and
// close them, the stories they belong to, and the diagnostics published for
// those stories.
#include <algorithm>

#include "check/check.h"
#include "lsp/request.h"
#include "lsp/server.h"
#include "lsp/text.h"

using namespace lsp;

namespace {

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

}  // namespace

/* ==== Notifications ====================================================== */

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
