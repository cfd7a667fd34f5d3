// Conditions, items, and the names of sections that commands, conditions and
// the start statement use.
#include <algorithm>

#include "check/checker.h"
#include "keywords.h"

namespace {

std::vector<std::string> ConditionWords() {
  std::vector<std::string> words(std::begin(kw::kProgressConditions), std::end(kw::kProgressConditions));
  words.push_back(kw::kHasInInventory);
  words.push_back(kw::kHasNotInInventory);
  return words;
}

const char* PrefixOf(Checker::Kind kind) {
  return kind == Checker::kLocation ? kw::kLocationPrefix
         : kind == Checker::kDialog ? kw::kDialogPrefix
                                    : kw::kBattlePrefix;
}

NameKind NameKindOf(Checker::Kind kind) {
  return kind == Checker::kLocation ? NameKind::kLocation
         : kind == Checker::kDialog ? NameKind::kDialog
                                    : NameKind::kBattle;
}

// What tells `a` from `b` when they differ only by blanks at their ends, as
// a note for the author; empty otherwise.
std::string BlankNote(const std::string& a_shown, std::string_view a, const std::string& b_shown,
                      std::string_view b) {
  auto trim = [](std::string_view t) {
    while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
    while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
    return t;
  };
  if (a == b || trim(a) != trim(b)) return "";
  std::string note;
  for (const auto& side : {std::make_pair(a_shown, a), std::make_pair(b_shown, b)}) {
    std::string_view t = side.second;
    bool ends = !t.empty() && (t.back() == ' ' || t.back() == '\t');
    bool begins = !t.empty() && (t.front() == ' ' || t.front() == '\t');
    if (!ends && !begins) continue;
    note += note.empty() ? "" : "; ";
    note += "'" + side.first + "' " + (begins ? (ends ? "begins and ends" : "begins") : "ends") + " with a blank";
  }
  return note;
}

}  // namespace

/* ==== Conditions ======================================================== */

bool Checker::ParseCondition(StoryFile file, int index, Literal* literal, int* next) const {
  const LineTable& lines = Lines(file);
  std::string_view condition = lines.At(index);
  static const struct {
    const char* word;
    Literal::Kind kind;
    bool holds;
    Kind section;
  } kProgress[] = {
      {kw::kLocationVisited, Literal::kVisited, true, kLocation},
      {kw::kLocationNotVisited, Literal::kVisited, false, kLocation},
      {kw::kDialogPlayed, Literal::kPlayed, true, kDialog},
      {kw::kDialogNotPlayed, Literal::kPlayed, false, kDialog},
      {kw::kBattleWon, Literal::kWon, true, kBattle},
      {kw::kBattleNotWon, Literal::kWon, false, kBattle},
      {kw::kBattleFought, Literal::kFought, true, kBattle},
      {kw::kBattleNotFought, Literal::kFought, false, kBattle},
  };
  for (const auto& p : kProgress) {
    if (condition != p.word) continue;
    std::string_view name = lines.At(index + 1);
    literal->kind = p.kind;
    literal->holds = p.holds;
    literal->header = !name.empty() && name[0] == '|' ? std::string(name) : PrefixOf(p.section) + std::string(name);
    literal->count = 1;
    *next = index + 2;
    return true;
  }
  if (condition == kw::kHasInInventory || condition == kw::kHasNotInInventory) {
    int name_index = 0;
    *next = ParseItem(file, index + 1, &name_index);
    literal->kind = Literal::kHeld;
    literal->holds = condition == kw::kHasInInventory;
    literal->header = std::string(lines.At(name_index));
    literal->count = name_index != index + 1 ? NumberOf(lines.At(index + 1)) : 1;
    return true;
  }
  *next = index + 1;
  return false;
}

