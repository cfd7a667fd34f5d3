// ostrel: the entry point, the process-wide objects and the main loop.
#include <string>
#include <vector>

#include "battle.h"
#include "console.h"
#include "game.h"
#include "globals.h"
#include "keywords.h"
#include "options.h"
#include "player.h"
#include "save.h"
#include "story_events.h"

// The process-wide objects, created in this order before main runs and
// destroyed in the reverse order after it returns.
DataStream script(kw::kScriptFile);
DataStream animations(kw::kAnimationsFile);
DataStream title_screen(kw::kTitleScreenFile);
DataStream credits(kw::kCreditsFile);
std::string location;
std::string dialog;
std::string battle;
std::string animation;
std::string current_section;
std::string line;
std::vector<Player::Units> Player::inventory;
std::vector<std::string> Player::locations_visited;
std::vector<std::string> Player::dialogs_played;
std::vector<std::string> Player::battles_fought;
std::vector<std::string> Player::battles_won;
int moves = 0;
int player_action = 0;
int PC_action = 0;
int player_health = 0;
int PC_health = 0;
bool battle_requested = false;

namespace {

// Fights the battle whose section the script stands in, turn by turn.
void FightBattle(Battle& engine) {
  long long turn = 1;
  engine.GetInitialPlayerHP();
  engine.GetInitialCompHP();
  engine.GetMovesNum();
  if (player_health < 0) player_health = 0;
  if (PC_health < 0) PC_health = 0;
  if (player_health > 0 && PC_health > 0 && moves < 2) {
    // With one move every blow is blocked, with none no move can be typed.
    Error(battle + " needs at least 2 moves");
    return;
  }
  // The turns are marked in the save, so that the page's Undo can take a
  // whole duel back.
  bool turns = player_health != 0 && PC_health != 0;
  if (turns) JournalDuel(true);
  while (player_health != 0 && PC_health != 0) {
    ClearScreen();
    if (engine.ParameterPresent(kw::kAnimationSet)) {
      engine.playAnimation(kw::kStandAnimation);
    }
    bool attacking = turn % 2 != 0;
    if (attacking) {
      engine.printPlyrAttacksMsg();
    } else {
      engine.printPlyrDefendsMsg();
    }
    engine.GetPlayerAction();
    engine.GetCompActionRandom();
    if (engine.ParameterPresent(kw::kAnimationSet)) {
      engine.getAnimName(turn, player_action, PC_action);
      engine.playAnimation(animation);
    }
    if (attacking) {
      if (player_action != PC_action) {
        engine.printPlyrHitsMsg();
        --PC_health;
      } else {
        engine.printCompBlocksMsg();
      }
    } else {
      if (player_action != PC_action) {
        engine.printCompHitsMsg();
        --player_health;
      } else {
        engine.printPlyrBlocksMsg();
      }
    }
    engine.printPlayerHP();
    engine.printCompHP();
    ++turn;
    KeyWait();
  }
  if (turns) JournalDuel(false);
  OnBattleOutcome(battle, PC_health == 0);
  if (PC_health == 0) {
    engine.player.SetBattleWon(battle);
    engine.ReadPlayerWinsParameter();
  } else {
    engine.ReadCompWinsParameter();
  }
}

// What a pass can change. A pass that asked the player for nothing and left
// all of it as it was will repeat identically for ever.
struct PassState {
  std::string location, dialog, battle;
  bool section_running, dialog_chained, game_running;
  size_t visited, played, fought, won;
  std::vector<Player::Units> inventory;
  unsigned long long inputs;

  static PassState Of(const Game& game) {
    return PassState{::location,
                     ::dialog,
                     ::battle,
                     game.section_running,
                     game.dialog_chained,
                     game.game_running,
                     Player::locations_visited.size(),
                     Player::dialogs_played.size(),
                     Player::battles_fought.size(),
                     Player::battles_won.size(),
                     Player::inventory,
                     InputsRead()};
  }
  bool operator==(const PassState& o) const {
    return inventory == o.inventory && location == o.location && dialog == o.dialog &&
           battle == o.battle && section_running == o.section_running &&
           dialog_chained == o.dialog_chained &&
           game_running == o.game_running && visited == o.visited &&
           played == o.played && fought == o.fought && won == o.won &&
           inputs == o.inputs;
  }
};

// A story that asks the player nothing for this many passes in a row goes
// round for ever, even when each pass changes something (an item added every
// time, two places that send the story to each other).
constexpr int kPassesWithoutInput = 1000;

// One pass of the main loop: the location, dialog and battle phases.
// `passes_without_input` counts the passes in a row that read no input.
void Pass(Game& game, Battle& engine, int& passes_without_input) {
  PassState before = PassState::Of(game);
  std::string first_section;

  if (dialog.empty() && battle.empty()) {
    if (location.empty()) FatalError("no location to play");
    current_section = location;
    first_section = current_section;
    game.findInFile(script, location);
    OnSectionEntered(location);
    game.player.SetLocationVisited(location);
    game.playSection(script, false);
  }

  if (!dialog.empty()) {
    current_section = dialog;
    if (first_section.empty()) first_section = current_section;
    game.findInFile(script, dialog);
    OnSectionEntered(dialog);
    game.player.SetDialogPlayed(dialog);
    game.playSection(script, true);
    if (game.dialog_chained) {
      game.dialog_chained = false;
    } else {
      dialog.clear();
    }
  }

  if (!battle.empty()) {
    current_section = battle;
    if (first_section.empty()) first_section = current_section;
    bool found = game.findInFile(script, battle);
    OnSectionEntered(battle);
    game.player.SetBattleFought(battle);
    // A missing battle has been reported by its lookup and is not fought.
    battle_requested = false;
    engine.game_running = true;
    if (found) FightBattle(engine);
    // "/end_game" in a result text or an animation ends the game too, and
    // "/change_battle:" there sends the story into the next battle.
    if (!engine.game_running) game.game_running = false;
    if (!battle_requested) battle.clear();
  }

  if (!game.game_running) return;
  PassState after = PassState::Of(game);
  passes_without_input = after.inputs == before.inputs ? passes_without_input + 1 : 0;
  if (after == before || passes_without_input >= kPassesWithoutInput) {
    FatalError(first_section + " repeats for ever without asking the player anything");
  }
}

}  // namespace

int main(int argc, char** argv) {
  EngineOptions options;
  if (int status = ReadCommandLine(argc, argv, &options); status >= 0) return status;
  SetTypingEffect(options.typing);
  BeginSave(options.start);
  Game game;
  if (!script.is_open()) Error("missing script file");
  Battle engine;
  if (title_screen.is_open()) game.printWholeFile(title_screen);
  game.findGameBeginning();
  game.game_running = true;
  int passes_without_input = 0;
  while (game.game_running) Pass(game, engine, passes_without_input);
  if (credits.is_open()) game.printWholeFile(credits);
  EndSave();
  return 0;
}
