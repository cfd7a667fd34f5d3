// The options every authors' tool answers alike.
#include "common/tool_options.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
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

namespace {

const char* g_fatal_name = "";
int g_fatal_status = 1;

[[noreturn]] void OnUncaughtException() {
  // Built in place: the memory may be what ran out.
  char message[512];
  std::snprintf(message, sizeof message, "%s: fatal error", g_fatal_name);
  if (std::exception_ptr thrown = std::current_exception()) {
    try {
      std::rethrow_exception(thrown);
    } catch (const std::exception& e) {
      std::snprintf(message, sizeof message, "%s: fatal error: %s", g_fatal_name, e.what());
    } catch (...) {
    }
  }
  std::fputs(message, stderr);
  std::fputs("\n", stderr);
  std::_Exit(g_fatal_status);
}

}  // namespace

void EndOnUncaughtException(const char* name, int status) {
  g_fatal_name = name;
  g_fatal_status = status;
  std::set_terminate(OnUncaughtException);
}
