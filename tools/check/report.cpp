// Findings as the compilers print them.
#include "check/check.h"

void PrintFindings(const std::vector<Finding>& findings, std::ostream& out) {
  int errors = 0, warnings = 0;
  for (const Finding& f : findings) {
    bool error = f.severity == Severity::kError;
    out << StoryFileName(f.where.file) << ':' << f.where.line << ": " << (error ? "error: " : "warning: ")
        << f.message << '\n';
    (error ? errors : warnings)++;
  }
  out << errors << (errors == 1 ? " error, " : " errors, ") << warnings << (warnings == 1 ? " warning" : " warnings")
      << '\n';
}
