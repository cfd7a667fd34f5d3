// Commands, and the sections the engine plays line by line: locations and
// dialogs. The paths through them give the map's edges and the outcomes the
// loop check follows.
#include <algorithm>
#include <map>

#include "check/checker.h"
#include "keywords.h"

namespace {

std::vector<std::string> CommandWords() {
  std::vector<std::string> words(std::begin(kw::kCommands), std::end(kw::kCommands));
  words.push_back(kw::kEndIf);
  return words;
}

bool IsChoice(std::string_view text) { return StartsWith(text, kw::kChoiceMark); }

// Adds the choice line `i` to the groups of answers on consecutive lines,
// which lead to the same block; an answer that can never be chosen (or is
// chosen at an earlier line) still ends the group before it.
void Group(int i, std::string_view word, bool follows, bool chosen_here,
           std::vector<std::pair<int, std::string>>* groups) {
  if (chosen_here) {
    if (!follows || groups->empty() || groups->back().second.empty()) {
      groups->emplace_back(i, std::string(word));
    } else {
      groups->back().second += " / " + std::string(word);
    }
  } else if (!follows) {
    groups->emplace_back(i, "");
  }
}

}  // namespace

void Checker::ShownLine(StoryFile file, int index) {
  if (!parts_.map) return;
  std::vector<StoryMap::TextRun>& runs = out_->map.texts;
  int line = index + 1;
  if (!runs.empty() && runs.back().file == static_cast<int>(file) && runs.back().last + 1 == line) {
    runs.back().last = line;
  } else {
    runs.push_back(StoryMap::TextRun{static_cast<int>(file), line, line});
  }
}

/* ==== Commands ========================================================== */

void Checker::UnknownCommand(StoryFile file, int index, bool frame) {
  std::string_view text = Lines(file)[index];
  size_t trimmed = TrimmedEnd(text);
  std::vector<std::string> words = CommandWords();
  if (trimmed < text.size() &&
      std::find(words.begin(), words.end(), text.substr(0, trimmed)) != words.end()) {
    Report(file, index, static_cast<int>(trimmed), static_cast<int>(text.size()), Severity::kWarning,
           "trailing-blank",
           "'" + std::string(text) + "' ends with a blank and is no command: it does nothing; did you mean '" +
               std::string(text.substr(0, trimmed)) + "'?");
    out_->findings.back().fix = Replacement{out_->findings.back().where, ""};
    return;
  }
  std::string like = Resembles(text, words);
  std::string message;
  if (frame) {
    message = "frame line '" + std::string(text) +
              "' begins with '/': it is taken as a command, does nothing and is never shown";
  } else {
    message = "'" + std::string(text) + "' is no command and does nothing";
  }
  if (!like.empty()) message += "; did you mean '" + like + "'?";
  ReportLine(file, index, Severity::kWarning, frame ? "frame-command" : "unknown-command", message);
  if (!like.empty() && !frame) out_->findings.back().fix = Replacement{out_->findings.back().where, like};
}

void Checker::Command(StoryFile file, int* i, int section) {
  const LineTable& lines = Lines(file);
  const int count = lines.size();
  std::string_view command = lines[*i];
  if (command == kw::kWait) {  // command -> "/wait:" milliseconds
    int at = *i + 1 < count ? *i + 1 : *i;
    if (!LooksLikeNumber(lines.At(*i + 1))) {
      ReportLine(file, at, Severity::kWarning, "wait-not-number",
                 "'/wait:' takes a number of milliseconds; '" + std::string(lines.At(*i + 1)) +
                     "' is none and does not pause");
    }
    *i += 2;
  } else if (command == kw::kChangeLocation || command == kw::kChangeDialog ||
             command == kw::kChangeBattle) {  // command -> "/change_...:" name
    Kind kind = command == kw::kChangeLocation ? kLocation
                : command == kw::kChangeDialog ? kDialog
                                               : kBattle;
    UseName(file, *i + 1, kind, false, nullptr);
    *i += 2;
  } else if (command == kw::kAddToInventory) {  // command -> "/add_to_inventory:" [count] name
    *i = UseItem(file, *i + 1, true);
  } else if (command == kw::kTakeFromInventory) {  // command -> "/take_from_inventory:" [count] name
    *i = UseItem(file, *i + 1, false);
  } else if (command == kw::kIf) {  // command -> "/if:" condition
    if (parts_.map) {
      out_->map.blocks.push_back(out_->map.Add(static_cast<int>(file), *i + 1, lines.At(*i + 1)));
    }
    *i = UseCondition(file, *i + 1, section);
  } else {
    std::vector<std::string> words = CommandWords();
    if (std::find(words.begin(), words.end(), command) == words.end()) {
      UnknownCommand(file, *i, file == StoryFile::kAnimations);
    }
    *i += 1;
  }
}

