// Fuzzes a saved game: arbitrary bytes as the save of a story with choices,
// errors, pauses and a duel, continued with --continue and played as
// ostrel-replay --journal plays it. Any save must end by itself, without a
// crash, a sanitizer report or a hang, and leave a save that reads whole.
//
// The first byte chooses how the rest becomes a save: 0 the bytes as they
// are; 1 records spelled out below, after a header of this story as it is;
// 2 the same after a header of another story. Records are spelled as a kind
// byte (mod 8: K, W, N, T, B, E, R, or a raw byte put in as it is) and what
// the kind takes: W a length byte and that many bytes, N two bytes, T four,
// the raw kind one.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "common/story_runner.h"
#include "journal.h"
#include "keywords.h"
#include "replay/replay_terminal.h"
#include "save.h"

namespace {

const char kScript[] =
    "|start_dialog:\nIntro\n|dialog=Intro\nHi.\n/change_location:\nGate\n/end\n"
    "|location=Gate\nA gate.\n/get_input\n>>in\n/clear\n/change_location:\nYard\n/end\n"
    ">>look\nA sign.\n/pause\n/end\n>>lost\n/if:\nFoggy\n/end_if\n/end\n"
    "|location=Yard\nA yard.\n/get_input\n>>fight\n/change_battle:\nRat\n/end\n"
    ">>back\n/change_location:\nGate\n/end\n"
    "|battle=Rat\n*player_health:\n2\n*PC_health:\n2\n*number_of_moves:\n3\n"
    "*animation_set:\nRat\n*player_attacks_message:\nAttack!\n*player_defends_message:\nDefend!\n"
    "*player_hits_message:\nHit.\n*PC_blocks_message:\nBlocked.\n*PC_hits_message:\nOuch.\n"
    "*player_blocks_message:\nDodged.\n*player_HP_label:\nYou \n*PC_HP_label:\n, rat \n"
    "*player_wins_result:\nWon.\n/change_location:\nHall\n"
    "*PC_wins_result:\nLost.\n/end_game\n"
    "|location=Hall\nThe hall.\n/get_input\n>>rest\n/end_game\n/end\n";
const char kAnimations[] =
    "|animation_set=Rat\n|animation=stand\n(rat)\n/pause\n/end\n"
    "|animation=player_1_PC_1\nbite\n/wait:\n100\n/end\n";

std::string g_dir;
journal::Journal g_header;  // this story's header, from a save of its own

void WriteFile(const std::string& name, const std::string& text) {
  FILE* f = std::fopen((g_dir + "/" + name).c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

void Prepare() {
  if (!g_dir.empty()) return;
  char pattern[] = "/tmp/ostrel_save_fuzz_XXXXXX";
  if (mkdtemp(pattern) == nullptr) std::abort();
  g_dir = pattern;
  WriteFile(kw::kScriptFile, kScript);
  WriteFile(kw::kAnimationsFile, kAnimations);
  WriteFile(kw::kTitleScreenFile, "TITLE\n");
  Replay().discard_output = true;
  Replay().fixed_time = true;
  Replay().time = 1000;
  Replay().time_step = 1;
  ReplaySave() = ReplaySaveStore();
  ReplayStartRun("k");
  PlayStoryOnce(g_dir, {"--new"});
  g_header = journal::ReadJournal(ReplaySave().bytes);
}

std::string Spell(const uint8_t* bytes, size_t size, bool this_story) {
  std::string out;
  journal::JournalWriter writer;
  writer.Begin(this_story ? g_header.story_hash : g_header.story_hash ^ 1,
               g_header.engine_version, &out);
  size_t i = 0;
  auto take = [&](size_t n) {
    long long value = 0;
    for (size_t k = 0; k < n && i < size; ++k) value = value * 256 + bytes[i++];
    return value;
  };
  while (i < size) {
    switch (bytes[i++] % 8) {
      case 0: writer.Mark(journal::kKey, &out); break;
      case 1: {
        size_t n = static_cast<size_t>(take(1));
        std::string word(reinterpret_cast<const char*>(bytes + i), std::min(n, size - i));
        i += word.size();
        if (!word.empty()) writer.Word(word, &out);
        break;
      }
      case 2: writer.Number(journal::kNumber, take(2) - 32768, &out); break;
      case 3: writer.Number(journal::kTime, take(4), &out); break;
      case 4: writer.Mark(journal::kDuelBegins, &out); break;
      case 5: writer.Mark(journal::kDuelEnds, &out); break;
      case 6: writer.Mark(journal::kUnanswered, &out); break;
      default: out.push_back(static_cast<char>(take(1))); break;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  Prepare();
  if (size == 0) return 0;
  std::string save = bytes[0] % 3 == 0
                         ? std::string(reinterpret_cast<const char*>(bytes + 1), size - 1)
                         : Spell(bytes + 1, size - 1, bytes[0] % 3 == 1);
  // Continued: restored, then the live player ends the input at once.
  ReplaySave() = ReplaySaveStore();
  ReplaySave().exists = true;
  ReplaySave().bytes = save;
  ReplayStartRun("");
  unsigned long long written_before = ReplayBytesWritten();
  PlayStoryOnce(g_dir, {"--continue"});
  // What is left is whole: the restore rewrote what did not fit.
  if (ReplaySave().exists && !journal::ReadJournal(ReplaySave().bytes).problem.empty()) {
    std::abort();
  }
  // Played as ostrel-replay --journal plays it.
  PlayJournalNextRun(save, "fuzz");
  ReplayStartRun("");
  PlayStoryOnce(g_dir);
  // Output in proportion to the save, never without end.
  if (ReplayBytesWritten() - written_before > (size + 1) * 4000ULL + (1 << 20)) std::abort();
  return 0;
}
