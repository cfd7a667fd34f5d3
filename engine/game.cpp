// Game: script navigation, commands and the choice prompt, conditions.
#include "game.h"

#include "console.h"
#include "keywords.h"
#include "save.h"
#include "story_events.h"
#include "terminal_input.h"

/* ==== Navigation ======================================================== */

bool Game::findInFile(DataStream& stream, std::string header) {
  stream.Rewind();
  ConditionArguments arguments;
  bool found = stream.ReadUntil(&line, [&](const char* text, size_t size) {
    bool is_argument = arguments.Next(text, size);
    return !is_argument && SameLine(text, size, header);
  });
  if (found) return true;
  Error(header + " does not exist");
  return false;
}

void Game::findInSection(std::string sectionHeader, std::string wanted,
                         DataStream& stream) {
  // When the section is missing its lookup has reported it and left the
  // stream at its end, so the reads below find nothing.
  findInFile(stream, sectionHeader);
  ConditionArguments arguments;
  stream.ReadUntil(&line, [&](const char* text, size_t size) {
    bool is_argument = arguments.Next(text, size);
    return SameLine(text, size, wanted) || (!is_argument && IsBoundaryLine(text, size));
  });
}

bool Game::enteredNewSection() { return IsBoundaryLine(line.data(), line.size()); }

void Game::findGameBeginning() {
  static const std::string kStatements[] = {kw::kStartLocation, kw::kStartDialog,
                                            kw::kStartBattle};
  bool found = script.ReadUntil(&line, [](const char* text, size_t size) {
    for (const std::string& statement : kStatements) {
      if (SameLine(text, size, statement)) return true;
    }
    return false;
  });
  // A story without a beginning cannot be played at all.
  if (!found) FatalError("missing start statement");
  std::string statement = line;
  script.ReadLine(&line);
  if (statement == kw::kStartLocation) {
    location = kw::kLocationPrefix + line;
  } else if (statement == kw::kStartDialog) {
    dialog = kw::kDialogPrefix + line;
  } else {
    battle = kw::kBattlePrefix + line;
  }
}

void Game::playSection(DataStream& source, bool typed) {
  section_running = true;
  while (section_running) {
    if (!source.ReadLine(&line)) {
      // The file ended before "/end" (or the section was not found).
      Error("missing '/end' statement");
      return;
    }
    if (!line.empty() && line[0] == '/') {
      checkForCommands(source);
    } else if (enteredNewSection()) {
      // Ran into the next section: report it and play on.
      Error("missing '/end' statement");
    } else if (typed) {
      printWithTypingEffect();
    } else {
      print();
    }
  }
}

void Game::printWholeFile(DataStream& file) {
  while (!file.eof()) {
    file.ReadLine(&line);
    Write(line);
    Write("\n");
  }
  KeyWait();
}

/* ==== Commands ========================================================== */

namespace {

// The optional count line of the inventory commands and conditions: a line
// that begins with a digit is the count, and the item's name follows.
int ReadCountAndName(DataStream& source) {
  int count = 1;
  source.ReadLine(&line);
  if (!line.empty() && line[0] >= '0' && line[0] <= '9') {
    count = LineNumber(line);
    source.ReadLine(&line);
  }
  return count;
}

}  // namespace

