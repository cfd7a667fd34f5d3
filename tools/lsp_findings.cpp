// The checker's findings for the language server.
#include "lsp_findings.h"

#include "check.h"

std::vector<LspFinding> FindFaults(const StoryText& text) {
  StoryChecker checker;
  checker.LoadLines(text.lines[kScriptFile], text.lines[kAnimationsFile],
                    text.present[kAnimationsFile]);
  checker.Check();
  std::vector<LspFinding> findings;
  for (const Diagnostic& d : checker.diagnostics()) {
    LspFinding f;
    f.where = TextSpan{d.file, d.line - 1, 0, std::string::npos};
    f.error = d.error;
    f.message = d.message;
    // "...; did you mean 'X'?" offers X for the whole line.
    const std::string mark = "did you mean '";
    size_t at = d.message.rfind(mark);
    if (at != std::string::npos && d.message.size() >= at + mark.size() + 2) {
      f.suggestion = d.message.substr(at + mark.size(), d.message.size() - at - mark.size() - 2);
    }
    if (d.message.compare(0, 15, "missing '/end':") == 0) f.code = "missing-end";
    findings.push_back(std::move(f));
  }
  return findings;
}
