// Benchmarks of the engine's lookups: every lookup reads its file again from
// the first line, so their speed is the speed of one scan.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <unistd.h>

#include "battle.h"
#include "globals.h"
#include "keywords.h"
#include "replay/replay_terminal.h"

namespace {

std::string TempPath(const std::string& name) {
  return "/tmp/ostrel_bench_" + std::to_string(getpid()) + "_" + name;
}

// Filler lines of 100 bytes, about `megabytes` MB of them, then `tail`.
std::string WriteScript(const std::string& name, int megabytes, const std::string& tail) {
  std::string path = TempPath(name);
  FILE* f = std::fopen(path.c_str(), "wb");
  std::string filler(99, 'x');
  filler += '\n';
  for (int i = 0; i < megabytes * 10486; ++i) std::fwrite(filler.data(), 1, filler.size(), f);
  std::fwrite(tail.data(), 1, tail.size(), f);
  std::fclose(f);
  return path;
}

void Quiet() {
  Replay().discard_output = true;
  Replay().fixed_time = true;
  Replay().time = 1000;
}

void BM_FindLastHeader(benchmark::State& state) {
  Quiet();
  int megabytes = static_cast<int>(state.range(0));
  std::string path = WriteScript("last_header", megabytes, "|location=Last\n/end\n");
  script.Open(path.c_str());
  Game game;
  for (auto _ : state) {
    bool found = game.findInFile(script, "|location=Last");
    benchmark::DoNotOptimize(found);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(megabytes) * 10486 * 100);
  unlink(path.c_str());
}
BENCHMARK(BM_FindLastHeader)->Arg(1)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_ChoiceSearch(benchmark::State& state) {
  Quiet();
  std::string section = "|location=Many\n/get_input\n";
  for (int i = 0; i < 10000; ++i) {
    section += ">>answer" + std::to_string(i) + "\n/change_location:\nMany\n/end\n";
  }
  std::string path = WriteScript("choices", 1, section);
  script.Open(path.c_str());
  Game game;
  for (auto _ : state) {
    game.findInSection("|location=Many", ">>answer9999", script);
    benchmark::DoNotOptimize(line);
  }
  unlink(path.c_str());
}
BENCHMARK(BM_ChoiceSearch)->Unit(benchmark::kMillisecond);

// The reads of one battle turn with a complete animation set of three moves,
// the battle standing at the end of a 10 MB script.
void BM_BattleTurnReads(benchmark::State& state) {
  Quiet();
  std::string section =
      "|battle=Big\n*player_health:\n5\n*PC_health:\n5\n*number_of_moves:\n3\n"
      "*animation_set:\nBig set\n*player_HP_label:\nYou \n*PC_HP_label:\n Foe \n"
      "*player_attacks_message:\nStrike:\n*player_attack_1:\n1\n*player_attack_2:\n2\n"
      "*player_attack_3:\n3\n*player_hits_message:\nHit.\n*PC_blocks_message:\nBlocked.\n";
  std::string path = WriteScript("battle", 10, section);
  std::string set = "|animation_set=Big set\n|animation=stand\nstanding\n/end\n";
  for (int p = 1; p <= 3; ++p) {
    for (int c = 1; c <= 3; ++c) {
      set += "|animation=player_" + std::to_string(p) + "_PC_" + std::to_string(c) +
             "\nframe\n/end\n|animation=PC_" + std::to_string(c) + "_player_" +
             std::to_string(p) + "\nframe\n/end\n";
    }
  }
  std::string animations_path = TempPath("animations");
  FILE* f = std::fopen(animations_path.c_str(), "wb");
  std::fwrite(set.data(), 1, set.size(), f);
  std::fclose(f);
  script.Open(path.c_str());
  animations.Open(animations_path.c_str());
  battle = "|battle=Big";
  Battle engine;
  engine.GetMovesNum();
  for (auto _ : state) {
    if (engine.ParameterPresent(kw::kAnimationSet)) engine.playAnimation(kw::kStandAnimation);
    engine.printPlyrAttacksMsg();
    if (engine.ParameterPresent(kw::kAnimationSet)) {
      engine.getAnimName(1, 3, 2);
      engine.playAnimation(animation);
    }
    engine.printPlyrHitsMsg();
    engine.printPlayerHP();
    engine.printCompHP();
  }
  unlink(path.c_str());
  unlink(animations_path.c_str());
}
BENCHMARK(BM_BattleTurnReads)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
