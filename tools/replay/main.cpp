// ostrel-replay: plays a story exactly as ostrel does with piped input, but
// without waiting, for walkthroughs and tests.
//
//   ostrel-replay [--time SECONDS [--time-step SECONDS]] [--show-pauses]
//                 [--no-typing] [--trace] [DIR] < walkthrough
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <filesystem>
#include <system_error>

#include "replay/replay_terminal.h"
#include "common/story_runner.h"
#include "terminal.h"
#include "common/tool_options.h"

namespace {

const ToolOption kOptions[] = {
    {"--time SECONDS", "fix the clock that seeds the computer's moves"},
    {"--time-step SECONDS", "move the clock on after each move drawn"},
    {"--show-pauses", "write each pause as [[sleep N]]"},
    {"--no-typing", "show dialogs at once, as ostrel --no-typing does"},
    {"--trace", "also mark key waits, clear screens, colours, every word\n"
                "and number read, and the exit status"},
    {nullptr, nullptr}};
const ToolUsage kUsage = {
    "ostrel-replay",
    "[--time SECONDS [--time-step SECONDS]] [--show-pauses] [--no-typing] [--trace] [DIR] "
    "< walkthrough",
    "Plays the story in DIR (the current directory by default) as ostrel does\n"
    "with piped input, reading the walkthrough, but without waiting.\n",
    kOptions};

int Usage() { return UsageError(kUsage); }

}  // namespace

int main(int argc, char** argv) {
  EndOnUncaughtException("ostrel-replay", 1);
  if (int status = AnswerHelpOrVersion(kUsage, argc, argv); status >= 0) return status;
  const char* dir = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--time") == 0 && i + 1 < argc) {
      char* end = nullptr;
      long long seconds = std::strtoll(argv[++i], &end, 10);
      if (end == argv[i] || *end != '\0') return Usage();
      Replay().fixed_time = true;
      Replay().time = static_cast<std::time_t>(seconds);
    } else if (std::strcmp(argv[i], "--time-step") == 0 && i + 1 < argc) {
      char* end = nullptr;
      Replay().time_step = std::strtoll(argv[++i], &end, 10);
      if (end == argv[i] || *end != '\0') return Usage();
    } else if (std::strcmp(argv[i], "--show-pauses") == 0) {
      Replay().show_pauses = true;
    } else if (std::strcmp(argv[i], "--no-typing") == 0) {
      Replay().typing_effect = false;
    } else if (std::strcmp(argv[i], "--trace") == 0) {
      Replay().trace = true;
    } else if (argv[i][0] == '-' || dir != nullptr) {
      return Usage();
    } else {
      dir = argv[i];
    }
  }
  std::error_code ignored;
  if (dir != nullptr && !std::filesystem::exists(dir, ignored)) {
    std::fprintf(stderr, "ostrel-replay: cannot enter %s\n", dir);
    return 2;
  }
  int status = PlayStoryOnce(dir != nullptr ? dir : ".");
  if (Replay().trace) {
    std::string mark = "[[exit " + std::to_string(status) + "]]\n";
    TermWrite(mark.data(), mark.size());
  }
  TermFlush();
  return status;
}