/* ==== Locations and dialogs ============================================= */

void Checker::LeadingBlank(int index) {
  // A command or a choice with a blank before it is a text line: shown, not
  // run.
  std::string_view text = Lines(StoryFile::kScript)[index];
  size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return;
  std::string_view word = text.substr(start, TrimmedEnd(text) - start);
  std::vector<std::string> words = CommandWords();
  bool keyword = std::find(words.begin(), words.end(), word) != words.end() ||
                 (StartsWith(word, kw::kChoiceMark) && word.size() > 2);
  if (!keyword) return;
  Report(StoryFile::kScript, index, 0, static_cast<int>(start), Severity::kWarning, "leading-blank",
         "'" + std::string(text) + "' begins with a blank: it is shown as text, not read as '" +
             std::string(word) + "'");
  out_->findings.back().fix = Replacement{out_->findings.back().where, ""};
}

void Checker::CheckPlayedSection(const Section& section) {
  const LineTable& script = Lines(StoryFile::kScript);
  const int count = script.size();
  const int s = static_cast<int>(&section - sections_.data());
  targets_.clear();
  // Every answer line of the section can be found by a prompt in it.
  std::unordered_map<std::string_view, int> answers;
  std::vector<std::pair<int, std::string>> groups;  // first choice line, words
  bool has_choice = false;
  for (int i = section.first + 1; i < section.end; ++i) {
    std::string_view text = script[i];
    if (!IsChoice(text)) continue;
    has_choice = true;
    std::string_view word = text.substr(2);
    bool follows = i > section.first + 1 && IsChoice(script[i - 1]);
    bool chosen_here = false;
    bool blank = std::any_of(word.begin(), word.end(), [](char c) { return c == ' ' || c == '\t'; });
    if ((word.empty() || blank) && parts_.map) out_->map.unchoosable.push_back(out_->map.Add(0, i + 1, text));
    if (word.empty()) {
      ReportLine(StoryFile::kScript, i, Severity::kWarning, "unchoosable-answer",
                 "a bare '>>' can never be chosen");
    } else if (blank) {
      ReportLine(StoryFile::kScript, i, Severity::kWarning, "unchoosable-answer",
                 "'" + std::string(text) + "' holds a blank and can never be chosen: the prompt reads one word");
      size_t trimmed = TrimmedEnd(text);
      if (trimmed > 2 && std::none_of(text.begin() + 2, text.begin() + static_cast<long>(trimmed),
                                      [](char c) { return c == ' ' || c == '\t'; })) {
        out_->findings.back().message = "'" + std::string(text) +
                                        "' ends with a blank and can never be chosen: the prompt "
                                        "reads one word, without blanks";
        out_->findings.back().fix = Replacement{
            SourceRange{StoryFile::kScript, i + 1, static_cast<int>(trimmed), static_cast<int>(text.size())},
            ""};
      }
    } else if (answers.count(word) != 0) {
      ReportLine(StoryFile::kScript, i, Severity::kWarning, "duplicate-answer",
                 "'" + std::string(text) + "' stands at line " + std::to_string(answers[word] + 1) +
                     " too; only that first one is ever chosen");
    } else {
      answers[word] = i;
      chosen_here = true;
      if (parts_.map) out_->map.answers.push_back(out_->map.Add(0, i + 1, text));
    }
    Group(i, word, follows, chosen_here, &groups);
  }

  // Follow the lines as the engine plays them: `open` while reading on can
  // reach a line, from the header, a chosen answer, or past a block that a
  // false condition skips.
  bool open = true;
  bool in_answer = false;
  bool after_prompt = false;  // closed by "/get_input", and no answer yet
  bool nested = false;        // a block stands inside another
  int run_start = section.first;
  std::vector<int> if_lines;
  std::vector<bool> open_before_if;
  int get_input = -1;
  int i = section.first + 1;
  while (i < section.end) {
    std::string_view text = script[i];
    bool is_choice = IsChoice(text);
    if (text == kw::kIf) {
      nested = nested || !if_lines.empty();
      if_lines.push_back(i);
      open_before_if.push_back(open);
      Command(StoryFile::kScript, &i, s);
      continue;
    }
    if (text == kw::kEndIf) {
      if (!if_lines.empty()) {
        bool before = open_before_if.back();
        if_lines.pop_back();
        open_before_if.pop_back();
        if (!open && before) run_start = i;
        open = open || before;
      }
      ++i;
      continue;
    }
    if (!open) {
      if (is_choice) {
        // A chosen answer: its choice lines, then the command that runs.
        after_prompt = false;
        run_start = i;
        while (i < section.end && IsChoice(script[i])) ++i;
        open = true;
        in_answer = true;
        if (i < section.end && (script[i].empty() || script[i][0] != '/')) {
          ReportLine(StoryFile::kScript, i, Severity::kWarning, "text-after-choices",
                     "this line follows the choice lines and is never shown; the line after "
                     "them must be a command");
          ShownLine(StoryFile::kScript, i);  // meant to be shown: the explorer finds it never is
          ++i;
        }
      } else {
        // Reached by no reading: after "/end" a place for notes, but the
        // lines right after "/get_input" were meant to be shown.
        size_t start = text.find_first_not_of(" \t");
        if (start != 0 && start != std::string_view::npos && IsChoice(text.substr(start)) &&
            text.size() > start + 2) {
          Report(StoryFile::kScript, i, 0, static_cast<int>(start), Severity::kWarning, "leading-blank",
                 "'" + std::string(text) + "' begins with a blank: it is no answer, so the prompt never finds "
                 "it and the lines after it are never played");
          out_->findings.back().fix = Replacement{out_->findings.back().where, ""};
        } else if (after_prompt && !text.empty() && text[0] != '/') {
          ReportLine(StoryFile::kScript, i, Severity::kWarning, "text-after-prompt",
                     "this line stands after '/get_input' and is never shown: the prompt goes straight to "
                     "the answer chosen; put it before '/get_input'");
          ShownLine(StoryFile::kScript, i);  // meant to be shown: the explorer finds it never is
        }
        if (!text.empty() && text[0] == '/') after_prompt = false;
        ++i;
      }
      continue;
    }
    if (is_choice) {
      ReportLine(StoryFile::kScript, i, Severity::kWarning, in_answer ? "answer-runs-on" : "choice-as-text",
                 in_answer ? "the answer before runs into this one without '/end'; this line is "
                             "shown as text and the lines after it are played"
                           : "this answer is reached by reading on and is shown as text");
      ShownLine(StoryFile::kScript, i);
      ++i;
      continue;
    }
    if (text == kw::kEnd || text == kw::kGetInput) {
      // "/end" ends the reading; the prompt always jumps to an answer.
      if (text == kw::kGetInput && get_input < 0) get_input = i;
      after_prompt = text == kw::kGetInput;
      open = false;
      in_answer = false;
      ++i;
      continue;
    }
    if (!text.empty() && text[0] == '/') {
      Command(StoryFile::kScript, &i, s);
      continue;
    }
    if (!text.empty() && (text[0] == ' ' || text[0] == '\t')) LeadingBlank(i);
    ShownLine(StoryFile::kScript, i);
    ++i;
  }
  std::string where = section.end < count ? "the next section, at line " + std::to_string(section.end + 1)
                                          : "the end of the file";
  if (open) {
    if (in_answer) {
      ReportLine(StoryFile::kScript, run_start, Severity::kError, "missing-end",
                 "missing '/end': the answer '" + std::string(script[run_start]) + "' runs into " + where);
    } else {
      ReportLine(StoryFile::kScript, run_start, Severity::kError, "missing-end",
                 "missing '/end': " + std::string(section.header) + " runs into " + where);
    }
  }
  for (int line : if_lines) {
    ReportLine(StoryFile::kScript, line, Severity::kError, "missing-end-if",
               "missing '/end_if': this '/if:' is not closed before " + where);
  }
  if (get_input >= 0 && !has_choice) {
    ReportLine(StoryFile::kScript, get_input, Severity::kError, "input-without-choice",
               "'/get_input' in a section without a choice line: no answer can ever be found");
  }

  // The paths: from the header, and from each answer the prompt can find.
  if (!section.played) return;
  walk_budget_ = 16L * (section.end - section.first) + 1000;
  std::unordered_map<int, IfFate> fates;
  fates_ = nested ? &fates : nullptr;
  walk_bounded_ = false;
  std::vector<Outcome> outcomes;
  Walk(s, section.first + 1, "", false, &outcomes);
  // The loop check needs only the paths that ask nothing.
  for (const Outcome& o : outcomes) {
    if (o.asked || o.battle || o.ended || o.broken || o.location == kMissing || o.dialog == kMissing) {
      asks_[static_cast<size_t>(s)] = true;
    } else {
      outcomes_[s].push_back(o);
    }
  }
  if (!parts_.edges) outcomes.clear();
  // Which answers stand in a block: looked up block by block, unless a
  // section has very many of both.
  std::vector<bool> in_block;
  if (match_.size() * groups.size() > 4096) in_block = BlockLines(section);
  for (const auto& group : groups) {
    if (group.second.empty()) continue;
    int k = group.first;
    if (!in_block.empty()) {
      under_condition_ = in_block[static_cast<size_t>(k - section.first)];
    } else {
      under_condition_ = std::any_of(match_.begin(), match_.end(),
                                     [k](const std::pair<const int, int>& b) { return b.first < k && k < b.second; });
    }
    while (k < section.end && IsChoice(script[k])) ++k;
    // The line after the choices is run as a command, or passed over.
    if (k < section.end && (script[k].empty() || script[k][0] != '/')) ++k;
    Walk(s, k, group.second, false, parts_.edges ? &outcomes : nullptr);
    under_condition_ = false;
  }
  if (nested && !walk_bounded_) CheckNestedConditions(s, section.first + 1, section.end);
  fates_ = nullptr;
  if (section.kind == kDialog && parts_.edges) {
    for (const Outcome& o : outcomes) {
      if (o.location == -1 && o.dialog == -1 && !o.ended && !o.broken) {
        StoryEdge edge;
        edge.kind = StoryEdge::kReturn;
        edge.from = std::string(section.header);
        edge.where = SourceRange{StoryFile::kScript, section.first + 1, 0, static_cast<int>(section.header.size())};
        out_->edges.push_back(std::move(edge));
        break;
      }
    }
  }
}

