// LanguageServer: the handlers of ostrel-lsp. Messages come in as JSON texts
// and the messages to send go out the same way, so the handlers run without
// a process or a stream. Its members stand in one file per concern:
//   server.cpp         reading messages and handing each to its handler
//   documents.cpp      open documents, their stories and the diagnostics
//   navigation.cpp     definition, references, rename and the outline
//   completion.cpp     completion
//   hover_actions.cpp  hover and quick fixes
#ifndef TOOLS_LSP_SERVER_H_
#define TOOLS_LSP_SERVER_H_

#include <map>
#include <set>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "check/check.h"
#include "lsp/story.h"

class LanguageServer {
 public:
  using json = nlohmann::json;

  // Handles one message; returns the responses and notifications to send.
  std::vector<std::string> HandleText(const std::string& body);
  std::vector<json> Handle(const json& message);

  // The error response for a message whose frame could not be read.
  static json FrameError(const std::string& why);

  // True once "exit" came; the process then ends with exit_status().
  bool exited() const { return exited_; }
  int exit_status() const { return shut_down_ ? 0 : 1; }

 private:
  struct Document {
    std::string path;
    std::string text;
  };
  struct Story {
    StoryText text;
    LspIndex index;
    std::vector<Finding> findings;
    bool fresh = false;
  };
  // Where a request points: its story, file and byte position.
  struct Place {
    std::string dir;
    Story* story = nullptr;
    int file = 0;
    int line = 0;
    size_t byte = 0;
  };

  json Dispatch(const std::string& method, const json& params);
  void Notice(const std::string& method, const json& params, std::vector<json>* out);

  json Initialize();
  json Definition(const json& params);
  json References(const json& params);
  json PrepareRename(const json& params);
  json Rename(const json& params);
  json Completion(const json& params);
  json DocumentSymbols(const json& params);
  json Hover(const json& params);
  json CodeActions(const json& params);

  // The story of a document's directory, read again if it changed.
  Story& StoryOf(const std::string& dir);
  // Marks the story of `path` changed and publishes its diagnostics.
  void Changed(const std::string& path, std::vector<json>* out);
  void Publish(const std::string& dir, std::vector<json>* out);
  bool Locate(const json& params, Place* place);
  // The section or set named at a request's position, with its header.
  const LspIndex::Definition* NamedAt(const json& params, Place* place, std::string* header);
  std::string UriOf(const std::string& dir, int file) const;
  json Range(const Story& story, const TextSpan& span) const;
  json Diagnostic(const Story& story, const Finding& finding) const;
  json LocationOf(const std::string& dir, const Story& story, const TextSpan& span) const;

  std::map<std::string, Document> documents_;  // by URI
  std::map<std::string, std::string> open_;    // path to URI
  std::map<std::string, Story> stories_;       // by directory
  std::set<std::string> published_;            // URIs last sent findings
  bool initialized_ = false;
  bool shut_down_ = false;
  bool exited_ = false;
};

#endif  // TOOLS_LSP_SERVER_H_
