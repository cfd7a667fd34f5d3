// The engine's command line.
#include "options.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#ifndef OSTREL_VERSION
#error "OSTREL_VERSION comes from the CMake project's version"
#endif

namespace {

// One option: its flag, what --help says of it (lines after the first
// begin with '\n'), what it sets, and its group: two options of one group
// other than 0 cannot be given together.
struct Option {
  const char* flag;
  const char* text;
  void (*set)(EngineOptions*);
  int group;
};

constexpr int kHowTheGameStarts = 1;

const Option kOptions[] = {
    {"--continue", "continue the saved game of this story without asking\n"
                   "(a story without one starts at its title)",
     [](EngineOptions* o) { o->start = SaveStart::kContinue; }, kHowTheGameStarts},
    {"--new", "start the story anew without asking, discarding its save",
     [](EngineOptions* o) { o->start = SaveStart::kNew; }, kHowTheGameStarts},
};

const char kName[] = "ostrel";
const char kSynopsis[] = "[--continue | --new]";
const char kAbout[] =
    "Plays the story whose four files are in the current directory. At a\n"
    "terminal the game is saved as it goes, and started again it offers to\n"
    "continue; with piped input only --continue and --new read or write a save.\n";

void PrintHelp() {
  std::vector<std::pair<const char*, const char*>> rows;
  for (const Option& option : kOptions) rows.emplace_back(option.flag, option.text);
  rows.emplace_back("--help", "print this help and exit");
  rows.emplace_back("--version", "print the version and exit");
  size_t width = 0;
  for (const auto& row : rows) width = std::max(width, std::strlen(row.first));
  std::string help = std::string("usage: ") + kName + " " + kSynopsis + "\n\n" + kAbout + "\n";
  for (const auto& row : rows) {
    std::string flag = row.first;
    help += "  " + flag + std::string(width - flag.size() + 2, ' ');
    for (const char* c = row.second; *c != '\0'; ++c) {
      help += *c;
      if (*c == '\n') help += std::string(width + 4, ' ');
    }
    help += '\n';
  }
  std::fwrite(help.data(), 1, help.size(), stdout);
  std::fflush(stdout);
}

int UsageError() {
  std::fprintf(stderr, "usage: %s %s\nTry '%s --help' for more.\n", kName, kSynopsis, kName);
  return 2;
}

}  // namespace

const char* EngineVersion() { return OSTREL_VERSION; }

int ReadCommandLine(int argc, char** argv, EngineOptions* options) {
  // --help and --version win wherever they stand.
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      PrintHelp();
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%s %s\n", kName, OSTREL_VERSION);
      std::fflush(stdout);
      return 0;
    }
  }
  std::vector<const Option*> given;
  for (int i = 1; i < argc; ++i) {
    const Option* found = nullptr;
    for (const Option& option : kOptions) {
      if (std::strcmp(argv[i], option.flag) == 0) found = &option;
    }
    if (found == nullptr) return UsageError();
    for (const Option* other : given) {
      if (found->group != 0 && other->group == found->group && other != found) return UsageError();
    }
    given.push_back(found);
    found->set(options);
  }
  return -1;
}
