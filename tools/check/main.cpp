// ostrel-check: reads a story without playing it and reports its faults the
// way compilers do, or draws its map, or counts what it holds.
//
//   ostrel-check [--graph | --stats] [DIR]
#include <cstring>
#include <iostream>

#include "check/check.h"
#include "common/tool_options.h"

namespace {

const ToolOption kOptions[] = {
    {"--graph", "write the story's map as a Graphviz graph instead"},
    {"--stats", "count what the story holds instead: words, sections, answers, battles' odds"},
    {nullptr, nullptr}};
const ToolUsage kUsage = {
    "ostrel-check", "[--graph | --stats] [DIR]",
    "Reads the story in DIR (the current directory by default) and lists its\n"
    "faults, FILE:LINE: error: MESSAGE, then a summary.\n",
    kOptions};

}  // namespace

int main(int argc, char** argv) {
  EndOnUncaughtException("ostrel-check", 2);
  if (int status = AnswerHelpOrVersion(kUsage, argc, argv); status >= 0) return status;
  bool graph = false;
  bool stats = false;
  const char* dir = ".";
  bool have_dir = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--graph") == 0) {
      graph = true;
    } else if (std::strcmp(argv[i], "--stats") == 0) {
      stats = true;
    } else if (argv[i][0] == '-' || have_dir) {
      return UsageError(kUsage);
    } else {
      dir = argv[i];
      have_dir = true;
    }
  }
  // The graph and the statistics are two different outputs: one at a time.
  if (graph && stats) return UsageError(kUsage);
  StorySources sources;
  std::string err;
  if (!ReadStorySources(dir, &sources, &err)) {
    std::cerr << "ostrel-check: " << err << "\n";
    return 2;
  }
  // The findings alone need no index; the map needs its sections and edges.
  CheckParts parts;
  parts.map = stats;
  parts.index = graph || stats;
  parts.edges = graph;
  StoryCheck check = CheckStory(sources, parts);
  if (graph) {
    PrintGraph(check, std::cout);
  } else if (stats) {
    PrintStats(sources, check, std::cout);
  } else {
    PrintFindings(check.findings, std::cout);
  }
  // A report that could not be written is no report.
  if (!std::cout.flush()) {
    std::cerr << "ostrel-check: cannot write the output\n";
    return 2;
  }
  return !graph && !stats && check.HasErrors() ? 1 : 0;
}