/* ==== Paths ============================================================= */

std::vector<std::pair<int, std::string>> Checker::AnswerGroups(const Section& section) const {
  const LineTable& script = Lines(StoryFile::kScript);
  std::vector<std::pair<int, std::string>> groups;
  std::unordered_map<std::string_view, int> answers;
  for (int i = section.first + 1; i < section.end; ++i) {
    std::string_view text = script[i];
    if (!IsChoice(text)) continue;
    std::string_view word = text.substr(2);
    bool follows = i > section.first + 1 && IsChoice(script[i - 1]);
    bool blank = std::any_of(word.begin(), word.end(), [](char c) { return c == ' ' || c == '\t'; });
    Group(i, word, follows, !word.empty() && !blank && answers.emplace(word, i).second, &groups);
  }
  return groups;
}

std::vector<bool> Checker::BlockLines(const Section& section) const {
  // From the blocks the walks matched, "/if:" to "/end_if": empty when the
  // section has none.
  std::vector<bool> inside;
  if (match_section_ != static_cast<int>(&section - sections_.data()) || match_.empty()) return inside;
  std::vector<int> depth(static_cast<size_t>(section.end - section.first + 1), 0);
  for (const auto& block : match_) {
    ++depth[static_cast<size_t>(block.first + 1 - section.first)];
    --depth[static_cast<size_t>(block.second - section.first)];
  }
  inside.resize(depth.size());
  int open = 0;
  for (size_t k = 0; k < depth.size(); ++k) {
    open += depth[k];
    inside[k] = open > 0;
  }
  return inside;
}

