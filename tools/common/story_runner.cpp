// Playing a story in this process from a fresh start.
#include "common/story_runner.h"

#include "globals.h"
#include "keywords.h"
#include "player.h"

// The engine's entry point, built under this name for the tools.
int OstrelMain(int argc, char** argv);

int PlayStoryOnce(const std::string& dir) {
  std::string base = dir.empty() ? "." : dir;
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
  try {
    // ostrel as started with no option.
    char name[] = "ostrel";
    char* args[] = {name, nullptr};
    return OstrelMain(1, args);
  } catch (const RunEnded& ended) {
    return ended.status;
  }
}
