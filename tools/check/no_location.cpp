// A story that starts with a dialog or a battle and can end it with no
// location set: the engine then has no location to play and stops. The
// passes of the main loop are followed from the start statement, with the
// player's records as they stand at each one, until every path has set a
// location or ended the game.
#include <algorithm>
#include <deque>
#include <map>
#include <set>

#include "check/checker.h"
#include "keywords.h"

namespace {

// The player's records on a path from the start, before any location is
// played: exact, since the path says everything that happened.
struct Records {
  std::set<std::string> played, fought, won;
  std::map<std::string, long long> items;  // units held, by name

  std::string Key() const {
    std::string key;
    for (const std::set<std::string>* record : {&played, &fought, &won}) {
      for (const std::string& header : *record) key += header + '\n';
      key += '\x01';
    }
    for (const auto& item : items) key += item.first + '\n' + std::to_string(item.second) + '\n';
    return key;
  }
};

// The item changes of a path up to `count` of them, as the engine makes
// them: a count of 0 or less gives or takes nothing.
void ApplyItems(const Checker::Outcome& o, size_t count, std::map<std::string, long long>* items) {
  for (size_t k = 0; k < count && k < o.items.size(); ++k) {
    std::string name = o.items[k].substr(1);
    long long units = o.counts[k];
    if (units <= 0) continue;
    long long& held = (*items)[name];
    held = o.items[k][0] == '+' ? held + units : std::max(0LL, held - units);
    if (held == 0) items->erase(name);
  }
}

// Whether every condition on the path holds with the records at its start.
bool Holds(const Checker::Outcome& o, const Records& records) {
  using Literal = Checker::Literal;
  for (const Literal& l : o.literals) {
    bool is = false;
    switch (l.kind) {
      case Literal::kVisited:
        is = false;  // no location has been played yet
        break;
      case Literal::kPlayed:
        is = records.played.count(l.header) != 0;
        break;
      case Literal::kWon:
        is = records.won.count(l.header) != 0;
        break;
      case Literal::kFought:
        is = records.fought.count(l.header) != 0;
        break;
      case Literal::kHeld: {
        std::map<std::string, long long> items = records.items;
        ApplyItems(o, l.after_items, &items);
        auto held = items.find(l.header);
        is = l.count <= (held == items.end() ? 0 : held->second);
        break;
      }
    }
    if (is != l.holds) return false;
  }
  return true;
}

// One pass about to begin: what is pending, the records, and how the story
// came here.
struct Pass {
  int dialog;
  int battle;
  Records records;
  std::string trail;
};

// The first word of a group's words ("north / n").
std::string FirstWord(const std::string& words) { return words.substr(0, words.find(" / ")); }

}  // namespace