void Checker::Walk(int s, int start, const std::string& label, bool result_text,
                   std::vector<Outcome>* outcomes) {
  const LineTable& script = Lines(StoryFile::kScript);
  const Section& section = sections_[static_cast<size_t>(s)];
  if (match_section_ != s) {
    // Each "/if:" and the "/end_if" that closes it, counting nested blocks
    // as the engine's skip does.
    match_section_ = s;
    match_.clear();
    std::vector<int> open_ifs;
    for (int i = section.first + 1; i < section.end; ++i) {
      std::string_view text = script[i];
      if (text == kw::kIf) {
        open_ifs.push_back(i);
        Literal ignored;
        int next = i + 2;
        if (ParseCondition(StoryFile::kScript, i + 1, &ignored, &next)) i = next - 1;
      } else if (text == kw::kEndIf && !open_ifs.empty()) {
        match_[open_ifs.back()] = i;
        open_ifs.pop_back();
      }
    }
  }
  // A section with many blocks in a row has paths without number; past this
  // many the rest are taken as asking, so nothing is claimed of them.
  const size_t kMaxPaths = 64;
  std::vector<Outcome> active(1);
  std::map<int, std::vector<Outcome>> waiting;  // by the "/end_if" they resume at
  bool overflow = false;
  int end = section.end;
  auto finish = [&](Outcome o) {
    if (outcomes != nullptr) outcomes->push_back(std::move(o));
  };
  auto edge_for = [&](int i, StoryEdge::Kind kind, std::string to) {
    if (!parts_.edges || quiet_walk_) return;
    auto it = edge_at_.find(i);
    if (it == edge_at_.end()) {
      StoryEdge edge;
      edge.kind = kind;
      edge.from = std::string(section.header);
      edge.to = std::move(to);
      int at = kind == StoryEdge::kEndGame ? i : std::min(i + 1, script.size() - 1);
      edge.where = SourceRange{StoryFile::kScript, at + 1, 0, static_cast<int>(script[at].size())};
      it = edge_at_.emplace(i, out_->edges.size()).first;
      out_->edges.push_back(std::move(edge));
    }
    StoryEdge& edge = out_->edges[it->second];
    if (!label.empty() && edge.label.find(label) == std::string::npos) {
      edge.label += (edge.label.empty() ? "" : " / ") + label;
    }
    // An answer that stands in a block is chosen under its condition too.
    edge.conditional = edge.conditional || under_condition_;
    for (const Outcome& o : active) edge.conditional = edge.conditional || !o.literals.empty();
  };

  int i = start;
  while (i < end && walk_budget_-- > 0) {
    auto resume = waiting.find(i);
    if (resume != waiting.end()) {
      for (Outcome& o : resume->second) active.push_back(std::move(o));
      waiting.erase(resume);
    }
    if (active.empty()) {
      if (waiting.empty()) break;
      i = waiting.begin()->first;
      continue;
    }
    std::string_view text = script[i];
    if (result_text && !text.empty() && text[0] == '*') break;
    if (text == kw::kEnd && !result_text) {
      for (Outcome& o : active) finish(std::move(o));
      active.clear();
      ++i;
    } else if (text == kw::kGetInput) {
      for (Outcome& o : active) {
        o.asked = true;
        finish(std::move(o));
      }
      active.clear();
      ++i;
    } else if (text == kw::kEndGame) {
      edge_for(i, StoryEdge::kEndGame, "");
      for (Outcome& o : active) o.ended = true;
      ++i;
    } else if (text == kw::kIf) {
      Literal literal;
      int next = i + 2;
      bool known = ParseCondition(StoryFile::kScript, i + 1, &literal, &next);
      literal.line = i + 1;
      // The section being played is recorded before its first line: that it
      // was visited or played always holds inside it.
      bool fixed = known && (literal.kind == Literal::kVisited || literal.kind == Literal::kPlayed) &&
                   literal.header == section.header;
      auto match = match_.find(i);
      const bool reached = !active.empty();
      std::vector<Outcome> taken;
      for (Outcome& o : active) {
        if (match == match_.end()) {
          // The skip runs past the section's end: reported as a missing
          // "/end_if", and followed no further.
          Outcome skipped = o;
          skipped.broken = true;
          finish(std::move(skipped));
        } else {
          Literal opposite = literal;
          opposite.holds = !literal.holds;
          if (!known) {
            waiting[match->second].push_back(o);
          } else if (fixed) {
            if (!literal.holds) waiting[match->second].push_back(o);
          } else if (Consistent(o.literals, o.items, opposite)) {
            Outcome skipped = o;
            opposite.after_items = o.items.size();
            skipped.literals.push_back(opposite);
            waiting[match->second].push_back(std::move(skipped));
          }
        }
        if (fixed) {
          if (literal.holds) taken.push_back(std::move(o));
        } else if (known && Consistent(o.literals, o.items, literal)) {
          literal.after_items = o.items.size();
          o.literals.push_back(literal);
          taken.push_back(std::move(o));
        }
      }
      if (fates_ != nullptr && reached) {
        IfFate& fate = (*fates_)[i];
        fate.reached = true;
        fate.taken = fate.taken || !taken.empty();
        fate.fixed = fixed;
        fate.known = known;
      }
      active = std::move(taken);
      size_t total = active.size();
      for (const auto& w : waiting) total += w.second.size();
      if (total > kMaxPaths) {
        overflow = true;
        if (fates_ != nullptr) walk_bounded_ = true;
        active.resize(std::min(active.size(), size_t{1}));
        for (auto& w : waiting) w.second.resize(std::min(w.second.size(), size_t{1}));
      }
      i = next;
    } else if (text == kw::kChangeLocation || text == kw::kChangeDialog || text == kw::kChangeBattle) {
      const char* prefix = text == kw::kChangeLocation ? kw::kLocationPrefix
                           : text == kw::kChangeDialog ? kw::kDialogPrefix
                                                       : kw::kBattlePrefix;
      std::string to = prefix + std::string(script.At(i + 1));
      auto known = std::lower_bound(targets_.begin(), targets_.end(), std::make_pair(i + 1, -3));
      int target = known != targets_.end() && known->first == i + 1 ? known->second : Find(to);
      if (target >= 0 && !quiet_walk_) links_.emplace_back(s, target);
      if (target < 0) target = kMissing;
      bool battle = text == kw::kChangeBattle;
      bool location = text == kw::kChangeLocation;
      edge_for(i, StoryEdge::kChange, to);
      for (Outcome& o : active) {
        if (battle) {
          o.battle = true;
          o.battle_to = target;
        } else if (location) {
          o.location = target;
        } else {
          o.dialog = target;
        }
      }
      i += 2;
    } else if (text == kw::kAddToInventory || text == kw::kTakeFromInventory) {
      int name_index = 0;
      int next = ParseItem(StoryFile::kScript, i + 1, &name_index);
      std::string name = (text == kw::kAddToInventory ? "+" : "-") + std::string(script.At(name_index));
      long long count = name_index != i + 1 ? NumberOf(script.At(i + 1)) : 1;
      for (Outcome& o : active) {
        o.items.push_back(name);
        o.counts.push_back(count);
      }
      i = next;
    } else if (text == kw::kWait) {
      i += 2;
    } else {
      ++i;
    }
  }
  // Paths still reading ran into the next section or the end of the file:
  // reported as a missing "/end" already; a battle's result text ends so.
  for (Outcome& o : active) {
    o.broken = !result_text;
    finish(std::move(o));
  }
  for (auto& w : waiting) {
    for (Outcome& o : w.second) {
      o.broken = true;
      finish(std::move(o));
    }
  }
  if (overflow) {
    Outcome unknown;
    unknown.asked = true;
    unknown.unknown = true;
    finish(std::move(unknown));
  }
  if (walk_budget_ <= 0 && fates_ != nullptr) walk_bounded_ = true;
}
