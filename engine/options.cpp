// The engine's command line.
#include "options.h"

#include <cstring>
#include <vector>

#include "program_options.h"

namespace {

// One option of the engine: as --help lists it, what it sets, and its
// group: two options of one group other than 0 cannot be given together.
struct Option {
  ProgramOption help;
  void (*set)(EngineOptions*);
  int group;
};

constexpr int kHowTheGameStarts = 1;

const Option kOptions[] = {
    {{"--continue", "continue the saved game of this story without asking\n"
                    "(a story without one starts at its title)"},
     [](EngineOptions* o) { o->start = SaveStart::kContinue; },
     kHowTheGameStarts},
    {{"--new", "start the story anew without asking, discarding its save"},
     [](EngineOptions* o) { o->start = SaveStart::kNew; },
     kHowTheGameStarts},
    {{"--no-typing", "show each line of a dialog at once, every byte as when\n"
                     "typed out"},
     [](EngineOptions* o) { o->typing = false; },
     0},
};

const ProgramUsage& Usage() {
  static const std::vector<ProgramOption> rows = [] {
    std::vector<ProgramOption> list;
    for (const Option& option : kOptions) list.push_back(option.help);
    list.push_back({nullptr, nullptr});
    return list;
  }();
  static const ProgramUsage usage = {
      "ostrel", "[--continue | --new] [--no-typing]",
      "Plays the story whose four files are in the current directory. At a\n"
      "terminal the game is saved as it goes, and started again it offers to\n"
      "continue; with piped input only --continue and --new read or write a save.\n",
      rows.data()};
  return usage;
}

}  // namespace

const char* EngineVersion() { return ProgramVersion(); }

int ReadCommandLine(int argc, char** argv, EngineOptions* options) {
  if (int status = AnswerHelpOrVersion(Usage(), argc, argv); status >= 0) return status;
  std::vector<const Option*> given;
  for (int i = 1; i < argc; ++i) {
    const Option* found = nullptr;
    for (const Option& option : kOptions) {
      if (std::strcmp(argv[i], option.help.flag) == 0) found = &option;
    }
    if (found == nullptr) return UsageError(Usage());
    for (const Option* other : given) {
      if (found->group != 0 && other->group == found->group && other != found) {
        return UsageError(Usage());
      }
    }
    given.push_back(found);
    found->set(options);
  }
  return -1;
}
