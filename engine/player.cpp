// Player: progress records and inventory.
#include "player.h"

#include "keywords.h"

namespace {

bool Query(const std::vector<std::string>& record, const char* prefix,
           std::string name) {
  if (name.empty() || name[0] != '|') name = prefix + name;
  for (const std::string& entry : record) {
    if (entry == name) return true;
  }
  return false;
}

}  // namespace

bool Player::LocationWasVisited(std::string name) {
  return Query(locations_visited, kw::kLocationPrefix, std::move(name));
}
bool Player::DialogWasPlayed(std::string name) {
  return Query(dialogs_played, kw::kDialogPrefix, std::move(name));
}
bool Player::BattleWasFought(std::string name) {
  return Query(battles_fought, kw::kBattlePrefix, std::move(name));
}
bool Player::BattleWasWon(std::string name) {
  return Query(battles_won, kw::kBattlePrefix, std::move(name));
}

void Player::SetLocationVisited(std::string header) {
  if (!LocationWasVisited(header)) locations_visited.push_back(header);
}
void Player::SetDialogPlayed(std::string header) {
  if (!DialogWasPlayed(header)) dialogs_played.push_back(header);
}
void Player::SetBattleFought(std::string header) {
  if (!BattleWasFought(header)) battles_fought.push_back(header);
}
void Player::SetBattleWon(std::string header) {
  if (!BattleWasWon(header)) battles_won.push_back(header);
}

void Player::AddToInventory(std::string name, int count) {
  if (count <= 0) return;
  if (!inventory.empty() && inventory.back().name == name) {
    inventory.back().count += count;
  } else {
    inventory.push_back(Units{std::move(name), count});
  }
}

bool Player::HasInInventory(std::string name, int count) {
  long long needed = count;
  for (const Units& units : inventory) {
    if (needed <= 0) break;
    if (units.name == name) needed -= units.count;
  }
  return needed <= 0;
}

void Player::TakeFromInventory(std::string name, int count) {
  long long left = count;
  for (size_t i = 0; i < inventory.size() && left > 0;) {
    Units& units = inventory[i];
    if (units.name != name) {
      ++i;
      continue;
    }
    long long taken = units.count < left ? units.count : left;
    units.count -= taken;
    left -= taken;
    if (units.count == 0) {
      inventory.erase(inventory.begin() + static_cast<long>(i));
      // Keep one entry per run of equal units, so that equal inventories
      // are equal lists.
      if (i > 0 && i < inventory.size() && inventory[i - 1].name == inventory[i].name) {
        inventory[i - 1].count += inventory[i].count;
        inventory.erase(inventory.begin() + static_cast<long>(i));
        --i;
      }
    } else {
      ++i;
    }
  }
}