bool Checker::Consistent(const std::vector<Literal>& literals, const std::vector<std::string>& items,
                         const Literal& more) {
  for (const Literal& l : literals) {
    if (l.header != more.header) continue;
    // A battle won has been fought.
    for (const Literal* won : {&l, &more}) {
      const Literal* other = won == &l ? &more : &l;
      if (won->kind == Literal::kWon && won->holds && other->kind == Literal::kFought && !other->holds) return false;
    }
    if (l.kind != more.kind || l.holds == more.holds) continue;
    if (l.kind != Literal::kHeld) return false;
    // Held at least `a` and fewer than `b`: never when a >= b, unless the
    // path gave or took the item between the two.
    const Literal& held = l.holds ? l : more;
    const Literal& short_of = l.holds ? more : l;
    bool touched = false;
    for (const std::string& item : items) touched = touched || item.compare(1, std::string::npos, l.header) == 0;
    if (!touched && held.count >= short_of.count) return false;
  }
  return true;
}

std::string Checker::Describe(const Literal& literal) {
  static const char* const kWords[5][2] = {{"LocationNotVisited:", "LocationVisited:"},
                                           {"DialogNotPlayed:", "DialogPlayed:"},
                                           {"BattleNotWon:", "BattleWon:"},
                                           {"BattleNotFought:", "BattleFought:"},
                                           {"HasNotInInventory:", "HasInInventory:"}};
  std::string text = std::string("'") + kWords[literal.kind][literal.holds ? 1 : 0] + "' ";
  if (literal.kind == Literal::kHeld) {
    return text + (literal.count != 1 ? std::to_string(literal.count) + " " : std::string()) + "'" +
           literal.header + "'";
  }
  return text + literal.header;
}

void Checker::CheckNestedConditions(int section, int first, int end) {
  // A block inside another is played only when both conditions hold, and
  // its own is tested with nothing recorded between them but the items
  // given and taken on the way.
  const LineTable& script = Lines(StoryFile::kScript);
  std::string_view header = sections_[static_cast<size_t>(section)].header;
  struct Open {
    Literal literal;
    bool usable;                     // known, and no condition on the section itself
    std::vector<std::string> items;  // given or taken since it was opened
  };
  std::vector<Open> open;
  for (int i = first; i < end;) {
    std::string_view text = script[i];
    if (text == kw::kIf) {
      Literal literal;
      int next = i + 2;
      bool known = ParseCondition(StoryFile::kScript, i + 1, &literal, &next);
      bool fixed = known && (literal.kind == Literal::kVisited || literal.kind == Literal::kPlayed) &&
                   literal.header == header;
      auto fate = fates_->find(i);
      // The walks are the judge: an answer that stands in the outer block
      // can be chosen from a prompt outside it, and then the inner block
      // plays.
      bool never = fate != fates_->end() && fate->second.reached && !fate->second.taken;
      for (const Open& outer : open) {
        if (!known || fixed || !never) break;
        if (!outer.usable || Consistent({outer.literal}, outer.items, literal)) continue;
        ReportLine(StoryFile::kScript, i + 1, Severity::kWarning, "never-holds",
                   Describe(literal) + " never holds here: it stands in the block of " + Describe(outer.literal) +
                       ", at line " + std::to_string(outer.literal.line + 1) + ", and the two never hold together");
        break;
      }
      literal.line = i + 1;
      open.push_back(Open{literal, known && !fixed, {}});
      i = next;
    } else if (text == kw::kEndIf) {
      if (!open.empty()) open.pop_back();
      ++i;
    } else if (text == kw::kAddToInventory || text == kw::kTakeFromInventory) {
      int name_index = 0;
      int next = ParseItem(StoryFile::kScript, i + 1, &name_index);
      std::string name = (text == kw::kAddToInventory ? "+" : "-") + std::string(script.At(name_index));
      for (Open& outer : open) outer.items.push_back(name);
      i = next;
    } else if (text == kw::kWait || text == kw::kChangeLocation || text == kw::kChangeDialog ||
               text == kw::kChangeBattle) {
      i += 2;
    } else {
      ++i;
    }
  }
}

