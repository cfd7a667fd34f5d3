// ostrel-explore: plays a story many times with a random player and reports
// what went wrong, what was never reached, and how hard its duels are.
#ifndef TOOLS_EXPLORE_EXPLORE_H_
#define TOOLS_EXPLORE_EXPLORE_H_

#include <ctime>
#include <map>
#include <random>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "check/check.h"

struct ExploreOptions {
  long long runs = 1000;
  unsigned long long seed = 1;
  long long steps = 10000;
  bool json = false;
  std::string dir = ".";
  std::string out = "explore-walkthroughs";  // where walkthroughs are written
  std::string replay = "ostrel-replay";      // the replay tool, as the report names it
};

// The exit status of a run stopped at the step limit.
constexpr int kStepLimitStatus = 98;

// One run as the explore terminal and the story events see it.
struct ExploreRun {
  std::mt19937_64 random;
  const StoryMap* map = nullptr;
  const std::unordered_map<std::string_view, size_t>* sections = nullptr;  // header -> map->sections
  long long step_limit = 0;
  long long steps = 0;
  std::time_t clock = 0;
  std::string walkthrough;  // the player's input so far, as a walkthrough file
  // Error reports: message, section, and the walkthrough's length then.
  struct Report {
    std::string message;
    std::string section;
    size_t walkthrough_length;
  };
  std::vector<Report> reports;
  std::vector<std::pair<long long, std::string>> entered;  // step, header
};

// What all runs together reached. Places are (file, line).
struct ExploreCoverage {
  std::set<std::string> sections;
  std::set<long long> answers;
  std::set<std::pair<int, long long>> played, skipped, given, shown;
  std::map<std::string, long long> fought, won, lost;
};

ExploreRun& CurrentRun();
ExploreCoverage& Coverage();

// Plays the runs and prints the report; the exit status of the program.
int Explore(const ExploreOptions& options);

#endif  // TOOLS_EXPLORE_EXPLORE_H_
