// Battle: the battle engine, a Game with flags of its own, which reads a
// battle section's parameters and texts and plays its animations.
#ifndef ENGINE_BATTLE_H_
#define ENGINE_BATTLE_H_

#include <string>

#include "game.h"

// The current battle is the section whose header `battle` holds. Every
// parameter is looked up from the top of the script at the moment it is
// needed; nothing is remembered between reads.
class Battle : public Game {
 public:
  // The header line of the current battle's animation set.
  std::string animation_set;

  // The starting numbers: `player_health`, `PC_health` and `moves`.
  void GetInitialPlayerHP();
  void GetInitialCompHP();
  void GetMovesNum();

  // True when a line equal to `keyword` stands in the current battle section.
  bool ParameterPresent(std::string keyword);

  // The attack and defence menus: the message, then options 1 to `moves`.
  void printPlyrAttacksMsg();
  void printPlyrDefendsMsg();

  // The outcome messages of a turn.
  void printPlyrHitsMsg();
  void printCompBlocksMsg();
  void printCompHitsMsg();
  void printPlyrBlocksMsg();

  // A label and a health value, with no line break.
  void printPlayerHP();
  void printCompHP();

  // The result texts; the first records the battle as won before it runs.
  void ReadPlayerWinsParameter();
  void ReadCompWinsParameter();

  // The player's typed move, from 1 to `moves`, into `player_action`.
  void GetPlayerAction();
  // The computer's move into `PC_action`, drawn right after seeding the C
  // library's generator with the current second.
  void GetCompActionRandom();

  // Stores the header line of the turn's move animation in `animation`.
  void getAnimName(long long turn, int player_action, int PC_action);
  // Finds the animation `name` in the battle's set and plays it.
  void playAnimation(std::string name);
  // Sets `animation_set` from the battle's "*animation_set:" parameter.
  void getAnimationSetName();

 private:
  // Looks `keyword` up in the battle section; a missing one is reported.
  bool FindParameter(const std::string& keyword);
  // Looks `keyword` up in the battle section and reads its value into `line`.
  // A missing parameter is reported and reads as an empty line.
  void ReadParameter(const std::string& keyword);
  void PrintParameter(const std::string& keyword);
  void PrintMenu(const char* message, const char* option_prefix);
  void RunResultText(const std::string& keyword);
};

// A number as text, the way a default-formatted output string stream writes
// it: plain decimal digits for the whole numbers the engine passes.
std::string String(double value);

#endif  // ENGINE_BATTLE_H_
