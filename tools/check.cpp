// StoryChecker: the faults of a story, found by reading it the way the
// engine reads it, and its map.
#include "check.h"

#include <algorithm>
#include <climits>
#include <map>
#include <set>

#include "data_stream.h"
#include "keywords.h"
#include "terminal_input.h"

const char* const StoryChecker::kFiles[4] = {kw::kScriptFile, kw::kAnimationsFile,
                                              kw::kTitleScreenFile, kw::kCreditsFile};

namespace {

constexpr int kScript = 0;
constexpr int kAnimations = 1;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A line "/wait:" reads a pause from: blanks, a sign, then a digit.
bool LooksLikeNumber(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  return i < text.size() && IsDigit(text[i]);
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                         diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The keyword of `candidates` that `text` resembles: the same but for letter
// case or blanks at its ends, or a slip of one or two characters.
std::string Resembles(const std::string& text,
                      const std::vector<std::string>& candidates) {
  std::string trimmed = text;
  while (!trimmed.empty() && IsBlank(trimmed.back())) trimmed.pop_back();
  size_t start = 0;
  while (start < trimmed.size() && IsBlank(trimmed[start])) ++start;
  trimmed = Lower(trimmed.substr(start));
  std::string best;
  size_t best_distance = 3;
  for (const std::string& candidate : candidates) {
    std::string lower = Lower(candidate);
    if (trimmed == lower) return candidate;
    size_t distance = EditDistance(trimmed, lower);
    if (distance < best_distance && lower.size() > 3) {
      best_distance = distance;
      best = candidate;
    }
  }
  return best;
}

std::vector<std::string> CommandWords() {
  std::vector<std::string> words(std::begin(kw::kCommands), std::end(kw::kCommands));
  words.push_back(kw::kEndIf);
  return words;
}

std::vector<std::string> ConditionWords() {
  std::vector<std::string> words(std::begin(kw::kProgressConditions),
                                 std::end(kw::kProgressConditions));
  words.push_back(kw::kHasInInventory);
  words.push_back(kw::kHasNotInInventory);
  return words;
}

// The checker numbers the lines it holds with int; a longer file is refused.
constexpr size_t kMaxLines = INT_MAX;

bool ReadFile(const std::string& path, std::vector<std::string>* lines, std::string* err) {
  DataStream stream(path.c_str());
  if (!stream.is_open()) return false;
  std::string line;
  // The engine's reader gives one more, empty, read after a last line end;
  // the checker counts only the lines that stand in the file.
  while (stream.ReadLine(&line)) {
    if (lines->size() == kMaxLines) {
      lines->clear();
      *err = path + " has more than " + std::to_string(kMaxLines) + " lines";
      return false;
    }
    lines->push_back(line);
  }
  return true;
}

std::string Quote(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    if (c == '\n' || c == '\r') continue;
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

bool StoryChecker::Load(const std::string& dir, std::string* err) {
  std::string base = dir.empty() ? "." : dir;
  if (!ReadFile(base + "/" + kw::kScriptFile, &script_, err)) {
    if (err->empty()) *err = "cannot read " + base + "/" + kw::kScriptFile;
    return false;
  }
  has_animations_ = ReadFile(base + "/" + kw::kAnimationsFile, &animations_, err);
  return err->empty();
}

void StoryChecker::Report(int file, int index, bool error, std::string message) {
  diagnostics_.push_back(Diagnostic{file, index + 1, error, std::move(message)});
}

bool StoryChecker::HasErrors() const {
  for (const Diagnostic& d : diagnostics_) {
    if (d.error) return true;
  }
  return false;
}

void StoryChecker::PrintDiagnostics(std::ostream& out) const {
  int errors = 0, warnings = 0;
  for (const Diagnostic& d : diagnostics_) {
    out << kFiles[d.file] << ':' << d.line << ": "
        << (d.error ? "error: " : "warning: ") << d.message << '\n';
    (d.error ? errors : warnings)++;
  }
  out << errors << (errors == 1 ? " error, " : " errors, ") << warnings
      << (warnings == 1 ? " warning" : " warnings") << '\n';
}

const StoryChecker::Section* StoryChecker::Find(const std::string& header) const {
  for (const Section& section : sections_) {
    if (section.header == header) return &section;
  }
  return nullptr;
}

int StoryChecker::FindLine(const Section& section, const std::string& text) const {
  for (int i = section.first + 1; i < section.end; ++i) {
    if (script_[i] == text) return i;
  }
  return -1;
}

void StoryChecker::Check() {
  FindSections();
  CheckStart();
  for (const Section& section : sections_) {
    if (section.kind == kBattle) {
      CheckBattle(section);
    } else {
      CheckPlayedSection(section);
    }
  }
  CheckAnimationsFile();
  for (const Edge& edge : edges_) {
    if (Find(edge.to) == nullptr) Report(kScript, edge.line, true, edge.to + " does not exist");
  }
  CheckReach();
  CheckItems();
  std::stable_sort(diagnostics_.begin(), diagnostics_.end(),
                   [](const Diagnostic& a, const Diagnostic& b) {
                     return a.file != b.file ? a.file < b.file : a.line < b.line;
                   });
}

/* ==== Sections and the start statement ================================== */

void StoryChecker::FindSections() {
  ConditionArguments arguments;
  int count = static_cast<int>(script_.size());
  for (int i = 0; i < count; ++i) {
    const std::string& text = script_[i];
    bool is_argument = arguments.Next(text);
    if (is_argument || text.empty() || text[0] != '|') continue;
    if (!sections_.empty() && sections_.back().end == count) sections_.back().end = i;
    Kind kind;
    if (StartsWith(text, kw::kLocationPrefix)) {
      kind = kLocation;
    } else if (StartsWith(text, kw::kDialogPrefix)) {
      kind = kDialog;
    } else if (StartsWith(text, kw::kBattlePrefix)) {
      kind = kBattle;
    } else {
      continue;
    }
    const Section* earlier = Find(text);
    if (earlier != nullptr) {
      Report(kScript, i, false,
             text + " stands here a second time; only the first, at line " +
                 std::to_string(earlier->first + 1) + ", is ever played");
    }
    if (earlier == nullptr) map_.sections.push_back(StoryMap::Target{kScript, i + 1, text});
    sections_.push_back(Section{kind, text, i, count});
  }
}

void StoryChecker::CheckStart() {
  const char* statements[] = {kw::kStartLocation, kw::kStartDialog, kw::kStartBattle};
  const char* prefixes[] = {kw::kLocationPrefix, kw::kDialogPrefix, kw::kBattlePrefix};
  int first = -1;
  for (int i = 0; i < static_cast<int>(script_.size()); ++i) {
    for (int k = 0; k < 3; ++k) {
      const std::string& text = script_[i];
      if (text == statements[k]) {
        if (first >= 0) {
          Report(kScript, i, false,
                 "only the first start statement counts, at line " +
                     std::to_string(first + 1));
          continue;
        }
        first = i;
        std::string name = i + 1 < static_cast<int>(script_.size()) ? script_[i + 1] : "";
        edges_.push_back(Edge{"", prefixes[k] + name, "", false,
                              i + 1 < static_cast<int>(script_.size()) ? i + 1 : i});
      } else if (StartsWith(text, statements[k]) && first < 0) {
        Report(kScript, i, false,
               "the name must stand on the line after '" +
                   std::string(statements[k]) + "'; this line is no start statement");
      }
    }
  }
  if (first < 0) Report(kScript, 0, true, "missing start statement");
}

/* ==== Commands ========================================================== */

void StoryChecker::UnknownCommand(int file, int index, const std::string& text,
                                  bool frame) {
  std::string like = Resembles(text, CommandWords());
  std::string message;
  if (frame) {
    message = "frame line '" + text +
              "' begins with '/': it is taken as a command, does nothing and is never shown";
  } else {
    message = "'" + text + "' is no command and does nothing";
  }
  if (!like.empty()) message += "; did you mean '" + like + "'?";
  Report(file, index, false, message);
}

void StoryChecker::Command(int file, const std::vector<std::string>& lines,
                           int* i, const std::string& from,
                           const std::string& label, int depth) {
  const int count = static_cast<int>(lines.size());
  const std::string command = lines[*i];
  auto line_at = [&](int k) -> std::string { return k < count ? lines[k] : ""; };
  auto at = [&](int k) { return k < count ? k : count - 1; };
  // A count line and an item's name, for the inventory commands and
  // conditions; returns the index after them.
  auto item = [&](int k, std::vector<ItemUse>* uses) {
    std::string first = line_at(k);
    int name_index = k;
    if (!first.empty() && IsDigit(first[0])) {
      name_index = k + 1;
      std::string name = line_at(name_index);
      bool odd = name.empty() || name[0] == '/' || name[0] == '|' ||
                 name[0] == '*' || StartsWith(name, kw::kChoiceMark) ||
                 IsProgressCondition(name);
      if (odd && name_index < count) {
        Report(file, k, false,
               "'" + first + "' is read as a count of " + std::to_string(LineNumber(first)) +
                   ", and the next line, '" + name + "', as the item's name; an item name "
                   "that begins with a digit needs a count line before it");
      }
    }
    uses->push_back(ItemUse{line_at(name_index), file, at(name_index)});
    return name_index + 1;
  };

  if (command == kw::kWait) {
    if (!LooksLikeNumber(line_at(*i + 1))) {
      Report(file, at(*i + 1), false,
             "'/wait:' takes a number of milliseconds; '" + line_at(*i + 1) +
                 "' is none and does not pause");
    }
    *i += 2;
  } else if (command == kw::kChangeLocation || command == kw::kChangeDialog ||
             command == kw::kChangeBattle) {
    const char* prefix = command == kw::kChangeLocation ? kw::kLocationPrefix
                         : command == kw::kChangeDialog ? kw::kDialogPrefix
                                                        : kw::kBattlePrefix;
    if (file == kScript && !from.empty()) {
      edges_.push_back(Edge{from, prefix + line_at(*i + 1), label, depth > 0, at(*i + 1)});
    }
    *i += 2;
  } else if (command == kw::kAddToInventory) {
    *i = item(*i + 1, &given_);
  } else if (command == kw::kTakeFromInventory) {
    *i = item(*i + 1, &wanted_);
  } else if (command == kw::kIf) {
    std::string condition = line_at(*i + 1);
    map_.blocks.push_back(StoryMap::Target{file, *i + 1, condition});
    if (IsProgressCondition(condition)) {
      *i += 3;
    } else if (condition == kw::kHasInInventory || condition == kw::kHasNotInInventory) {
      *i = item(*i + 2, &wanted_);
    } else {
      std::string message = "condition '" + condition + "' not recognized";
      std::string like = Resembles(condition, ConditionWords());
      if (!like.empty()) message += "; did you mean '" + like + "'?";
      Report(file, at(*i + 1), true, message);
      *i += 2;
    }
  } else {
    bool known = false;
    for (const std::string& word : CommandWords()) known = known || command == word;
    if (!known) UnknownCommand(file, *i, command, file == kAnimations);
    *i += 1;
  }
}

/* ==== Locations and dialogs ============================================= */

void StoryChecker::CheckPlayedSection(const Section& section) {
  // Every answer line of the section can be found by a prompt in it.
  std::map<std::string, int> answers;
  bool has_choice = false;
  for (int i = section.first + 1; i < section.end; ++i) {
    const std::string& text = script_[i];
    if (!StartsWith(text, kw::kChoiceMark)) continue;
    has_choice = true;
    std::string word = text.substr(2);
    bool blank = std::any_of(word.begin(), word.end(), IsBlank);
    if (word.empty()) {
      Report(kScript, i, false, "a bare '>>' can never be chosen");
    } else if (blank) {
      Report(kScript, i, false,
             "'" + text + "' holds a blank and can never be chosen: the prompt reads one word");
    } else if (answers.count(word) != 0) {
      Report(kScript, i, false,
             "'" + text + "' stands at line " + std::to_string(answers[word] + 1) +
                 " too; only that first one is ever chosen");
    } else {
      answers[word] = i;
      map_.answers.push_back(StoryMap::Target{kScript, i + 1, text});
      // Answers on consecutive lines lead to the same block.
      auto& groups = map_.answer_groups[section.header];
      bool follows = i > section.first + 1 && StartsWith(script_[i - 1], kw::kChoiceMark);
      if (!follows || groups.empty()) groups.emplace_back();
      groups.back().push_back(word);
      continue;
    }
    // An answer that can never be chosen still ends the group before it.
    if (!map_.answer_groups[section.header].empty()) map_.answer_groups[section.header].emplace_back();
  }
  // Groups left empty by answers that can never be chosen count for nothing.
  auto& groups = map_.answer_groups[section.header];
  groups.erase(std::remove_if(groups.begin(), groups.end(),
                              [](const std::vector<std::string>& g) { return g.empty(); }),
               groups.end());

  // Follow the lines as the engine plays them: `open` while reading on can
  // reach a line, from the header, a chosen answer, or past a block that a
  // false condition skips.
  bool open = true;
  bool in_answer = false;
  int run_start = section.first;
  std::string label;
  std::vector<int> if_lines;
  std::vector<bool> open_before_if;
  int get_input = -1;
  int i = section.first + 1;
  while (i < section.end) {
    const std::string& text = script_[i];
    bool is_choice = StartsWith(text, kw::kChoiceMark);
    if (text == kw::kIf) {
      if_lines.push_back(i);
      open_before_if.push_back(open);
      Command(kScript, script_, &i, open ? section.header : "",
              label, static_cast<int>(if_lines.size()) - 1);
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
        run_start = i;
        label.clear();
        while (i < section.end && StartsWith(script_[i], kw::kChoiceMark)) {
          if (!label.empty()) label += " / ";
          label += script_[i].substr(2);
          ++i;
        }
        open = true;
        in_answer = true;
        if (i < section.end && (script_[i].empty() || script_[i][0] != '/')) {
          Report(kScript, i, false,
                 "this line follows the choice lines and is never shown; the line after "
                 "them must be a command");
          ++i;
        }
      } else {
        ++i;  // after "/end": reached by no reading, a place for notes
      }
      continue;
    }
    if (is_choice) {
      Report(kScript, i, false,
             in_answer ? "the answer before runs into this one without '/end'; this line is "
                         "shown as text and the lines after it are played"
                       : "this answer is reached by reading on and is shown as text");
      map_.texts.push_back(StoryMap::Target{kScript, i + 1, text});
      ++i;
      continue;
    }
    if (text == kw::kEnd || text == kw::kGetInput) {
      // "/end" ends the reading; the prompt always jumps to an answer.
      if (text == kw::kGetInput && get_input < 0) get_input = i;
      open = false;
      in_answer = false;
      ++i;
      continue;
    }
    if (!text.empty() && text[0] == '/') {
      Command(kScript, script_, &i, section.header, label,
              static_cast<int>(if_lines.size()));
      continue;
    }
    map_.texts.push_back(StoryMap::Target{kScript, i + 1, text});
    ++i;
  }
  std::string where = section.end < static_cast<int>(script_.size())
                          ? "the next section, at line " + std::to_string(section.end + 1)
                          : "the end of the file";
  if (open) {
    if (in_answer) {
      Report(kScript, run_start, true,
             "missing '/end': the answer '" + script_[run_start] + "' runs into " + where);
    } else {
      Report(kScript, run_start, true,
             "missing '/end': " + section.header + " runs into " + where);
    }
  }
  for (int line : if_lines) {
    Report(kScript, line, true, "missing '/end_if': this '/if:' is not closed before " + where);
  }
  if (get_input >= 0 && !has_choice) {
    Report(kScript, get_input, true,
           "'/get_input' in a section without a choice line: no answer can ever be found");
  }
}

/* ==== Battles and animations ============================================ */

void StoryChecker::CheckBattle(const Section& section) {
  const int count = static_cast<int>(script_.size());
  auto value_index = [&](const char* keyword) -> int {
    int k = FindLine(section, keyword);
    if (k < 0) {
      Report(kScript, section.first, true, section.header + " lacks '" + keyword + "'");
      return -1;
    }
    if (k + 1 >= section.end) {
      Report(kScript, k, true,
             std::string("'") + keyword + "' has no value line: " +
                 (k + 1 < count ? "the next line ends the section" : "the file ends here"));
      return -1;
    }
    return k + 1;
  };
  auto number = [&](const char* keyword, bool* ok) {
    int k = value_index(keyword);
    *ok = k >= 0;
    if (k < 0) return 0;
    if (!LooksLikeNumber(script_[k])) {
      Report(kScript, k, false, "'" + script_[k] + "' is not a number; it reads as 0");
    }
    return LineNumber(script_[k]);
  };

  bool have_player = false, have_PC = false, have_moves = false;
  int player = number(kw::kPlayerHealth, &have_player);
  int PC = number(kw::kPCHealth, &have_PC);
  int moves_index = FindLine(section, kw::kNumberOfMoves);
  int moves = number(kw::kNumberOfMoves, &have_moves);
  if (have_moves && moves < 2 && (!have_player || player > 0) && (!have_PC || PC > 0)) {
    Report(kScript, moves_index + 1, true,
           section.header + " has " + std::to_string(moves) +
               (moves == 1 ? " move" : " moves") +
               "; a battle needs at least 2, or no turn can end it");
  }
  value_index(kw::kPlayerHPLabel);
  value_index(kw::kPCHPLabel);
  // The menus and messages are shown as lines of their own.
  auto shown = [&](const char* keyword) {
    int k = value_index(keyword);
    if (k >= 0) map_.texts.push_back(StoryMap::Target{kScript, k + 1, script_[k]});
  };
  for (const char* keyword :
       {kw::kPlayerAttacksMessage, kw::kPlayerDefendsMessage, kw::kPlayerHitsMessage,
        kw::kPCBlocksMessage, kw::kPCHitsMessage, kw::kPlayerBlocksMessage}) {
    shown(keyword);
  }
  for (int option = 1; option <= moves && option <= 1000; ++option) {
    for (const char* prefix : {kw::kPlayerAttackPrefix, kw::kPlayerDefendPrefix}) {
      std::string keyword = prefix + std::to_string(option) + ":";
      shown(keyword.c_str());
    }
  }
  if (Find(section.header) == &section) {
    map_.duels.push_back(StoryMap::Duel{section.header, section.first + 1,
                                        have_player ? player : 0, have_PC ? PC : 0,
                                        have_moves ? moves : 0});
  }

  // The result texts run to the next line that begins with "*" or "|".
  for (const char* keyword : {kw::kPlayerWinsResult, kw::kPCWinsResult}) {
    int k = FindLine(section, keyword);
    if (k < 0) {
      Report(kScript, section.first, true, section.header + " lacks '" + keyword + "'");
      continue;
    }
    std::string label = keyword == kw::kPlayerWinsResult ? "won" : "lost";
    int depth = 0;
    for (++k; k < count;) {
      const std::string& text = script_[k];
      if (!text.empty() && (text[0] == '*' || text[0] == '|')) break;
      if (!text.empty() && text[0] == '/') {
        if (text == kw::kIf) ++depth;
        if (text == kw::kEndIf && depth > 0) --depth;
        Command(kScript, script_, &k, section.header, label, depth);
        continue;
      }
      map_.texts.push_back(StoryMap::Target{kScript, k + 1, text});
      ++k;
    }
  }

  // A line that begins with "|" ends the section: parameters after it are
  // no longer the battle's.
  if (section.end < count) {
    const std::string& boundary = script_[section.end];
    bool header = StartsWith(boundary, kw::kLocationPrefix) ||
                  StartsWith(boundary, kw::kDialogPrefix) ||
                  StartsWith(boundary, kw::kBattlePrefix) ||
                  boundary == kw::kStartLocation || boundary == kw::kStartDialog ||
                  boundary == kw::kStartBattle;
    bool parameters_follow = false;
    for (int k = section.end + 1; k < count && !(script_[k].size() > 0 && script_[k][0] == '|'); ++k) {
      parameters_follow = parameters_follow || (!script_[k].empty() && script_[k][0] == '*');
    }
    if (!header && parameters_follow) {
      Report(kScript, section.end, true,
             "'" + boundary + "' begins with '|' and ends " + section.header +
                 " here: the parameters after it are not the battle's");
    }
  }

  int set_value = FindLine(section, kw::kAnimationSet);
  if (set_value >= 0 && set_value + 1 < section.end) {
    CheckAnimationSet(set_value + 1, have_moves ? moves : 0);
  }
}

void StoryChecker::CheckAnimationSet(int value_index, int moves) {
  std::string set = kw::kAnimationSetPrefix + script_[value_index];
  if (!has_animations_) {
    Report(kScript, value_index, true,
           set + " does not exist: there is no " + kw::kAnimationsFile);
    return;
  }
  const int count = static_cast<int>(animations_.size());
  int start = -1;
  for (int i = 0; i < count && start < 0; ++i) {
    if (animations_[i] == set) start = i;
  }
  if (start < 0) {
    Report(kScript, value_index, true, set + " does not exist");
    return;
  }
  // The set runs to the next line of the form of a set's header.
  std::set<std::string> names;
  for (int i = start + 1; i < count; ++i) {
    const std::string& text = animations_[i];
    if (text.size() >= 15 && text[0] == '|' && text[14] == '=') break;
    if (StartsWith(text, kw::kAnimationPrefix)) names.insert(text);
  }
  std::vector<std::string> missing;
  if (names.count(kw::kStandAnimation) == 0) missing.push_back(kw::kStandAnimation);
  for (int p = 1; p <= moves && p <= 64; ++p) {
    for (int c = 1; c <= moves && c <= 64; ++c) {
      std::string attack = std::string(kw::kAnimationPrefix) + "player_" +
                           std::to_string(p) + "_PC_" + std::to_string(c);
      std::string defence = std::string(kw::kAnimationPrefix) + "PC_" +
                            std::to_string(c) + "_player_" + std::to_string(p);
      if (names.count(attack) == 0) missing.push_back(attack);
      if (names.count(defence) == 0) missing.push_back(defence);
    }
  }
  const size_t kShown = 8;
  for (size_t k = 0; k < missing.size() && k < kShown; ++k) {
    Report(kScript, value_index, true, set + " lacks " + missing[k]);
  }
  if (missing.size() > kShown) {
    Report(kScript, value_index, true,
           set + " lacks " + std::to_string(missing.size() - kShown) + " more animations");
  }
}

void StoryChecker::CheckAnimationsFile() {
  const int count = static_cast<int>(animations_.size());
  for (int a = 0; a < count; ++a) {
    if (!StartsWith(animations_[a], kw::kAnimationPrefix)) continue;
    int k = a + 1;
    bool ended = false;
    while (k < count) {
      const std::string& text = animations_[k];
      if (text == kw::kEnd) {
        ended = true;
        break;
      }
      if (!text.empty() && text[0] == '|') break;
      if (!text.empty() && text[0] == '/') {
        Command(kAnimations, animations_, &k, "", "", 0);
      } else {
        map_.texts.push_back(StoryMap::Target{kAnimations, k + 1, text});
        ++k;
      }
    }
    if (!ended) {
      Report(kAnimations, a, true,
             "missing '/end': " + animations_[a] + " runs into " +
                 (k < count ? "the next header, at line " + std::to_string(k + 1)
                            : std::string("the end of the file")));
    }
    a = k;
  }
}

/* ==== The whole story =================================================== */

void StoryChecker::CheckReach() {
  std::set<std::string> reached;
  std::vector<std::string> queue;
  for (const Edge& edge : edges_) {
    if (edge.from.empty()) queue.push_back(edge.to);
  }
  while (!queue.empty()) {
    std::string header = queue.back();
    queue.pop_back();
    if (!reached.insert(header).second) continue;
    for (const Edge& edge : edges_) {
      if (edge.from == header) queue.push_back(edge.to);
    }
  }
  map_.reachable = reached;
  std::set<std::string> seen;
  for (const Section& section : sections_) {
    if (!seen.insert(section.header).second) continue;  // reported as a duplicate
    if (reached.count(section.header) == 0) {
      Report(kScript, section.first, false,
             section.header + " is never reached: no start statement or change command "
                              "leads to it");
    }
  }
}

void StoryChecker::CheckItems() {
  std::set<std::string> given;
  for (const ItemUse& use : given_) {
    given.insert(use.name);
    map_.items.push_back(StoryMap::Target{use.file, use.line + 1, use.name});
  }
  for (const ItemUse& use : wanted_) {
    if (given.count(use.name) == 0) {
      Report(use.file, use.line, false,
             "item '" + use.name + "' is never given: no '/add_to_inventory:' adds it");
    }
  }
}

void StoryChecker::PrintGraph(std::ostream& out) const {
  out << "digraph story {\n"
      << "  node [fontname=\"Helvetica\"];\n"
      << "  edge [fontname=\"Helvetica\", fontsize=10];\n"
      << "  start [shape=point, width=0.15];\n";
  std::set<std::string> drawn;
  for (const Section& section : sections_) {
    if (!drawn.insert(section.header).second) continue;
    const char* prefix = section.kind == kLocation ? kw::kLocationPrefix
                         : section.kind == kDialog ? kw::kDialogPrefix
                                                   : kw::kBattlePrefix;
    const char* shape = section.kind == kLocation ? "box"
                        : section.kind == kDialog ? "ellipse"
                                                  : "octagon";
    out << "  " << Quote(section.header) << " [label="
        << Quote(section.header.substr(std::string(prefix).size()))
        << ", shape=" << shape << "];\n";
  }
  for (const Edge& edge : edges_) {
    if (Find(edge.to) == nullptr && drawn.insert(edge.to).second) {
      out << "  " << Quote(edge.to) << " [label=" << Quote(edge.to + " (missing)")
          << ", shape=box, color=red, fontcolor=red];\n";
    }
  }
  for (const Edge& edge : edges_) {
    out << "  " << (edge.from.empty() ? std::string("start") : Quote(edge.from))
        << " -> " << Quote(edge.to);
    std::vector<std::string> attributes;
    if (!edge.label.empty()) attributes.push_back("label=" + Quote(edge.label));
    if (edge.conditional) attributes.push_back("style=dashed");
    if (!attributes.empty()) {
      out << " [";
      for (size_t k = 0; k < attributes.size(); ++k) out << (k ? ", " : "") << attributes[k];
      out << "]";
    }
    out << ";\n";
  }
  out << "}\n";
}
