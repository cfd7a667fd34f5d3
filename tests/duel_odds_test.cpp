// Tests of the duel odds: small duels worked out by hand, and larger ones
// against a simulation of a million duels fought by the engine's rule.
#include "common/duel_odds.h"

#include <gtest/gtest.h>
#include <random>

namespace {

TEST(DuelOddsTest, OneHealthEachWithTwoMoves) {
  // Turn 1 hits with 1/2: a win. Else turn 2 hits with 1/2: a loss. Else
  // again: P = 1/2 + 1/4 P, so P = 2/3; E = 1/2 + 2/4 + 1/4 (2 + E) = 2.
  DuelOdds odds = ComputeDuelOdds(1, 1, 2);
  ASSERT_TRUE(odds.computed);
  EXPECT_NEAR(odds.player_wins, 2.0 / 3.0, 1e-12);
  EXPECT_NEAR(odds.expected_turns, 2.0, 1e-12);
}

TEST(DuelOddsTest, OneHealthEachWithThreeMoves) {
  // q = 2/3: P = q / (1 - (1 - q)^2) = 3/4; E = (2/3 + 4/9 + 2/9) / (8/9) = 3/2.
  DuelOdds odds = ComputeDuelOdds(1, 1, 3);
  EXPECT_NEAR(odds.player_wins, 0.75, 1e-12);
  EXPECT_NEAR(odds.expected_turns, 1.5, 1e-12);
}

TEST(DuelOddsTest, HealthOfZeroDecidesAtOnce) {
  DuelOdds win = ComputeDuelOdds(3, 0, 2);
  EXPECT_EQ(win.player_wins, 1.0);
  EXPECT_EQ(win.expected_turns, 0.0);
  DuelOdds both = ComputeDuelOdds(0, 0, 2);  // the player wins when both are 0
  EXPECT_EQ(both.player_wins, 1.0);
  DuelOdds loss = ComputeDuelOdds(-5, 2, 2);  // below 0 counts as 0
  EXPECT_EQ(loss.player_wins, 0.0);
  EXPECT_FALSE(ComputeDuelOdds(3, 3, 1).computed);  // no turn can end it
}

// Fights `duels` duels by the engine's rule: each side picks a move at random,
// equal moves block, different ones hit.
void Simulate(int player, int PC, int moves, int duels, double* wins, double* turns) {
  std::mt19937_64 random(12345);
  std::uniform_int_distribution<int> move(1, moves);
  long long won = 0, total_turns = 0;
  for (int d = 0; d < duels; ++d) {
    int p = player, c = PC, turn = 1;
    while (p != 0 && c != 0) {
      bool hit = move(random) != move(random);
      if (hit) (turn % 2 != 0 ? c : p) -= 1;
      ++turn;
    }
    won += c == 0;
    total_turns += turn - 1;
  }
  *wins = static_cast<double>(won) / duels;
  *turns = static_cast<double>(total_turns) / duels;
}

TEST(DuelOddsTest, AgreesWithAMillionSimulatedDuels) {
  struct Case {
    int player, PC, moves;
  };
  for (Case c : {Case{5, 4, 3}, Case{3, 6, 2}, Case{8, 8, 4}}) {
    double wins, turns;
    Simulate(c.player, c.PC, c.moves, 1000000, &wins, &turns);
    DuelOdds odds = ComputeDuelOdds(c.player, c.PC, c.moves);
    ASSERT_TRUE(odds.computed);
    // Four standard errors of a million duels.
    EXPECT_NEAR(odds.player_wins, wins, 0.002) << c.player << " " << c.PC << " " << c.moves;
    EXPECT_NEAR(odds.expected_turns, turns, 0.03) << c.player << " " << c.PC << " " << c.moves;
  }
}

TEST(DuelOddsTest, LargeHealthStaysExactAndFair) {
  // With equal health the attacker of the first turn has the edge, and the
  // mean length is close to twice the turns a side needs.
  DuelOdds odds = ComputeDuelOdds(100000, 100000, 2);
  ASSERT_TRUE(odds.computed);
  EXPECT_GT(odds.player_wins, 0.5);
  EXPECT_LT(odds.player_wins, 0.51);
  EXPECT_NEAR(odds.expected_turns / 400000.0, 1.0, 0.01);
}

}  // namespace
