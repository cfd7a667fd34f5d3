// Tests of the names the battle engine builds.
#include "battle.h"

#include <gtest/gtest.h>

#include <type_traits>

#include "console.h"
#include "globals.h"

namespace {

TEST(StringTest, WholeNumbersArePlainDigits) {
  EXPECT_EQ(String(7), "7");
  EXPECT_EQ(String(12), "12");
  EXPECT_EQ(String(0), "0");
  EXPECT_EQ(String(-3), "-3");
  EXPECT_EQ(String(1000000), "1000000");
  EXPECT_EQ(String(2147483647), "2147483647");
  EXPECT_EQ(String(0.5), "0.5");
}

TEST(GetAnimNameTest, TheAttackerIsNamedFirst) {
  Battle engine;
  engine.getAnimName(1, 2, 3);
  EXPECT_EQ(animation, "|animation=player_2_PC_3");
  engine.getAnimName(2, 1, 1);
  EXPECT_EQ(animation, "|animation=PC_1_player_1");
  engine.getAnimName(3, 10, 4);
  EXPECT_EQ(animation, "|animation=player_10_PC_4");
  engine.getAnimName(4, 10, 4);
  EXPECT_EQ(animation, "|animation=PC_4_player_10");
}

// Counts that grow with the player's input (answers, a battle's turns) must
// not wrap within any run, however long.
TEST(CountTest, InputAndTurnCountsHoldSixtyFourBits) {
  static_assert(sizeof(InputsRead()) >= 8, "answers read");
  static_assert(std::is_same<decltype(&Battle::getAnimName),
                             void (Battle::*)(long long, int, int)>::value,
                "battle turns");
  SUCCEED();
}

}  // namespace
