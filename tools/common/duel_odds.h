// The odds of a duel, computed exactly from its section's numbers.
#ifndef TOOLS_COMMON_DUEL_ODDS_H_
#define TOOLS_COMMON_DUEL_ODDS_H_

#include <string>

struct DuelOdds {
  bool computed;          // false: the numbers are beyond what is computed here
  double player_wins;     // the chance that the player wins
  double expected_turns;  // the mean number of turns the duel lasts
};

// The odds of a duel that starts with these health values and this number
// of moves, when the computer's move is uniform and independent of the
// player's: every turn then hits with the chance 1 - 1/moves, whatever the
// player chooses. Health below 0 counts as 0, as in the engine. A duel that
// no turn can end (fewer than 2 moves, both health values above 0) is not
// computed.
DuelOdds ComputeDuelOdds(long long player_health, long long PC_health, long long moves);

// The odds in words, as the tools show them: "the player wins 66.67% of
// duels, in 2.0000 turns on average", or why they are not computed.
std::string DescribeOdds(const DuelOdds& odds);

#endif  // TOOLS_COMMON_DUEL_ODDS_H_
