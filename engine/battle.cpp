// Battle: parameters, texts, moves and animations of a duel.
#include "battle.h"

#include <cstdlib>
#include <sstream>

#include "console.h"
#include "keywords.h"
#include "save.h"

std::string String(double value) {
  // Whole numbers keep all their digits, so that move 1000000 names
  // "*player_attack_1000000:" and not an exponent form.
  if (value > -9.0e18 && value < 9.0e18 &&
      value == static_cast<double>(static_cast<long long>(value))) {
    return std::to_string(static_cast<long long>(value));
  }
  std::ostringstream text;
  text << value;
  return text.str();
}

/* ==== Parameters and texts ============================================== */

bool Battle::FindParameter(const std::string& keyword) {
  findInSection(battle, keyword, script);
  if (line == keyword) return true;
  // Never take a value or a text from another section's lines.
  Error("missing '" + keyword + "' in " + battle);
  return false;
}

void Battle::ReadParameter(const std::string& keyword) {
  if (FindParameter(keyword)) {
    script.ReadLine(&line);
  } else {
    line.clear();
  }
}

void Battle::PrintParameter(const std::string& keyword) {
  ReadParameter(keyword);
  print();
}

void Battle::GetInitialPlayerHP() {
  ReadParameter(kw::kPlayerHealth);
  player_health = LineNumber(line);
}

void Battle::GetInitialCompHP() {
  ReadParameter(kw::kPCHealth);
  PC_health = LineNumber(line);
}

void Battle::GetMovesNum() {
  ReadParameter(kw::kNumberOfMoves);
  moves = LineNumber(line);
}

bool Battle::ParameterPresent(std::string keyword) {
  findInFile(script, battle);
  if (line == keyword) return true;
  ConditionArguments arguments;
  bool at_boundary = false;
  bool stopped = script.ReadUntil(&line, [&](const char* text, size_t size) {
    bool is_argument = arguments.Next(text, size);
    at_boundary = !is_argument && IsBoundaryLine(text, size);
    return at_boundary || SameLine(text, size, keyword);
  });
  // A read that found nothing left (an empty line at the end of the file)
  // answers no, whatever the keyword.
  if (stopped) return !at_boundary && !(script.eof() && line.empty());
  // The scan ended with the file: the search reads once more and finds nothing.
  script.ReadLine(&line);
  return false;
}

void Battle::PrintMenu(const char* message, const char* option_prefix) {
  PrintParameter(message);
  for (int i = 1; i <= moves; ++i) {
    PrintParameter(option_prefix + String(i) + ":");
  }
}

void Battle::printPlyrAttacksMsg() {
  PrintMenu(kw::kPlayerAttacksMessage, kw::kPlayerAttackPrefix);
}

void Battle::printPlyrDefendsMsg() {
  PrintMenu(kw::kPlayerDefendsMessage, kw::kPlayerDefendPrefix);
}

void Battle::printPlyrHitsMsg() { PrintParameter(kw::kPlayerHitsMessage); }
void Battle::printCompBlocksMsg() { PrintParameter(kw::kPCBlocksMessage); }
void Battle::printCompHitsMsg() { PrintParameter(kw::kPCHitsMessage); }
void Battle::printPlyrBlocksMsg() { PrintParameter(kw::kPlayerBlocksMessage); }

void Battle::printPlayerHP() {
  ReadParameter(kw::kPlayerHPLabel);
  Write(line + std::to_string(player_health));
}

void Battle::printCompHP() {
  ReadParameter(kw::kPCHPLabel);
  Write(line + std::to_string(PC_health));
  Flush();
}

void Battle::RunResultText(const std::string& keyword) {
  if (!FindParameter(keyword)) return;
  // The text runs to the next line that begins with "*" or "|", or to the end
  // of the file; "/end" does not end it.
  while (script.ReadLine(&line)) {
    if (!line.empty() && (line[0] == '*' || line[0] == '|')) return;
    if (!line.empty() && line[0] == '/') {
      checkForCommands(script);
    } else {
      print();
    }
  }
}

void Battle::ReadPlayerWinsParameter() {
  player.SetBattleWon(battle);
  RunResultText(kw::kPlayerWinsResult);
}

void Battle::ReadCompWinsParameter() { RunResultText(kw::kPCWinsResult); }

/* ==== Moves ============================================================= */

void Battle::GetPlayerAction() {
  // Numbers out of range are passed over without a word: the menu is the
  // only prompt.
  for (;;) {
    long long move = ReadNumber();
    if (move >= 1 && move <= moves) {
      player_action = static_cast<int>(move);
      return;
    }
  }
}

void Battle::GetCompActionRandom() {
  // Seeded anew at every draw: two draws within one second give one move.
  // The clock is the journal's while a saved game is restored.
  srand(static_cast<unsigned>(JournaledTime()));
  PC_action = rand() % moves + 1;
}

/* ==== Animations ======================================================== */

void Battle::getAnimName(long long turn, int player_action, int PC_action) {
  std::string player_text = String(player_action);
  std::string PC_text = String(PC_action);
  if (turn % 2 != 0) {
    animation = std::string(kw::kAnimationPrefix) + "player_" + player_text +
                "_PC_" + PC_text;
  } else {
    animation = std::string(kw::kAnimationPrefix) + "PC_" + PC_text +
                "_player_" + player_text;
  }
}

void Battle::getAnimationSetName() {
  ReadParameter(kw::kAnimationSet);
  animation_set = kw::kAnimationSetPrefix + line;
}

void Battle::playAnimation(std::string name) {
  getAnimationSetName();
  bool set_found = findInFile(animations, animation_set);
  bool reported = false;
  while (line != name) {
    bool stopped = animations.ReadUntil(&line, [&](const char* text, size_t size) {
      return SameLine(text, size, name) || LooksLikeSetHeader(text, size);
    });
    if (!stopped) {
      // The file ended: the scan's last read finds nothing left. A missing
      // set has been reported already; an animation missing from the file's
      // last set is reported here.
      animations.ReadLine(&line);
      if (set_found && !reported) Error(name + " not found within " + animation_set);
      return;
    }
    if (LooksLikeSetHeader(line.data(), line.size())) {
      Error(name + " not found within " + animation_set);
      reported = true;
    }
  }
  playSection(animations, false);
}
