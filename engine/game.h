// Game: script navigation, the command interpreter, the choice prompt and
// conditional blocks, on the flags of one Game object.
#ifndef ENGINE_GAME_H_
#define ENGINE_GAME_H_

#include <string>

#include "data_stream.h"
#include "globals.h"
#include "player.h"

// The main loop owns one Game, and the battle engine is another; each command
// acts on the flags of the object that runs it.
class Game {
 public:
  bool section_running = false;  // a section or animation is being played
  bool dialog_chained = false;   // "/change_dialog:" ran inside the dialog played
  bool game_running = false;     // cleared by "/end_game"
  Player player;

  // Rewinds `stream` and reads until the line `header`, so that the next read
  // gives the first line of its section. When there is none, reports
  // "<header> does not exist" and leaves the stream at its end. Answers
  // whether the header was found.
  bool findInFile(DataStream& stream, std::string header);

  // Looks `sectionHeader` up, then reads on until the line `wanted`, the next
  // line that begins with "|", or the end of the file. The caller compares
  // `line` with `wanted`.
  void findInSection(std::string sectionHeader, std::string wanted,
                     DataStream& stream);

  // True when `line` begins with "|".
  bool enteredNewSection();

  // Reads the script from where it stands up to the first start statement and
  // sets `location`, `dialog` or `battle` from it; reports "missing start
  // statement" when there is none.
  void findGameBeginning();

  // Runs the command that `line` holds. Its argument lines are read from
  // `source`, the file the command stands in.
  void checkForCommands(DataStream& source = script);

  // The choice prompt of "/get_input".
  void getUserInput();

  // Reads the condition after "/if:" and its argument lines from `source`;
  // answers whether the block is played.
  bool checkConditions(DataStream& source = script);

  // Reads past the block whose condition was false, up to and including its
  // "/end_if".
  void skipCondition(DataStream& source = script);

  // Plays lines from where `source` stands up to the "/end" that clears
  // `section_running`: commands run, text is printed at once or typed out.
  // A header met on the way, or the end of the file, is a missing "/end".
  void playSection(DataStream& source, bool typed);
  // Shows the whole file, then waits for a key.
  void printWholeFile(DataStream& file);

  // Writes `line` and a line break, at once or typed out.
  void print();
  void printWithTypingEffect();
};

#endif  // ENGINE_GAME_H_
