// ostrel-replay: plays a story exactly as ostrel does with piped input, but
// without waiting, for walkthroughs and tests.
//
//   ostrel-replay [--time SECONDS] [--show-pauses] [--trace] [DIR] < walkthrough
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "globals.h"
#include "keywords.h"
#include "replay_terminal.h"
#include "terminal.h"

// The engine's own entry point, built under this name for the replay tool.
int OstrelMain();

namespace {

int Usage() {
  std::fprintf(stderr,
               "usage: ostrel-replay [--time SECONDS] [--show-pauses] "
               "[--trace] [DIR] < walkthrough\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* dir = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--time") == 0 && i + 1 < argc) {
      char* end = nullptr;
      long long seconds = std::strtoll(argv[++i], &end, 10);
      if (end == argv[i] || *end != '\0') return Usage();
      Replay().fixed_time = true;
      Replay().time = static_cast<std::time_t>(seconds);
    } else if (std::strcmp(argv[i], "--show-pauses") == 0) {
      Replay().show_pauses = true;
    } else if (std::strcmp(argv[i], "--trace") == 0) {
      Replay().trace = true;
    } else if (argv[i][0] == '-' || dir != nullptr) {
      return Usage();
    } else {
      dir = argv[i];
    }
  }
  if (dir != nullptr) {
    if (chdir(dir) != 0) {
      std::fprintf(stderr, "ostrel-replay: cannot enter %s\n", dir);
      return 2;
    }
    // The data files were opened as the program started, in the directory
    // it started in.
    script.Open(kw::kScriptFile);
    animations.Open(kw::kAnimationsFile);
    title_screen.Open(kw::kTitleScreenFile);
    credits.Open(kw::kCreditsFile);
  }
  int status;
  try {
    status = OstrelMain();
  } catch (const RunEnded& ended) {
    status = ended.status;
  }
  if (Replay().trace) {
    std::string mark = "[[exit " + std::to_string(status) + "]]\n";
    TermWrite(mark.data(), mark.size());
  }
  TermFlush();
  return status;
}