void Checker::CheckNoLocation() {
  if (start_line_ < 0 || start_kind_ == kLocation || start_target_ < 0) return;
  const LineTable& script = Lines(StoryFile::kScript);
  const LineTable& animations = Lines(StoryFile::kAnimations);
  // An animation that changes a section or ends the game makes a battle's
  // course unknown here.
  bool animations_act = false;
  for (int i = 0; i < animations.size() && !animations_act; ++i) {
    std::string_view text = animations[i];
    animations_act = text == kw::kChangeLocation || text == kw::kChangeDialog || text == kw::kChangeBattle ||
                     text == kw::kEndGame;
  }

  // The walks of the sections met, made once each: a dialog's paths from
  // its header and from each of its answers; a battle's result texts.
  struct Walks {
    std::vector<Outcome> header;
    std::vector<std::pair<std::string, std::vector<Outcome>>> answers;
    std::vector<Outcome> won, lost;
    bool can_win = false, can_lose = false, fights = false, known = true;
  };
  std::map<int, Walks> walks;
  // The paths weighed, at most: a story whose start has more is passed.
  long work = 200000;
  quiet_walk_ = true;
  targets_.clear();
  auto walks_of = [&](int s) -> const Walks& {
    auto found = walks.find(s);
    if (found != walks.end()) return found->second;
    Walks& w = walks[s];
    const Section& section = sections_[static_cast<size_t>(s)];
    walk_budget_ = 16L * (section.end - section.first) + 1000;
    if (section.kind == kDialog) {
      Walk(s, section.first + 1, "", false, &w.header);
      for (const auto& group : AnswerGroups(section)) {
        if (group.second.empty()) continue;
        int k = group.first;
        while (k < section.end && StartsWith(script[k], kw::kChoiceMark)) ++k;
        if (k < section.end && (script[k].empty() || script[k][0] != '/')) ++k;
        w.answers.emplace_back(group.second, std::vector<Outcome>());
        Walk(s, k, group.second, false, &w.answers.back().second);
      }
      return w;
    }
    // A battle, as the engine fights it: health below 0 counts as 0; with
    // both above 0 and fewer than 2 moves it is not fought.
    auto number = [&](const char* keyword) {
      int k = FindLine(section, keyword);
      return k >= 0 && k + 1 < section.end ? NumberOf(script[k + 1]) : 0;
    };
    long long player = std::max(0LL, number(kw::kPlayerHealth));
    long long PC = std::max(0LL, number(kw::kPCHealth));
    long long moves = number(kw::kNumberOfMoves);
    w.fights = !(player > 0 && PC > 0 && moves < 2);
    w.can_win = PC == 0 || player > 0;
    w.can_lose = PC > 0;
    w.known = !(animations_act && FindLine(section, kw::kAnimationSet) >= 0);
    for (const char* keyword : {kw::kPlayerWinsResult, kw::kPCWinsResult}) {
      std::vector<Outcome>& outcomes = keyword == kw::kPlayerWinsResult ? w.won : w.lost;
      int k = FindLine(section, keyword);
      if (k < 0) {
        outcomes.emplace_back();  // the text is missing: nothing is set
      } else {
        Walk(s, k + 1, "", true, &outcomes);
      }
    }
    return w;
  };

  // The end of a dialog: each way through it, past its prompts, with the
  // records it leaves and the answers given.
  struct End {
    const Outcome* outcome;
    Records records;
    std::string answers;
  };
  auto ends_of = [&](int s, const Records& at_start) {
    std::vector<End> ends;
    const Walks& w = walks_of(s);
    struct Step {
      const std::vector<Outcome>* paths;
      Records records;
      std::string answers;
    };
    std::deque<Step> queue{Step{&w.header, at_start, ""}};
    std::set<std::string> seen;
    size_t budget = 2000;
    while (!queue.empty() && budget-- > 0) {
      Step step = std::move(queue.front());
      queue.pop_front();
      for (const Outcome& o : *step.paths) {
        if (--work < 0) return ends;
        if (o.unknown || o.broken || !Holds(o, step.records)) continue;
        Records after = step.records;
        ApplyItems(o, o.items.size(), &after.items);
        if (!o.asked) {
          ends.push_back(End{&o, std::move(after), step.answers});
          continue;
        }
        // A prompt: any answer of the section can follow.
        if (!seen.insert(after.Key()).second) continue;
        for (const auto& answer : w.answers) {
          std::string given = step.answers + (step.answers.empty() ? "" : ", ") + "'" + FirstWord(answer.first) + "'";
          queue.push_back(Step{&answer.second, after, given});
        }
      }
    }
    return ends;
  };

  std::deque<Pass> passes;
  Pass first{start_kind_ == kDialog ? start_target_ : -1, start_kind_ == kBattle ? start_target_ : -1, Records(), ""};
  passes.push_back(first);
  std::set<std::string> seen;
  size_t budget = 5000;
  auto step_text = [&](int s, const std::string& how) {
    return std::string(sections_[static_cast<size_t>(s)].header) + (how.empty() ? "" : " (" + how + ")");
  };
  auto join = [](const std::string& trail, const std::string& step) {
    return trail.empty() ? step : trail + " -> " + step;
  };
  std::string found;
  while (!passes.empty() && budget-- > 0 && work > 0) {
    Pass pass = std::move(passes.front());
    passes.pop_front();
    if (pass.dialog < 0 && pass.battle < 0) {
      found = pass.trail;
      break;
    }
    std::string key = std::to_string(pass.dialog) + ' ' + std::to_string(pass.battle) + ' ' + pass.records.Key();
    if (!seen.insert(key).second) continue;
    // The battle phase of the pass, after its dialog phase left `dialog`
    // and `battle` pending and the records `records`.
    auto fight = [&](int dialog, int battle, const Records& records, const std::string& trail) {
      if (battle < 0) {
        passes.push_back(Pass{dialog, -1, records, trail});
        return;
      }
      const Walks& w = walks_of(battle);
      if (!w.known) return;
      Records fought = records;
      fought.fought.insert(std::string(sections_[static_cast<size_t>(battle)].header));
      if (!w.fights) {
        passes.push_back(Pass{dialog, -1, fought, join(trail, step_text(battle, "not fought"))});
        return;
      }
      for (bool won : {true, false}) {
        if (won ? !w.can_win : !w.can_lose) continue;
        Records result = fought;
        if (won) result.won.insert(std::string(sections_[static_cast<size_t>(battle)].header));
        for (const Outcome& o : won ? w.won : w.lost) {
          if (--work < 0) return;
          if (o.unknown || o.broken || o.asked || !Holds(o, result)) continue;
          if (o.ended || o.location != -1 || o.dialog == kMissing || o.battle_to == kMissing) continue;
          Records after = result;
          ApplyItems(o, o.items.size(), &after.items);
          passes.push_back(Pass{o.dialog >= 0 ? o.dialog : dialog, o.battle ? o.battle_to : -1, std::move(after),
                                join(trail, step_text(battle, won ? "won" : "lost"))});
        }
      }
    };
    if (pass.dialog < 0) {
      fight(-1, pass.battle, pass.records, pass.trail);
      continue;
    }
    Records records = pass.records;
    records.played.insert(std::string(sections_[static_cast<size_t>(pass.dialog)].header));
    std::vector<End> ends = ends_of(pass.dialog, records);
    if (work < 0) break;
    for (const End& end : ends) {
      const Outcome& o = *end.outcome;
      if (o.ended || o.location != -1 || o.dialog == kMissing || o.battle_to == kMissing) continue;
      std::string how = end.answers.empty() ? "" : (end.answers.find(',') == std::string::npos ? "answer " : "answers ") + end.answers;
      fight(o.dialog, o.battle ? o.battle_to : pass.battle, end.records, join(pass.trail, step_text(pass.dialog, how)));
    }
  }
  quiet_walk_ = false;
  if (found.empty()) return;
  ReportLine(StoryFile::kScript, start_line_, Severity::kError, "no-location",
             "the story can run out of places: " + found +
                 " ends with no location set, and the engine stops with 'no location to play'; "
                 "set one on that path with '/change_location:', or end the game there with '/end_game'");
}