int Checker::UseCondition(StoryFile file, int index, int section) {
  const LineTable& lines = Lines(file);
  std::string_view condition = lines.At(index);
  Literal literal;
  int next = index + 1;
  if (!ParseCondition(file, index, &literal, &next)) {
    int at = index < lines.size() ? index : lines.size() - 1;
    std::vector<std::string> words = ConditionWords();
    std::string like = Resembles(condition, words);
    std::string message = "condition '" + std::string(condition) + "' not recognized";
    std::string note = like.empty() ? "" : BlankNote(std::string(condition), condition, like, like);
    if (!note.empty()) message += ": " + note;
    if (!like.empty()) message += "; did you mean '" + like + "'?";
    ReportLine(file, at, Severity::kError, "unknown-condition", message);
    if (!like.empty()) out_->findings.back().fix = Replacement{out_->findings.back().where, like};
    return next;
  }
  if (literal.kind == Literal::kHeld) return UseItem(file, index + 1, false);
  Kind kind = literal.kind == Literal::kVisited ? kLocation : literal.kind == Literal::kPlayed ? kDialog : kBattle;
  UseName(file, index + 1, kind, true, std::string(condition).c_str());
  // The section being played is recorded before its first line.
  if (section >= 0 && !literal.holds && (literal.kind == Literal::kVisited || literal.kind == Literal::kPlayed) &&
      literal.header == sections_[static_cast<size_t>(section)].header) {
    ReportLine(file, index, Severity::kWarning, "never-holds",
               "'" + std::string(condition) + "' " + literal.header + " never holds inside " + literal.header +
                   ": it is recorded as " + (kind == kLocation ? "visited" : "played") +
                   " before its first line is played");
  }
  return next;
}

/* ==== Names ============================================================= */

void Checker::UseName(StoryFile file, int index, Kind kind, bool condition, const char* keyword) {
  const LineTable& lines = Lines(file);
  if (lines.size() == 0) return;
  int at = index < lines.size() ? index : lines.size() - 1;
  std::string_view name = lines.At(index);
  std::string prefix = PrefixOf(kind);
  std::string header = condition && !name.empty() && name[0] == '|' ? std::string(name) : prefix + std::string(name);
  // The bare name: the header form of a condition names it after its prefix.
  int start = 0;
  std::string_view bare = name;
  if (condition && !name.empty() && name[0] == '|' && StartsWith(name, prefix)) {
    start = static_cast<int>(prefix.size());
    bare = name.substr(prefix.size());
  }
  NameUse use;
  use.kind = NameKindOf(kind);
  use.name = std::string(bare);
  use.where = SourceRange{file, at + 1, index < lines.size() ? start : 0,
                          index < lines.size() ? static_cast<int>(name.size()) : 0};
  int target = Find(header);
  if (!condition && file == StoryFile::kScript) targets_.emplace_back(index, target);
  use.known = target >= 0 && StartsWith(header, prefix);
  if (parts_.index) out_->index.uses.push_back(use);
  if (use.known) return;

  bool wrong_kind = condition && !name.empty() && name[0] == '|' && !StartsWith(name, prefix);
  if (wrong_kind && name.find('=') != std::string_view::npos) {
    // "|location=Pilot" where a dialog is meant: suggest by the name alone,
    // and replace the whole line.
    bare = name.substr(name.find('=') + 1);
  }
  std::string like;
  if (suggestions_left_ > 0) {
    --suggestions_left_;
    like = Resembles(bare, NamesOf(kind));
  }
  std::string message;
  if (condition) {
    bool holds = std::string(keyword).find("Not") != std::string::npos;
    message = "'" + std::string(keyword) + "' names " + header +
              (wrong_kind ? std::string(", which is no ") + (kind == kLocation ? "location" : kind == kDialog ? "dialog" : "battle")
                          : std::string(", which does not exist")) +
              ": the condition " + (holds ? "always holds" : "never holds");
  } else {
    message = header + " does not exist";
  }
  if (!like.empty()) {
    std::string note = BlankNote(prefix + std::string(bare), bare, prefix + like, like);
    if (!note.empty()) message += "; " + note;
    int line = sections_[static_cast<size_t>(Find(prefix + like))].first + 1;
    message += "; did you mean " + prefix + like + ", at line " + std::to_string(line) + "?";
  }
  Report(file, at, use.where.start, use.where.end, condition ? Severity::kWarning : Severity::kError,
         "unknown-section", message);
  if (!like.empty()) {
    out_->findings.back().fix = wrong_kind ? Replacement{use.where, prefix + like}
                                           : Replacement{SourceRange{file, at + 1, start, use.where.end}, like};
  }
}

