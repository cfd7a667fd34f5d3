// ostrel-check: reads a story without playing it and reports its faults the
// way compilers do, or draws its map.
//
//   ostrel-check [--graph] [DIR]
#include <cstring>
#include <iostream>

#include "check.h"
#include "tool_options.h"

namespace {

const ToolOption kOptions[] = {
    {"--graph", "write the story's map as a Graphviz graph instead"},
    {nullptr, nullptr}};
const ToolUsage kUsage = {
    "ostrel-check", "[--graph] [DIR]",
    "Reads the story in DIR (the current directory by default) and lists its\n"
    "faults, FILE:LINE: error: MESSAGE, then a summary.\n",
    kOptions};

}  // namespace

int main(int argc, char** argv) {
  if (int status = AnswerHelpOrVersion(kUsage, argc, argv); status >= 0) return status;
  bool graph = false;
  const char* dir = ".";
  bool have_dir = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--graph") == 0) {
      graph = true;
    } else if (argv[i][0] == '-' || have_dir) {
      return UsageError(kUsage);
    } else {
      dir = argv[i];
      have_dir = true;
    }
  }
  StoryChecker checker;
  std::string err;
  if (!checker.Load(dir, &err)) {
    std::cerr << "ostrel-check: " << err << "\n";
    return 2;
  }
  checker.Check();
  if (graph) {
    checker.PrintGraph(std::cout);
  } else {
    checker.PrintDiagnostics(std::cout);
  }
  // A report that could not be written is no report.
  if (!std::cout.flush()) {
    std::cerr << "ostrel-check: cannot write the output\n";
    return 2;
  }
  return !graph && checker.HasErrors() ? 1 : 0;
}
