// What saving costs: the real ostrel answering N prompts from a pipe with and
// without saving (the ratio's goal: 1.25 at most), the journal's bytes an
// answer, and the time to continue a game of N answers (its goal: well under
// 2 s for 100,000), in a state directory of its own. Rounds are interleaved,
// so that a load that comes and goes weighs on each alike; each figure is
// given as the minimum and the median over the rounds, wall-clock and CPU.
//
//   ostrel_save_bench OSTREL [--answers N] [--rounds R]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "bench_util.h"

extern char** environ;

namespace {

struct Times {
  std::vector<double> wall, cpu;
};

// Runs ostrel with `option` (none when empty) in `dir`, standard input from
// `input` and standard output to /dev/null; adds its wall-clock and CPU
// seconds to `times`. False when it did not end with status 0.
bool Run(const std::string& ostrel, const std::string& option, const std::string& dir,
         const std::string& input, Times* times) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  std::vector<char*> args = {const_cast<char*>(ostrel.c_str())};
  if (!option.empty()) args.push_back(const_cast<char*>(option.c_str()));
  args.push_back(nullptr);
  std::vector<char> here(4096);
  if (getcwd(here.data(), here.size()) == nullptr || chdir(dir.c_str()) != 0) return false;
  auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  int failed = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (chdir(here.data()) != 0 || failed != 0) return false;
  int status = 0;
  struct rusage usage;
  wait4(pid, &status, 0, &usage);
  auto end = std::chrono::steady_clock::now();
  times->wall.push_back(std::chrono::duration<double>(end - start).count());
  times->cpu.push_back(usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 +
                       usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The size of the one save in `dir`.
long long SaveSize(const std::string& dir) {
  long long size = 0;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string name = e->d_name;
      struct stat info;
      if (name.size() > 5 && name.substr(name.size() - 5) == ".save" &&
          stat((dir + "/" + name).c_str(), &info) == 0) {
        size = info.st_size;
      }
    }
    closedir(d);
  }
  return size;
}

void Print(const char* what, const Times& t) {
  Summary wall = Summarize(t.wall), cpu = Summarize(t.cpu);
  std::printf("  %-26s wall min %7.3f s, median %7.3f s; cpu min %7.3f s, median %7.3f s\n", what,
              wall.min, wall.median, cpu.min, cpu.median);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: ostrel_save_bench OSTREL [--answers N] [--rounds R]\n");
    return 2;
  }
  char resolved[4096];
  std::string ostrel = realpath(argv[1], resolved) != nullptr ? resolved : argv[1];
  long answers = 100000;
  int rounds = 5;
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--answers") == 0) {
      answers = std::atol(argv[i + 1]);
    } else if (std::strcmp(argv[i], "--rounds") == 0) {
      rounds = std::atoi(argv[i + 1]);
    } else {
      std::fprintf(stderr, "unknown option %s\n", argv[i]);
      return 2;
    }
  }
  char pattern[] = "/tmp/ostrel_save_bench_XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 2;
  std::string dir = pattern;
  std::string story = dir + "/story", state = dir + "/state", input = dir + "/input";
  mkdir(story.c_str(), 0755);
  // Saves go to the bench's own state directory, never the real one.
  setenv("XDG_STATE_HOME", state.c_str(), 1);
  // A room whose prompt is answered again and again.
  WriteFile(story + "/script.ostrel",
            "|start_location:\nRoom\n|location=Room\nA room.\n/get_input\n>>go\n"
            "/change_location:\nRoom\n/end\n>>stop\n/end_game\n/end\n");
  std::string words;
  for (long i = 0; i < answers; ++i) words += "go\n";
  WriteFile(input, words);

  std::printf("%ld answers piped, %d rounds\n", answers, rounds);
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) > 0) std::printf("load average at start: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
  Times plain, saving, restore;
  long long save_bytes = 0;
  bool ok = true;
  for (int round = 0; round < rounds; ++round) {
    ok &= Run(ostrel, "", story, input, &plain);
    ok &= Run(ostrel, "--new", story, input, &saving);
    // The input ended at a prompt: the save holds every answer.
    save_bytes = SaveSize(state + "/ostrel");
    ok &= Run(ostrel, "--continue", story, "/dev/null", &restore);
  }
  if (!ok) std::printf("a run failed\n");
  Print("without saving", plain);
  Print("saving (--new)", saving);
  Print("continuing (--continue)", restore);
  double ratio_wall = Summarize(saving.wall).median / Summarize(plain.wall).median;
  double ratio_cpu = Summarize(saving.cpu).median / Summarize(plain.cpu).median;
  std::printf("saving costs %.2fx wall-clock, %.2fx CPU (goal: 1.25x at most): %s\n", ratio_wall,
              ratio_cpu, ratio_wall <= 1.25 ? "met" : "NOT MET");
  std::printf("the journal holds %.2f bytes an answer (%lld bytes)\n",
              static_cast<double>(save_bytes) / static_cast<double>(answers), save_bytes);
  double restore_seconds = Summarize(restore.wall).median;
  if (answers == 100000) {
    std::printf("continuing 100,000 answers takes %.3f s (goal: well under 2 s): %s\n",
                restore_seconds, restore_seconds < 2 ? "met" : "NOT MET");
  } else {
    std::printf("continuing %ld answers takes %.3f s (the goal is for 100,000)\n", answers,
                restore_seconds);
  }
  if (getloadavg(load, 3) > 0) std::printf("load average at end: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
  std::string cleanup = "rm -rf '" + dir + "'";
  if (std::system(cleanup.c_str()) != 0) return 1;
  return ok ? 0 : 1;
}
