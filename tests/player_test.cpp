// Tests of the progress records and the inventory.
#include "player.h"

#include <gtest/gtest.h>

namespace {

class PlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Player::inventory.clear();
    Player::locations_visited.clear();
    Player::dialogs_played.clear();
    Player::battles_fought.clear();
    Player::battles_won.clear();
  }
  long long Held(const std::string& name) {
    long long total = 0;
    for (const auto& units : Player::inventory) {
      if (units.name == name) total += units.count;
    }
    return total;
  }
  Player player;
};

TEST_F(PlayerTest, BareNameAndHeaderLineGiveTheSameAnswer) {
  player.SetLocationVisited("|location=Forest");
  std::string bare = "Forest";
  EXPECT_TRUE(player.LocationWasVisited(bare));
  EXPECT_EQ(bare, "Forest");  // the caller's string is untouched
  EXPECT_TRUE(player.LocationWasVisited("|location=Forest"));
  EXPECT_FALSE(player.DialogWasPlayed("Forest"));
  player.SetDialogPlayed("|dialog=Chat");
  EXPECT_TRUE(player.DialogWasPlayed("Chat"));
  player.SetBattleFought("|battle=Orc");
  EXPECT_TRUE(player.BattleWasFought("Orc"));
  EXPECT_FALSE(player.BattleWasWon("Orc"));
}

TEST_F(PlayerTest, NameBeginningWithBarIsUsedUnchanged) {
  player.SetBattleWon("|battle=Orc");
  EXPECT_FALSE(player.BattleWasWon("|dialog=Orc"));
  EXPECT_FALSE(player.BattleWasWon("|Orc"));
  // An empty name becomes the prefix alone.
  player.SetLocationVisited("|location=");
  EXPECT_TRUE(player.LocationWasVisited(""));
}

TEST_F(PlayerTest, RecordsHoldEachHeaderOnce) {
  player.SetBattleWon("|battle=Orc");
  player.SetBattleWon("|battle=Orc");
  player.SetLocationVisited("|location=A");
  player.SetLocationVisited("|location=A");
  EXPECT_EQ(Player::battles_won.size(), 1u);
  EXPECT_EQ(Player::locations_visited.size(), 1u);
}

TEST_F(PlayerTest, NamesAreComparedExactly) {
  player.AddToInventory("Key", 1);
  EXPECT_FALSE(player.HasInInventory("key", 1));
  EXPECT_FALSE(player.HasInInventory("Key ", 1));
  player.SetLocationVisited("|location=Hall");
  EXPECT_FALSE(player.LocationWasVisited("Hall "));
  EXPECT_FALSE(player.LocationWasVisited("hall"));
}

TEST_F(PlayerTest, CountsAreAtLeast) {
  player.AddToInventory("Coin", 2);
  EXPECT_TRUE(player.HasInInventory("Coin", 2));
  EXPECT_FALSE(player.HasInInventory("Coin", 3));
  EXPECT_TRUE(player.HasInInventory("Coin", 0));
  EXPECT_TRUE(player.HasInInventory("Nothing", 0));
  player.AddToInventory("Coin", 0);
  player.AddToInventory("Coin", -3);
  EXPECT_EQ(Held("Coin"), 2);
}

TEST_F(PlayerTest, TakingRemovesTheEarliestUnitsFirst) {
  player.AddToInventory("Key", 1);
  player.AddToInventory("Rope", 1);
  player.AddToInventory("Key", 1);
  player.TakeFromInventory("Key", 2);
  ASSERT_EQ(Player::inventory.size(), 1u);
  EXPECT_EQ(Player::inventory[0].name, "Rope");

  player.AddToInventory("Key", 1);
  player.AddToInventory("Gem", 1);
  player.AddToInventory("Key", 1);
  player.TakeFromInventory("Key", 1);
  // The first Key went; Rope, Gem, Key stay in their order.
  ASSERT_EQ(Player::inventory.size(), 3u);
  EXPECT_EQ(Player::inventory[0].name, "Rope");
  EXPECT_EQ(Player::inventory[1].name, "Gem");
  EXPECT_EQ(Player::inventory[2].name, "Key");
}

TEST_F(PlayerTest, TakingMoreThanHeldOrNothingHeld) {
  player.AddToInventory("Arrow", 2);
  player.AddToInventory("Bow", 1);
  player.TakeFromInventory("Arrow", 5);
  EXPECT_EQ(Held("Arrow"), 0);
  EXPECT_EQ(Held("Bow"), 1);
  player.TakeFromInventory("Shield", 1);
  player.TakeFromInventory("Bow", 0);
  EXPECT_EQ(Held("Bow"), 1);
}

TEST_F(PlayerTest, EqualInventoriesAreEqualLists) {
  // Taking what stood between two runs of one item joins them.
  player.AddToInventory("A", 1);
  player.AddToInventory("B", 1);
  player.AddToInventory("A", 1);
  player.TakeFromInventory("B", 1);
  ASSERT_EQ(Player::inventory.size(), 1u);
  EXPECT_EQ(Player::inventory[0].count, 2);
}

TEST_F(PlayerTest, HugeCountsCostOneEntry) {
  player.AddToInventory("Grain", 2000000000);
  player.AddToInventory("Grain", 2000000000);
  EXPECT_EQ(Player::inventory.size(), 1u);
  EXPECT_TRUE(player.HasInInventory("Grain", 2147483647));
  player.TakeFromInventory("Grain", 2147483647);
  EXPECT_EQ(Held("Grain"), 4000000000LL - 2147483647LL);
}

}  // namespace
