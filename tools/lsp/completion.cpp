// LanguageServer's completion: the names, keywords and items a line may
// hold where it stands.
#include <algorithm>

#include "check/check.h"
#include "keywords.h"
#include "lsp/request.h"
#include "lsp/server.h"
#include "lsp/text.h"

using namespace lsp;

namespace {

// LSP's completion kinds.
constexpr int kCompletionValue = 12, kCompletionKeyword = 14, kCompletionReference = 18,
              kCompletionEnumMember = 20;

// The battle keywords, with a move line for each move up to `moves`.
std::vector<std::string> BattleKeywords(long long moves) {
  std::vector<std::string> words = {
      kw::kPlayerHealth,         kw::kPCHealth,          kw::kNumberOfMoves,
      kw::kAnimationSet,         kw::kPlayerHPLabel,     kw::kPCHPLabel,
      kw::kPlayerAttacksMessage, kw::kPlayerDefendsMessage, kw::kPlayerHitsMessage,
      kw::kPCBlocksMessage,      kw::kPCHitsMessage,     kw::kPlayerBlocksMessage,
      kw::kPlayerWinsResult,     kw::kPCWinsResult};
  for (long long m = 1; m <= moves && m <= 64; ++m) {
    words.push_back(kw::kPlayerAttackPrefix + std::to_string(m) + ":");
    words.push_back(kw::kPlayerDefendPrefix + std::to_string(m) + ":");
  }
  return words;
}

bool IsItemCommand(const std::string& text) {
  return text == kw::kAddToInventory || text == kw::kTakeFromInventory;
}

bool IsItemCondition(const std::string& text) {
  return text == kw::kHasInInventory || text == kw::kHasNotInInventory;
}

}  // namespace

/* ==== Completion ========================================================= */

json LanguageServer::Completion(const json& params) {
  Place place;
  json items = json::array();
  if (!Locate(params, &place)) return items;
  const Story& story = *place.story;
  const LspIndex& index = story.index;
  const std::vector<std::string>& lines = story.text.lines[place.file];
  auto before = [&](int back) -> std::string {
    int k = place.line - back;
    return k >= 0 ? lines[k] : std::string("\x01");
  };
  const std::string& current = lines[place.line];
  // Each candidate replaces the whole line, so the line's text so far is
  // what the editor filters with.
  json whole = Range(story, TextSpan{place.file, place.line, 0, current.size()});
  std::vector<std::string> seen;
  auto add = [&](const std::string& text, int kind, const std::string& detail) {
    if (std::find(seen.begin(), seen.end(), text) != seen.end()) return;
    seen.push_back(text);
    json item = {{"label", text}, {"kind", kind}, {"textEdit", {{"range", whole}, {"newText", text}}}};
    if (!detail.empty()) item["detail"] = detail;
    items.push_back(item);
  };
  auto names = [&](int kind) {
    for (const LspIndex::Definition& d : index.definitions()) {
      if (d.kind == kind) add(d.header.substr(std::string(LspIndex::kPrefixes[kind]).size()),
                              kCompletionReference, kKindWords[kind]);
    }
  };
  auto item_names = [&]() {
    for (const LspIndex::Item& item : index.items()) {
      if (!item.name.empty()) add(item.name, kCompletionValue, "item");
    }
  };
  auto words = [&](const std::vector<std::string>& list) {
    for (const std::string& word : list) add(word, kCompletionKeyword, "");
  };

  if (place.file == kScriptFile) {
    const std::string one = before(1), two = before(2), three = before(3);
    static const char* const kNamed[][2] = {
        {kw::kChangeLocation, "0"}, {kw::kStartLocation, "0"}, {kw::kChangeDialog, "1"},
        {kw::kStartDialog, "1"},    {kw::kChangeBattle, "2"},  {kw::kStartBattle, "2"}};
    for (const auto& named : kNamed) {
      if (one == named[0]) {
        names(named[1][0] - '0');
        return items;
      }
    }
    if (two == kw::kIf && IsProgressCondition(one)) {
      std::string condition = one;
      names(StartsWith(condition, "Location") ? 0 : StartsWith(condition, "Dialog") ? 1 : 2);
      return items;
    }
    if (one == kw::kIf) {
      std::vector<std::string> conditions(std::begin(kw::kProgressConditions),
                                          std::end(kw::kProgressConditions));
      conditions.push_back(kw::kHasInInventory);
      conditions.push_back(kw::kHasNotInInventory);
      words(conditions);
      return items;
    }
    bool count_before = !one.empty() && one[0] >= '0' && one[0] <= '9';
    if (IsItemCommand(one) || (IsItemCondition(one) && two == kw::kIf) ||
        (count_before && (IsItemCommand(two) || (IsItemCondition(two) && three == kw::kIf)))) {
      item_names();
      return items;
    }
    if (one == kw::kAnimationSet) {
      names(LspIndex::kSet);
      return items;
    }
    const LspIndex::Definition* section = index.Enclosing(kScriptFile, place.line);
    if (section != nullptr && section->kind == 2 && (current.empty() || current[0] == '*')) {
      words(BattleKeywords(section->moves));
      return items;
    }
    if (current.empty() || current[0] == '/') {
      std::vector<std::string> commands(std::begin(kw::kCommands), std::end(kw::kCommands));
      commands.push_back(kw::kEndIf);
      words(commands);
    }
    return items;
  }
  if (place.file == kAnimationsFile) {
    const LspIndex::Definition* set = index.Enclosing(kAnimationsFile, place.line);
    if (set != nullptr && (current.empty() || current[0] == '|')) {
      // The moves of the battles that show this set.
      long long moves = 0;
      for (const LspIndex::Use& u : index.uses()) {
        if (u.header != set->header || u.section < 0) continue;
        moves = std::max(moves, index.definitions()[u.section].moves);
      }
      std::vector<std::string> names = {std::string(kw::kAnimationPrefix) + "stand"};
      for (long long p = 1; p <= moves && p <= 16; ++p) {
        for (long long c = 1; c <= moves && c <= 16; ++c) {
          names.push_back(std::string(kw::kAnimationPrefix) + "player_" + std::to_string(p) +
                          "_PC_" + std::to_string(c));
          names.push_back(std::string(kw::kAnimationPrefix) + "PC_" + std::to_string(c) +
                          "_player_" + std::to_string(p));
        }
      }
      for (const std::string& name : names) add(name, kCompletionEnumMember, "animation");
    } else if (current.empty() || current[0] == '/') {
      words({kw::kEnd, kw::kClear, kw::kWait, kw::kPause});
    }
  }
  return items;
}