/* ==== Items ============================================================= */

int Checker::ParseItem(StoryFile file, int k, int* name_index) const {
  std::string_view first = Lines(file).At(k);
  *name_index = !first.empty() && IsDigitChar(first[0]) ? k + 1 : k;
  return *name_index + 1;
}

int Checker::UseItem(StoryFile file, int k, bool gives) {
  const LineTable& lines = Lines(file);
  if (lines.size() == 0) return k + 1;
  int name_index = 0;
  int next = ParseItem(file, k, &name_index);
  std::string_view name = lines.At(name_index);
  if (name_index != k && k < lines.size()) {
    std::string_view first = lines[k];
    size_t digits = 0;
    while (digits < first.size() && IsDigitChar(first[digits])) ++digits;
    bool text_after = TrimmedEnd(first) > digits;
    bool odd = name.empty() || name[0] == '/' || name[0] == '|' || name[0] == '*' ||
               StartsWith(name, kw::kChoiceMark);
    for (const char* condition : kw::kProgressConditions) odd = odd || name == condition;
    if (text_after) {
      ReportLine(file, k, Severity::kWarning, "count-line",
                 "'" + std::string(first) + "' is read as a count of " + std::to_string(NumberOf(first)) +
                     ", and the next line, '" + std::string(name) +
                     "', as the item's name; write a count line as the bare number ('" +
                     std::string(first.substr(0, digits)) + "'), and put a count line '1' before an item name "
                     "that begins with a digit");
      out_->findings.back().fix = Replacement{SourceRange{file, k + 1, 0, 0}, "1\n"};
    } else if (odd && name_index < lines.size()) {
      ReportLine(file, k, Severity::kWarning, "count-line",
                 "'" + std::string(first) + "' is a count, and the next line, '" + std::string(name) +
                     "', is read as the item's name");
    }
  }
  int at = name_index < lines.size() ? name_index : lines.size() - 1;
  long index_use = -1;
  if (parts_.index) {
    NameUse use;
    use.kind = NameKind::kItem;
    use.name = std::string(name);
    use.where = SourceRange{file, at + 1, 0, name_index < lines.size() ? static_cast<int>(name.size()) : 0};
    use.gives = gives;
    use.known = gives || given_.count(name) != 0;
    index_use = static_cast<long>(out_->index.uses.size());
    out_->index.uses.push_back(std::move(use));
  }
  if (gives) {
    ++given_[name];
    if (parts_.map) out_->map.items.push_back(out_->map.Add(static_cast<int>(file), at + 1, name));
  } else if (given_.count(name) != 0) {
    // Given already: nothing to check later.
  } else {
    wanted_.push_back(ItemUse{name, file, at, index_use});
  }
  return next;
}

void Checker::CheckItems() {
  std::vector<std::string> given_names;
  for (const ItemUse& use : wanted_) {
    bool known = given_.count(use.name) != 0;
    if (use.use >= 0) out_->index.uses[static_cast<size_t>(use.use)].known = known;
    if (known) continue;
    std::string like;
    if (suggestions_left_ > 0) {
      --suggestions_left_;
      if (given_names.empty()) {
        for (const auto& g : given_) given_names.emplace_back(g.first);
        std::sort(given_names.begin(), given_names.end());
      }
      like = Resembles(use.name, given_names);
    }
    std::string name(use.name);
    std::string message = "item '" + name + "' is never given: no '/add_to_inventory:' adds it";
    if (!like.empty()) {
      std::string note = BlankNote(name, name, like, like);
      if (!note.empty()) message += "; " + note;
      message += "; did you mean '" + like + "'?";
    }
    ReportLine(use.file, use.index, Severity::kWarning, "item-never-given", message);
    if (!like.empty()) out_->findings.back().fix = Replacement{out_->findings.back().where, like};
  }
}
