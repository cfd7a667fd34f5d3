// The options every authors' tool answers alike.
#include "tool_options.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifndef OSTREL_VERSION
#error "OSTREL_VERSION comes from the CMake project's version"
#endif

namespace {

void PrintHelp(const ToolUsage& tool) {
  std::vector<ToolOption> options;
  for (const ToolOption* option = tool.options; option && option->flag; ++option) {
    options.push_back(*option);
  }
  options.push_back({"--help", "print this help and exit"});
  options.push_back({"--version", "print the version and exit"});
  size_t width = 0;
  for (const ToolOption& option : options) width = std::max(width, std::strlen(option.flag));
  std::string help = "usage: " + std::string(tool.name) + " " + tool.synopsis + "\n\n" +
                     tool.about + "\n";
  for (const ToolOption& option : options) {
    std::string flag = option.flag;
    help += "  " + flag + std::string(width - flag.size() + 2, ' ');
    for (const char* c = option.text; *c != '\0'; ++c) {
      help += *c;
      if (*c == '\n') help += std::string(width + 4, ' ');
    }
    help += '\n';
  }
  std::fwrite(help.data(), 1, help.size(), stdout);
}

}  // namespace

int AnswerHelpOrVersion(const ToolUsage& tool, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      PrintHelp(tool);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%s %s\n", tool.name, OSTREL_VERSION);
      return 0;
    }
  }
  return -1;
}

int UsageError(const ToolUsage& tool) {
  std::fprintf(stderr, "usage: %s %s\nTry '%s --help' for more.\n", tool.name,
               tool.synopsis, tool.name);
  return 2;
}
