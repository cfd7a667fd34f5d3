// Fuzzes a whole story: the four data files and the player's keys, carved
// from the fuzzer's bytes, played by the engine on the replay terminal. Any
// input must end by itself, without a crash, a sanitizer report or a hang.
//
// The bytes are split at the pair FE FF into script, animations, title
// screen, credits and input; a file whose part is absent is missing.
//
// In the input, FE FD and two bytes H L repeat the rest of the input's line,
// its line feed included, (H * 256 + L) * 4 times, so that a short input can
// answer a prompt hundreds of thousands of times.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "keywords.h"
#include "replay/replay_terminal.h"
#include "split_parts.h"
#include "common/story_runner.h"

namespace {

const char* const kFiles[] = {kw::kScriptFile, kw::kAnimationsFile,
                              kw::kTitleScreenFile, kw::kCreditsFile};

// The player's input with its repeats spelled out, at most `limit` bytes.
std::string ExpandRepeats(const std::string& input, size_t limit) {
  std::string out;
  size_t i = 0;
  while (i < input.size() && out.size() < limit) {
    size_t mark = input.find("\xfe\xfd", i);
    if (mark == std::string::npos || mark + 4 > input.size()) {
      out.append(input, i, std::string::npos);
      break;
    }
    out.append(input, i, mark - i);
    size_t times = (static_cast<unsigned char>(input[mark + 2]) * 256u +
                    static_cast<unsigned char>(input[mark + 3])) * 4u;
    size_t start = mark + 4;
    size_t end = input.find('\n', start);
    end = end == std::string::npos ? input.size() : end + 1;
    std::string text = input.substr(start, end - start);
    for (size_t k = 0; k < times && !text.empty() && out.size() < limit; ++k) out += text;
    i = end;
  }
  if (out.size() > limit) out.resize(limit);
  return out;
}

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
  // Every answer may read the whole script again: the longer the script, the
  // fewer repeats, so that each input still runs in well under a second.
  size_t script_size = parts.size() > 1 ? parts[0].size() : 0;
  size_t limit = std::min<size_t>(size_t{1} << 20, (size_t{64} << 20) / (script_size + 64));
  std::string input = ExpandRepeats(parts.back(), limit);
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
  if (ReplayBytesWritten() - written_before > (size + input.size() + 1) * 4000ULL + (1 << 20)) {
    std::abort();
  }
  return 0;
}
