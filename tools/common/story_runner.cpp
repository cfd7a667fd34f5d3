// Playing a story in this process from a fresh start.
#include "common/story_runner.h"

#include "globals.h"
#include "keywords.h"
#include "player.h"
#include "save.h"

// The engine's entry point, built under this name for the tools.
int OstrelMain(int argc, char** argv);

int PlayStoryOnce(const std::string& dir, const std::vector<std::string>& options) {
  std::string base = dir.empty() ? "." : dir;
  SetStoryDirectory(base);
  script.Open((base + "/" + kw::kScriptFile).c_str());
  animations.Open((base + "/" + kw::kAnimationsFile).c_str());
  title_screen.Open((base + "/" + kw::kTitleScreenFile).c_str());
  credits.Open((base + "/" + kw::kCreditsFile).c_str());
  location.clear();
  dialog.clear();
  battle.clear();
  animation.clear();
  current_section.clear();
  line.clear();
  Player::inventory.clear();
  Player::locations_visited.clear();
  Player::dialogs_played.clear();
  Player::battles_fought.clear();
  Player::battles_won.clear();
  moves = player_action = PC_action = player_health = PC_health = 0;
  battle_requested = false;
  std::vector<std::string> arguments = {"ostrel"};
  arguments.insert(arguments.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(&argument[0]);
  argv.push_back(nullptr);
  try {
    return OstrelMain(static_cast<int>(arguments.size()), argv.data());
  } catch (const RunEnded& ended) {
    return ended.status;
  }
}