void Game::checkForCommands(DataStream& source) {
  if (line == kw::kEnd) {  // command -> "/end"
    section_running = false;
  } else if (line == kw::kPause) {  // command -> "/pause"
    KeyWait();
  } else if (line == kw::kClear) {  // command -> "/clear"
    ClearScreen();
  } else if (line == kw::kWait) {  // command -> "/wait:" milliseconds
    source.ReadLine(&line);
    Pause(LineNumber(line));
  } else if (line == kw::kGetInput) {  // command -> "/get_input"
    getUserInput();
  } else if (line == kw::kIf) {  // command -> "/if:" condition ... "/end_if"
    long long if_line = source.line_number();
    bool played = checkConditions(source);
    OnBlock(source, if_line, played);
    if (!played) skipCondition(source);
  } else if (line == kw::kEndGame) {  // command -> "/end_game"
    game_running = false;
  } else if (line == kw::kChangeLocation) {  // command -> "/change_location:" name
    source.ReadLine(&line);
    location = kw::kLocationPrefix + line;
  } else if (line == kw::kChangeDialog) {  // command -> "/change_dialog:" name
    // Inside the dialog being played, the change is carried past the dialog's
    // end, and a later change in the same dialog keeps it so; elsewhere the
    // dialog named is played in the same pass.
    if (current_section == dialog) {
      dialog_chained = true;
    } else if (!StartsWith(current_section, kw::kDialogPrefix)) {
      dialog_chained = false;
    }
    source.ReadLine(&line);
    dialog = kw::kDialogPrefix + line;
  } else if (line == kw::kChangeBattle) {  // command -> "/change_battle:" name
    source.ReadLine(&line);
    battle = kw::kBattlePrefix + line;
    battle_requested = true;
  } else if (line == kw::kAddToInventory) {  // command -> "/add_to_inventory:" [count] name
    int count = ReadCountAndName(source);
    OnItemGiven(source, source.line_number());
    player.AddToInventory(line, count);
  } else if (line == kw::kTakeFromInventory) {  // command -> "/take_from_inventory:" [count] name
    int count = ReadCountAndName(source);
    player.TakeFromInventory(line, count);
  }
  // Any other line does nothing, "/end_if" among them.
}

void Game::getUserInput() {
  // An answer whose block begins with "/get_input" asks again at once. That
  // prompt is the last thing the answer does, so it is taken here in a loop
  // rather than one call deeper: a menu that comes back to itself can be
  // answered any number of times.
  do {
    for (bool prompt = true;;) {
      if (prompt) Write(">");
      std::string word = ReadWord();
      // A word cut short for its length matches no choice, not even one
      // that begins like it.
      if (word.size() <= kMaxWordBytes) {
        std::string wanted = kw::kChoiceMark + word;
        findInSection(current_section, wanted, script);
        if (line == wanted) break;
      }
      // A restored game that ends at this word takes it back: the prompt
      // stands for the player's own answer.
      prompt = !JournalUnanswered();
    }
    OnAnswer(script.line_number());
    // Further answers of the same choice lead to the same block.
    do {
      script.ReadLine(&line);
    } while (StartsWith(line, kw::kChoiceMark));
  } while (line == kw::kGetInput);
  checkForCommands(script);
}

/* ==== Conditions ======================================================== */

bool Game::checkConditions(DataStream& source) {
  source.ReadLine(&line);
  std::string condition = line;
  if (IsProgressCondition(condition)) {
    std::string name;
    source.ReadLine(&name);
    if (condition == kw::kLocationVisited) return player.LocationWasVisited(name);
    if (condition == kw::kLocationNotVisited) return !player.LocationWasVisited(name);
    if (condition == kw::kDialogPlayed) return player.DialogWasPlayed(name);
    if (condition == kw::kDialogNotPlayed) return !player.DialogWasPlayed(name);
    if (condition == kw::kBattleWon) return player.BattleWasWon(name);
    if (condition == kw::kBattleNotWon) return !player.BattleWasWon(name);
    if (condition == kw::kBattleFought) return player.BattleWasFought(name);
    return !player.BattleWasFought(name);  // BattleNotFought:
  }
  if (condition == kw::kHasInInventory || condition == kw::kHasNotInInventory) {
    bool wants_held = condition == kw::kHasInInventory;
    int count = ReadCountAndName(source);
    return player.HasInInventory(line, count) == wants_held;
  }
  Error("condition '" + line + "' not recognized");
  // An unknown condition's block is passed over, not played as text.
  return false;
}

void Game::skipCondition(DataStream& source) {
  int depth = 1;
  ConditionArguments arguments;
  while (depth != 0) {
    if (!source.ReadLine(&line)) {
      Error("missing '/end_if' statement");
      return;
    }
    bool is_argument = arguments.Next(line);
    if (line == kw::kEndIf) {
      --depth;
    } else if (line == kw::kIf) {
      ++depth;
    } else if (!is_argument && enteredNewSection()) {
      Error("missing '/end_if' statement");
    }
  }
}
