// ostrel-explore: plays a story again and again with a random player.
//
//   ostrel-explore [--runs N] [--seed S] [--steps K] [--json] [--out DIR] [STORY_DIR]
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "explore/explore.h"
#include "common/tool_options.h"

namespace {

const ToolOption kOptions[] = {
    {"--runs N", "play N runs (1000)"},
    {"--seed S", "seed the random player with S (1)"},
    {"--steps K", "stop a run that has not ended after K steps (10000)"},
    {"--json", "write the report as JSON"},
    {"--out DIR", "write the walkthrough to each error into DIR\n(explore-walkthroughs)"},
    {nullptr, nullptr}};
const ToolUsage kUsage = {
    "ostrel-explore", "[--runs N] [--seed S] [--steps K] [--json] [--out DIR] [STORY_DIR]",
    "Plays the story in STORY_DIR (the current directory by default) again and\n"
    "again with a random player, and reports the errors met, the runs that did\n"
    "not end, what no run reached, and each battle's odds.\n",
    kOptions};

int Usage() { return UsageError(kUsage); }

bool Count(const char* text, long long* value) {
  char* end = nullptr;
  // A number too large to hold would be taken as the largest one, and a run
  // count of that size never ends: it is refused instead.
  errno = 0;
  *value = std::strtoll(text, &end, 10);
  return end != text && *end == '\0' && *value >= 0 && errno != ERANGE;
}

}  // namespace

int main(int argc, char** argv) {
  EndOnUncaughtException("ostrel-explore", 2);
  if (int status = AnswerHelpOrVersion(kUsage, argc, argv); status >= 0) return status;
  ExploreOptions options;
  // The replay tool stands beside the explorer.
  std::string self = argv[0];
  if (self.find('/') != std::string::npos) options.replay = self.substr(0, self.rfind('/') + 1) + "ostrel-replay";
  bool have_dir = false;
  for (int i = 1; i < argc; ++i) {
    long long value = 0;
    std::string arg = argv[i];
    if ((arg == "--runs" || arg == "--seed" || arg == "--steps" || arg == "--out") && i + 1 < argc) {
      const char* next = argv[++i];
      if (arg == "--out") {
        options.out = next;
        continue;
      }
      if (!Count(next, &value)) return Usage();
      if (arg == "--runs") options.runs = value;
      if (arg == "--seed") options.seed = static_cast<unsigned long long>(value);
      if (arg == "--steps") options.steps = value;
    } else if (arg == "--json") {
      options.json = true;
    } else if (arg[0] == '-' || have_dir) {
      return Usage();
    } else {
      options.dir = arg;
      have_dir = true;
    }
  }
  int status = Explore(options);
  // A report that could not be written is no report.
  if (!std::cout.flush()) {
    std::cerr << "ostrel-explore: cannot write the output\n";
    return 2;
  }
  return status;
}
