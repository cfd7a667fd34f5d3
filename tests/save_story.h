// A story for the tests of saving and continuing: a typed dialog, choices
// with a word that answers nothing, a key wait, an error report, a clear
// screen and a duel with animations, and its walkthrough.
#ifndef TESTS_SAVE_STORY_H_
#define TESTS_SAVE_STORY_H_

#include <string>
#include <vector>

#include "test_util.h"

namespace save_story {

const char kScript[] =
    "|start_dialog:\nIntro\n"
    "|dialog=Intro\nHi.\n/change_location:\nGate\n/end\n"
    "|location=Gate\nA gate.\n/get_input\n"
    ">>in\n/clear\n/change_location:\nYard\n/end\n"
    ">>look\nA sign.\n/pause\n/end\n"
    ">>lost\n/if:\nFoggy\n/end_if\n/end\n"
    "|location=Yard\nA yard. A rat waits.\n/get_input\n"
    ">>fight\n/change_battle:\nRat\n/end\n"
    ">>back\n/change_location:\nGate\n/end\n"
    "|battle=Rat\n*player_health:\n2\n*PC_health:\n2\n*number_of_moves:\n2\n"
    "*animation_set:\nRat\n"
    "*player_attacks_message:\nAttack!\n*player_attack_1:\n1 bite\n*player_attack_2:\n2 claw\n"
    "*player_defends_message:\nDefend!\n*player_defend_1:\n1 duck\n*player_defend_2:\n2 jump\n"
    "*player_hits_message:\nHit.\n*PC_blocks_message:\nBlocked.\n"
    "*PC_hits_message:\nOuch.\n*player_blocks_message:\nDodged.\n"
    "*player_HP_label:\nYou \n*PC_HP_label:\n, rat \n"
    "*player_wins_result:\nThe rat flees.\n/change_location:\nHall\n"
    "*PC_wins_result:\nThe rat wins.\n/change_location:\nHall\n"
    "|location=Hall\nThe hall.\n/get_input\n>>rest\n/end_game\n/end\n";

const char kAnimations[] =
    "|animation_set=Rat\n"
    "|animation=stand\n(rat)\n/end\n"
    "|animation=player_1_PC_1\nbite-bite\n/wait:\n100\n/end\n"
    "|animation=player_1_PC_2\nbite-claw\n/end\n"
    "|animation=player_2_PC_1\nclaw-bite\n/end\n"
    "|animation=player_2_PC_2\nclaw-claw\n/end\n"
    "|animation=PC_1_player_1\nduck-bite\n/end\n"
    "|animation=PC_1_player_2\njump-bite\n/end\n"
    "|animation=PC_2_player_1\nduck-claw\n/end\n"
    "|animation=PC_2_player_2\njump-claw\n/end\n";

const char kTitle[] = "THE YARD\n";
const char kCredits[] = "THE END\n";

// The walkthrough, read by read: a key is one byte (a line feed, which a
// word read passes over), a word or a number a line. Enough moves for the
// duel to end whichever way the clock draws; the ones left over answer
// nothing at the next prompt.
inline std::vector<std::string> Walkthrough() {
  return {"\n", "look\n", "\n", "xyzzy\n", "lost\n", "\n", "in\n", "fight\n",
          "1\n", "\n", "2\n", "\n", "1\n", "\n", "2\n", "\n", "1\n", "\n",
          "2\n", "\n", "rest\n", "\n"};
}

inline void Write(const ScopedTempDir& dir) {
  dir.Write("script.ostrel", kScript);
  dir.Write("animations.ostrel", kAnimations);
  dir.Write("title_screen.ostrel", kTitle);
  dir.Write("credits.ostrel", kCredits);
}

inline std::string Join(const std::vector<std::string>& reads, size_t from, size_t to) {
  std::string input;
  for (size_t i = from; i < to && i < reads.size(); ++i) input += reads[i];
  return input;
}

// What a piped run shows of the screen: the text since its last clear screen.
inline std::string SinceLastClear(const std::string& output) {
  size_t clear = output.rfind('\f');
  return clear == std::string::npos ? output : output.substr(clear + 1);
}

}  // namespace save_story

#endif  // TESTS_SAVE_STORY_H_
