// The checker's findings for the language server, each with its place on a
// line and, where there is one, its fix.
#ifndef TOOLS_LSP_FINDINGS_H_
#define TOOLS_LSP_FINDINGS_H_

#include <string>
#include <vector>

#include "lsp_story.h"

struct LspFinding {
  TextSpan where;  // end past the line's length: to the line's end
  bool error;
  std::string code;
  std::string message;
  std::string suggestion;  // a replacement for `where`, or empty
};

// Every finding of the checker on the story.
std::vector<LspFinding> FindFaults(const StoryText& text);

#endif  // TOOLS_LSP_FINDINGS_H_
