// ostrel-explore: plays a story again and again with a random player.
//
//   ostrel-explore [--runs N] [--seed S] [--steps K] [--json] [--out DIR] [STORY_DIR]
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "explore.h"

namespace {

int Usage() {
  std::cerr << "usage: ostrel-explore [--runs N] [--seed S] [--steps K] [--json] "
               "[--out DIR] [STORY_DIR]\n";
  return 2;
}

bool Count(const char* text, long long* value) {
  char* end = nullptr;
  *value = std::strtoll(text, &end, 10);
  return end != text && *end == '\0' && *value >= 0;
}

}  // namespace

int main(int argc, char** argv) {
  ExploreOptions options;
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
