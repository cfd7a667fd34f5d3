// Fuzzes a whole story: the four data files and the player's keys, carved
// from the fuzzer's bytes, played by the engine on the replay terminal. Any
// input must end by itself, without a crash, a sanitizer report or a hang.
//
// The bytes are split at the pair FE FF into script, animations, title
// screen, credits and input; a file whose part is absent is missing.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "keywords.h"
#include "replay_terminal.h"
#include "split_parts.h"
#include "story_runner.h"

namespace {

const char* const kFiles[] = {kw::kScriptFile, kw::kAnimationsFile,
                              kw::kTitleScreenFile, kw::kCreditsFile};

// The story's directory; the fuzzer's own working directory is left alone,
// since its corpus paths may be relative.
std::string g_dir;

void Prepare() {
  if (!g_dir.empty()) return;
  char pattern[] = "/tmp/ostrel_story_fuzz_XXXXXX";
  if (mkdtemp(pattern) == nullptr) std::abort();
  g_dir = pattern;
  Replay().discard_output = true;
  Replay().fixed_time = true;
  Replay().time = 1000;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  Prepare();
  std::vector<std::string> parts =
      SplitParts(std::string(reinterpret_cast<const char*>(bytes), size), 4);
  // The last part is the player's input; the parts before it are files.
  std::string input = parts.back();
  parts.pop_back();
  for (int i = 0; i < 4; ++i) {
    std::string path = g_dir + "/" + kFiles[i];
    unlink(path.c_str());
    if (i < static_cast<int>(parts.size())) {
      FILE* f = std::fopen(path.c_str(), "wb");
      std::fwrite(parts[i].data(), 1, parts[i].size(), f);
      std::fclose(f);
    }
  }
  ReplayStartRun(input);
  unsigned long long written_before = ReplayBytesWritten();
  PlayStoryOnce(g_dir);
  // Output in proportion to the story and the input, never without end.
  if (ReplayBytesWritten() - written_before > (size + 1) * 4000ULL + (1 << 20)) {
    std::abort();
  }
  return 0;
}
