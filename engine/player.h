// Player: the record of the player's progress and inventory for one run.
#ifndef ENGINE_PLAYER_H_
#define ENGINE_PLAYER_H_

#include <string>
#include <vector>

// Every Player object reads and writes the same records: they are static and
// live for the whole run. Names are compared whole and exactly.
//
// The four queries take a bare section name or a whole header line; a name
// that does not begin with "|" gets the query's prefix ("|location=" and so
// on) first.
class Player {
 public:
  // Units of one item added at one time, and still held.
  struct Units {
    std::string name;
    long long count;
    bool operator==(const Units& o) const { return name == o.name && count == o.count; }
  };

  bool LocationWasVisited(std::string name);
  bool DialogWasPlayed(std::string name);
  bool BattleWasFought(std::string name);
  bool BattleWasWon(std::string name);

  // Record a whole header line, once.
  void SetLocationVisited(std::string header);
  void SetDialogPlayed(std::string header);
  void SetBattleFought(std::string header);
  void SetBattleWon(std::string header);

  // Adds `count` units of the item; nothing for 0 or less.
  void AddToInventory(std::string name, int count);
  // True when at least `count` units are held; always true for 0 or less.
  bool HasInInventory(std::string name, int count);
  // Removes up to `count` units, the earliest added first.
  void TakeFromInventory(std::string name, int count);

  // The inventory in the order units were added: each entry stands for
  // `count` equal units, so that a large count costs one entry.
  static std::vector<Units> inventory;
  static std::vector<std::string> locations_visited;
  static std::vector<std::string> dialogs_played;
  static std::vector<std::string> battles_fought;
  static std::vector<std::string> battles_won;
};

#endif  // ENGINE_PLAYER_H_
