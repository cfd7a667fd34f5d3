// What every program of ostrel answers alike.
#include "program_options.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifndef OSTREL_VERSION
#error "OSTREL_VERSION comes from the CMake project's version"
#endif

namespace {

void PrintHelp(const ProgramUsage& program) {
  std::vector<ProgramOption> options;
  for (const ProgramOption* option = program.options; option && option->flag; ++option) {
    options.push_back(*option);
  }
  options.push_back({"--help", "print this help and exit"});
  options.push_back({"--version", "print the version and exit"});
  size_t width = 0;
  for (const ProgramOption& option : options) width = std::max(width, std::strlen(option.flag));
  std::string help = "usage: " + std::string(program.name) + " " + program.synopsis + "\n\n" +
                     program.about + "\n";
  for (const ProgramOption& option : options) {
    std::string flag = option.flag;
    help += "  " + flag + std::string(width - flag.size() + 2, ' ');
    for (const char* c = option.text; *c != '\0'; ++c) {
      help += *c;
      if (*c == '\n') help += std::string(width + 4, ' ');
    }
    help += '\n';
  }
  std::fwrite(help.data(), 1, help.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

int AnswerHelpOrVersion(const ProgramUsage& program, int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      PrintHelp(program);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%s %s\n", program.name, OSTREL_VERSION);
      std::fflush(stdout);
      return 0;
    }
  }
  return -1;
}

int UsageError(const ProgramUsage& program) {
  std::fprintf(stderr, "usage: %s %s\nTry '%s --help' for more.\n", program.name,
               program.synopsis, program.name);
  return 2;
}

const char* ProgramVersion() { return OSTREL_VERSION; }
