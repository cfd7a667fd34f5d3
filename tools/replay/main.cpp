// ostrel-replay: plays a story exactly as ostrel does with piped input, but
// without waiting, for walkthroughs and tests; or plays a save of ostrel's.
//
//   ostrel-replay [--time SECONDS [--time-step SECONDS]] [--show-pauses]
//                 [--no-typing] [--trace] [DIR] < walkthrough
//   ostrel-replay --journal FILE [--show-pauses] [--no-typing] [--trace] [DIR]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <filesystem>
#include <system_error>

#include "common/story_runner.h"
#include "common/tool_options.h"
#include "platform.h"
#include "replay/replay_terminal.h"
#include "save.h"
#include "terminal.h"

namespace {

const ToolOption kOptions[] = {
    {"--time SECONDS", "fix the clock that seeds the computer's moves"},
    {"--time-step SECONDS", "move the clock on after each move drawn"},
    {"--show-pauses", "write each pause as [[sleep N]]"},
    {"--no-typing", "show dialogs at once, as ostrel --no-typing does"},
    {"--trace", "also mark key waits, clear screens, colours, every word\n"
                "and number read, and the exit status"},
    {"--journal FILE", "play the save FILE of ostrel (its answers and its clock)\n"
                       "instead of a walkthrough"},
    {nullptr, nullptr}};
const ToolUsage kUsage = {
    "ostrel-replay",
    "[--time SECONDS [--time-step SECONDS] | --journal FILE] [--show-pauses] [--no-typing] "
    "[--trace] [DIR]",
    "Plays the story in DIR (the current directory by default) as ostrel does\n"
    "with piped input, reading the walkthrough from standard input, but without\n"
    "waiting. With --journal it plays a save of ostrel's instead, from the title\n"
    "to where the saved game stopped, writing what that game showed.\n",
    kOptions};

int Usage() { return UsageError(kUsage); }

// Reads the save `path` whole into `*bytes`.
bool ReadSave(const char* path, std::string* bytes) {
  std::FILE* file = PlatformOpenDataFile(path);
  if (file == nullptr) return false;
  char buffer[1 << 16];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes->append(buffer, n);
  bool read = std::ferror(file) == 0;
  std::fclose(file);
  return read;
}

}  // namespace

int main(int argc, char** argv) {
  EndOnUncaughtException("ostrel-replay", 1);
  if (int status = AnswerHelpOrVersion(kUsage, argc, argv); status >= 0) return status;
  const char* dir = nullptr;
  const char* journal = nullptr;
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
    } else if (std::strcmp(argv[i], "--journal") == 0 && i + 1 < argc) {
      journal = argv[++i];
    } else if (argv[i][0] == '-' || dir != nullptr) {
      return Usage();
    } else {
      dir = argv[i];
    }
  }
  // The journal holds the clock, and the whole input.
  if (journal != nullptr && (Replay().fixed_time || Replay().time_step != 0)) return Usage();
  std::error_code ignored;
  if (dir != nullptr && !std::filesystem::exists(dir, ignored)) {
    std::fprintf(stderr, "ostrel-replay: cannot enter %s\n", dir);
    return 2;
  }
  if (journal != nullptr) {
    std::string bytes;
    if (!ReadSave(journal, &bytes)) {
      std::fprintf(stderr, "ostrel-replay: cannot read the save %s\n", journal);
      return 2;
    }
    PlayJournalNextRun(std::move(bytes), journal);
    ObserveJournalReads(ReplayMarkJournalRead);
    ReplayStartRun("");
  }
  int status = PlayStoryOnce(dir != nullptr ? dir : ".");
  if (Replay().trace) {
    std::string mark = "[[exit " + std::to_string(status) + "]]\n";
    TermWrite(mark.data(), mark.size());
  }
  TermFlush();
  return status;
}
