// What players wait for, side by side with what the machine can do: a
// whole-file lookup against grep and cat on the same file, a battle turn at
// the end of a large script, the engine's peak memory on a large script, and
// the pace of the typing effect. Rounds are interleaved, so that a load that
// comes and goes weighs on every contestant alike; each figure is given as
// minimum and median over the rounds.
//
//   ostrel_scan_bench OSTREL [--megabytes N] [--rounds R] [--battle-megabytes M]
//                            [--battle-rounds R] [--typing-chars C]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "bench_util.h"

#include "battle.h"
#include "globals.h"
#include "keywords.h"
#include "replay/replay_terminal.h"

extern char** environ;

namespace {

struct Options {
  std::string ostrel;
  long megabytes = 100;
  int rounds = 7;
  long battle_megabytes = 10;
  int battle_rounds = 11;
  int typing_chars = 200;
};

std::string g_dir;

double NowMs() {
  using Clock = std::chrono::steady_clock;
  return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
}

// Runs `argv` in `dir` with standard input from `input` (a file, or
// /dev/null) and standard output to /dev/null; gives its exit status, and its
// peak resident memory in kB through `max_rss_kb`.
int Run(const std::vector<std::string>& argv, const std::string& dir = "",
        const std::string& input = "/dev/null", long* max_rss_kb = nullptr) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // posix_spawn cannot change directory portably: go there and back.
  std::vector<char> here(4096);
  if (getcwd(here.data(), here.size()) == nullptr) here[0] = '\0';
  if (!dir.empty() && chdir(dir.c_str()) != 0) return -1;
  pid_t pid = 0;
  int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  if (!dir.empty() && chdir(here.data()) != 0) return -1;
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return -1;
  int status = 0;
  struct rusage usage;
  wait4(pid, &status, 0, &usage);
  if (max_rss_kb != nullptr) *max_rss_kb = usage.ru_maxrss;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Text lines of `length` bytes, the line feed included, making about
// `megabytes` MB, then `tail`. The lines read like prose, and now and then
// like the commands a story has, so a scan meets what it meets in stories.
std::string WriteStory(const std::string& name, int length, long megabytes,
                       const std::string& tail, long* lines_written = nullptr) {
  static const char kWords[] =
      "The wind turns in the old oaks and a lantern swings above the door of "
      "the inn where the road bends towards the river and the hills beyond ";
  std::string block;
  long count = megabytes * 1000000 / length;
  std::string path = g_dir + "/" + name;
  FILE* f = std::fopen(path.c_str(), "wb");
  size_t offset = 0;
  for (long i = 0; i < count; ++i) {
    std::string text;
    if (i % 50 == 49) {
      text = "/if:";
    } else if (i % 50 == 0 && i > 0) {
      text = "/pause";
    } else {
      for (int k = 0; k < length - 1; ++k) {
        text += kWords[(offset + static_cast<size_t>(k)) % (sizeof kWords - 1)];
      }
      offset += 7;
    }
    block += text;
    block += '\n';
    if (block.size() > (1 << 20)) {
      std::fwrite(block.data(), 1, block.size(), f);
      block.clear();
    }
  }
  block += tail;
  std::fwrite(block.data(), 1, block.size(), f);
  std::fclose(f);
  if (lines_written != nullptr) *lines_written = count;
  return path;
}

void PrintRow(const char* name, const Summary& s) {
  std::printf("  %-22s %9.1f %9.1f\n", name, s.min, s.median);
}

void PrintRatio(const char* what, const Summary& a, const Summary& b, double goal) {
  double median = a.median / b.median;
  std::printf("  %-22s %9.2f %9.2f", what, a.min / b.min, median);
  if (goal > 0) std::printf("   goal <= %.2f: %s", goal, median <= goal ? "met" : "NOT MET");
  std::printf("\n");
}

/* ==== One whole-file lookup against grep and cat ========================= */

void Lookups(const Options& o, int length, double grep_goal, double cat_goal) {
  long lines = 0;
  std::string path = WriteStory("lookup.ostrel", length, o.megabytes,
                                "|location=Last\n/end\n", &lines);
  script.Open(path.c_str());
  Game game;
  std::vector<double> engine, grep, cat;
  std::vector<std::function<void()>> contestants = {
      [&] {
        double start = NowMs();
        bool found = game.findInFile(script, "|location=Last");
        engine.push_back(NowMs() - start);
        if (!found) std::fprintf(stderr, "lookup failed\n");
      },
      [&] {
        double start = NowMs();
        Run({"grep", "-m1", "-x", "-F", "|location=Last", path});
        grep.push_back(NowMs() - start);
      },
      [&] {
        double start = NowMs();
        Run({"cat", path});
        cat.push_back(NowMs() - start);
      }};
  // A first round warms the page cache and is not counted.
  for (auto& run : contestants) run();
  engine.clear();
  grep.clear();
  cat.clear();
  for (int round = 0; round < o.rounds; ++round) {
    // Each round in another order: none always runs first.
    for (size_t k = 0; k < contestants.size(); ++k) {
      contestants[(k + static_cast<size_t>(round)) % contestants.size()]();
    }
  }
  script.Open("");
  unlink(path.c_str());
  Summary e = Summarize(engine), g = Summarize(grep), c = Summarize(cat);
  std::printf("\nWhole-file lookup of the last line, %ld MB of %d-byte lines (%ld lines, "
              "2 in 50 of them commands), %d rounds\n", o.megabytes, length, lines, o.rounds);
  std::printf("  %-22s %9s %9s\n", "ms", "min", "median");
  PrintRow("ostrel findInFile", e);
  PrintRow("grep -m1 -x -F", g);
  PrintRow("cat > /dev/null", c);
  PrintRatio("ratio ostrel/grep", e, g, grep_goal);
  PrintRatio("ratio ostrel/cat", e, c, cat_goal);
}

/* ==== A battle turn at the end of a large script ========================= */

const int kMoves = 10;

std::string BattleSection(const std::string& name, bool with_set) {
  std::string s = "|battle=" + name + "\n*player_health:\n5\n*PC_health:\n5\n" +
                  "*number_of_moves:\n" + std::to_string(kMoves) + "\n";
  if (with_set) s += "*animation_set:\nDuel\n";
  s += "*player_HP_label:\nYou \n*PC_HP_label:\n Foe \n*player_attacks_message:\nStrike:\n";
  for (int i = 1; i <= kMoves; ++i) {
    s += "*player_attack_" + std::to_string(i) + ":\nMove " + std::to_string(i) + "\n";
  }
  s += "*player_hits_message:\nHit.\n*PC_blocks_message:\nBlocked.\n";
  return s;
}

// The reads of one attack turn, as the battle phase makes them.
void Turn(Battle& engine) {
  if (engine.ParameterPresent(kw::kAnimationSet)) engine.playAnimation(kw::kStandAnimation);
  engine.printPlyrAttacksMsg();
  if (engine.ParameterPresent(kw::kAnimationSet)) {
    engine.getAnimName(1, kMoves, kMoves - 1);
    engine.playAnimation(animation);
  }
  engine.printPlyrHitsMsg();
  engine.printPlayerHP();
  engine.printCompHP();
}

void BattleTurns(const Options& o) {
  std::string path = WriteStory("battle.ostrel", 27, o.battle_megabytes,
                                BattleSection("Plain", false) + BattleSection("Animated", true));
  std::string set = "|animation_set=Duel\n|animation=stand\nstanding\n/end\n";
  for (int p = 1; p <= kMoves; ++p) {
    for (int c = 1; c <= kMoves; ++c) {
      std::string pc = std::to_string(p), cc = std::to_string(c);
      set += "|animation=player_" + pc + "_PC_" + cc + "\nframe\n/end\n|animation=PC_" + cc +
             "_player_" + pc + "\nframe\n/end\n";
    }
  }
  std::string animations_path = g_dir + "/animations.ostrel";
  WriteFile(animations_path, set);
  script.Open(path.c_str());
  animations.Open(animations_path.c_str());
  Battle engine;
  std::vector<double> plain, animated;
  for (int round = -1; round < o.battle_rounds; ++round) {
    for (int k = 0; k < 2; ++k) {
      bool with_set = (k + round) % 2 != 0;
      battle = with_set ? "|battle=Animated" : "|battle=Plain";
      engine.GetMovesNum();
      double start = NowMs();
      Turn(engine);
      double ms = NowMs() - start;
      if (round >= 0) (with_set ? animated : plain).push_back(ms);
    }
  }
  script.Open("");
  animations.Open("");
  unlink(path.c_str());
  unlink(animations_path.c_str());
  std::printf("\nA battle turn with %d moves at the end of a %ld MB script of 27-byte lines, "
              "%d rounds\n", kMoves, o.battle_megabytes, o.battle_rounds);
  std::printf("  %-34s %9s %9s\n", "ms", "min", "median");
  Summary p = Summarize(plain), a = Summarize(animated);
  std::printf("  %-34s %9.1f %9.1f   goal <= 40: %s\n", "16 scans, no animation set", p.min,
              p.median, p.median <= 40 ? "met" : "NOT MET");
  std::printf("  %-34s %9.1f %9.1f\n", "18 scans + 2 of the animations", a.min, a.median);
}

/* ==== The real engine: peak memory and the typing effect's pace ========== */

// A story whose sections stand at the end of about `megabytes` MB.
long PeakMemory(const Options& o, long megabytes) {
  std::string dir = g_dir + "/memory";
  mkdir(dir.c_str(), 0700);
  WriteStory("memory/script.ostrel", 27, megabytes,
             "|start_location:\nHall\n|location=Hall\nThe hall.\n/get_input\n>>north\n"
             "/change_location:\nLibrary\n/end\n|location=Library\nThe library.\n"
             "/end_game\n/end\n");
  WriteFile(dir + "/input", "north\n");
  long rss = 0;
  if (Run({o.ostrel}, dir, dir + "/input", &rss) != 0) std::fprintf(stderr, "ostrel failed\n");
  unlink((dir + "/script.ostrel").c_str());
  unlink((dir + "/input").c_str());
  rmdir(dir.c_str());
  return rss;
}

double PlayMs(const Options& o, const std::string& story) {
  std::string dir = g_dir + "/typing";
  mkdir(dir.c_str(), 0700);
  WriteFile(dir + "/script.ostrel", story);
  double start = NowMs();
  if (Run({o.ostrel}, dir) != 0) std::fprintf(stderr, "ostrel failed\n");
  double ms = NowMs() - start;
  unlink((dir + "/script.ostrel").c_str());
  rmdir(dir.c_str());
  return ms;
}

void Engine(const Options& o) {
  long small = PeakMemory(o, 1);
  long large = PeakMemory(o, o.megabytes);
  std::printf("\nPeak resident memory of ostrel, story at the end of the script\n");
  std::printf("  1 MB script: %ld kB, %ld MB script: %ld kB, ratio %.3f   goal <= 1.10: %s\n",
              small, o.megabytes, large, static_cast<double>(large) / small,
              large <= small * 1.1 ? "met" : "NOT MET");

  // The same line shown at once and typed out: the difference is the
  // typing effect alone, 46 ms a character and 150 ms at the line's end.
  std::string text;
  for (int i = 0; i < o.typing_chars; ++i) text += static_cast<char>('a' + i % 26);
  double nominal = o.typing_chars * 46.0 + 150.0;
  double shown = PlayMs(o, "|start_location:\nA\n|location=A\n" + text + "\n/end_game\n/end\n");
  double typed = PlayMs(o, "|start_dialog:\nA\n|dialog=A\n" + text + "\n/end_game\n/end\n");
  double pace = (typed - shown) / nominal;
  std::printf("\nTyping effect, a line of %d characters: nominal %.0f ms\n", o.typing_chars,
              nominal);
  std::printf("  typed %.1f ms - shown at once %.1f ms = %.1f ms, ratio %.4f   "
              "goal <= 1.005: %s\n",
              typed, shown, typed - shown, pace, pace <= 1.005 ? "met" : "NOT MET");
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (argc < 2) {
    std::fprintf(stderr, "usage: ostrel_scan_bench OSTREL [--megabytes N] [--rounds R] "
                         "[--battle-megabytes M] [--battle-rounds R] [--typing-chars C]\n");
    return 2;
  }
  o.ostrel = argv[1];
  if (o.ostrel.find('/') == std::string::npos) o.ostrel = "./" + o.ostrel;
  char resolved[4096];
  if (realpath(o.ostrel.c_str(), resolved) != nullptr) o.ostrel = resolved;
  for (int i = 2; i + 1 < argc; i += 2) {
    std::string flag = argv[i];
    long value = std::atol(argv[i + 1]);
    if (flag == "--megabytes") o.megabytes = value;
    else if (flag == "--rounds") o.rounds = static_cast<int>(value);
    else if (flag == "--battle-megabytes") o.battle_megabytes = value;
    else if (flag == "--battle-rounds") o.battle_rounds = static_cast<int>(value);
    else if (flag == "--typing-chars") o.typing_chars = static_cast<int>(value);
    else {
      std::fprintf(stderr, "unknown option %s\n", flag.c_str());
      return 2;
    }
  }
  char pattern[] = "/tmp/ostrel_scan_bench_XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 2;
  g_dir = pattern;
  Replay().discard_output = true;
  Replay().fixed_time = true;
  Replay().time = 1000;

  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) > 0) std::printf("load average at start: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
  Lookups(o, 15, 0, 0);
  Lookups(o, 27, 0.7, 2.5);
  Lookups(o, 100, 0.6, 0);
  Lookups(o, 2000, 0, 0);
  BattleTurns(o);
  Engine(o);
  if (getloadavg(load, 3) > 0) std::printf("\nload average at end: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
  rmdir(g_dir.c_str());
  return 0;
}
