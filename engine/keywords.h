// Every keyword of the data files, in one place for the engine and its tools.
// Keywords are whole lines, matched exactly and case-sensitively.
#ifndef ENGINE_KEYWORDS_H_
#define ENGINE_KEYWORDS_H_

#include <cstddef>
#include <cstring>
#include <string>

namespace kw {

// Section headers and start statements of the script.
constexpr const char* kLocationPrefix = "|location=";
constexpr const char* kDialogPrefix = "|dialog=";
constexpr const char* kBattlePrefix = "|battle=";
constexpr const char* kStartLocation = "|start_location:";
constexpr const char* kStartDialog = "|start_dialog:";
constexpr const char* kStartBattle = "|start_battle:";

// Commands, in the order the interpreter tries them.  ORDER COMMANDS
constexpr const char* kEnd = "/end";
constexpr const char* kPause = "/pause";
constexpr const char* kClear = "/clear";
constexpr const char* kWait = "/wait:";
constexpr const char* kGetInput = "/get_input";
constexpr const char* kIf = "/if:";
constexpr const char* kEndGame = "/end_game";
constexpr const char* kChangeLocation = "/change_location:";
constexpr const char* kChangeDialog = "/change_dialog:";
constexpr const char* kChangeBattle = "/change_battle:";
constexpr const char* kAddToInventory = "/add_to_inventory:";
constexpr const char* kTakeFromInventory = "/take_from_inventory:";
constexpr const char* kEndIf = "/end_if";
constexpr const char* kCommands[] = {
    kEnd,           kPause,          kClear,         kWait,
    kGetInput,      kIf,             kEndGame,       kChangeLocation,
    kChangeDialog,  kChangeBattle,   kAddToInventory, kTakeFromInventory};

// The mark of a choice line at the prompt.
constexpr const char* kChoiceMark = ">>";

// Conditions of "/if:".  ORDER CONDITIONS
constexpr const char* kLocationVisited = "LocationVisited:";
constexpr const char* kLocationNotVisited = "LocationNotVisited:";
constexpr const char* kDialogPlayed = "DialogPlayed:";
constexpr const char* kDialogNotPlayed = "DialogNotPlayed:";
constexpr const char* kBattleWon = "BattleWon:";
constexpr const char* kBattleNotWon = "BattleNotWon:";
constexpr const char* kBattleFought = "BattleFought:";
constexpr const char* kBattleNotFought = "BattleNotFought:";
constexpr const char* kHasInInventory = "HasInInventory:";
constexpr const char* kHasNotInInventory = "HasNotInInventory:";
constexpr const char* kProgressConditions[] = {
    kLocationVisited, kLocationNotVisited, kDialogPlayed, kDialogNotPlayed,
    kBattleWon,       kBattleNotWon,       kBattleFought, kBattleNotFought};

// Battle parameters.
constexpr const char* kPlayerHealth = "*player_health:";
constexpr const char* kPCHealth = "*PC_health:";
constexpr const char* kNumberOfMoves = "*number_of_moves:";
constexpr const char* kAnimationSet = "*animation_set:";
constexpr const char* kPlayerHPLabel = "*player_HP_label:";
constexpr const char* kPCHPLabel = "*PC_HP_label:";
constexpr const char* kPlayerAttacksMessage = "*player_attacks_message:";
constexpr const char* kPlayerAttackPrefix = "*player_attack_";
constexpr const char* kPlayerDefendsMessage = "*player_defends_message:";
constexpr const char* kPlayerDefendPrefix = "*player_defend_";
constexpr const char* kPlayerHitsMessage = "*player_hits_message:";
constexpr const char* kPCBlocksMessage = "*PC_blocks_message:";
constexpr const char* kPCHitsMessage = "*PC_hits_message:";
constexpr const char* kPlayerBlocksMessage = "*player_blocks_message:";
constexpr const char* kPlayerWinsResult = "*player_wins_result:";
constexpr const char* kPCWinsResult = "*PC_wins_result:";

// The animations file.
constexpr const char* kAnimationSetPrefix = "|animation_set=";
constexpr const char* kAnimationPrefix = "|animation=";
constexpr const char* kStandAnimation = "|animation=stand";

// The four data files, in the order they are opened.
constexpr const char* kScriptFile = "script.ostrel";
constexpr const char* kAnimationsFile = "animations.ostrel";
constexpr const char* kTitleScreenFile = "title_screen.ostrel";
constexpr const char* kCreditsFile = "credits.ostrel";

}  // namespace kw

// True when `text` begins with `prefix` (a header's, say).
bool StartsWith(const std::string& text, const char* prefix);

// True when `text` is one of the eight conditions on the player's progress,
// whose argument line is a section name.
bool IsProgressCondition(const std::string& text);
bool IsProgressCondition(const char* data, size_t size);

// Tells, line by line, which lines of a scan are the argument line of a
// progress condition: the line after "/if:" and a progress condition. Such a
// line is data even when it is written as a header ("|location=Forest"), so
// scans take it neither for a header nor for the end of a section.
class ConditionArguments {
 public:
  // Give every line of the scan in order; answers whether this one is such
  // an argument line.
  bool Next(const std::string& text) { return Next(text.data(), text.size()); }
  // The same for the `size` bytes at `data`, a line where it lies.
  bool Next(const char* data, size_t size) {
    bool is_argument = argument_next_;
    argument_next_ = after_if_ && IsProgressCondition(data, size);
    // The length first: most lines are told apart without reading them.
    constexpr size_t kIfLength = std::char_traits<char>::length(kw::kIf);
    after_if_ = size == kIfLength && std::memcmp(data, kw::kIf, kIfLength) == 0;
    return is_argument;
  }

 private:
  bool after_if_ = false;
  bool argument_next_ = false;
};

#endif  // ENGINE_KEYWORDS_H_
