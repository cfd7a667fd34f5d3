// Battles: their parameters, result texts and animation sets; and the
// animations file.
#include <algorithm>
#include <set>

#include "check/checker.h"
#include "data_stream.h"
#include "keywords.h"

int Checker::FindLine(const Section& section, std::string_view text) const {
  const LineTable& script = Lines(StoryFile::kScript);
  for (int i = section.first + 1; i < section.end; ++i) {
    if (script[i] == text) return i;
  }
  return -1;
}

int Checker::FindTrailing(const Section& section, std::string_view keyword) const {
  const LineTable& script = Lines(StoryFile::kScript);
  for (int i = section.first + 1; i < section.end; ++i) {
    std::string_view text = script[i];
    if (text.size() > keyword.size() && StartsWith(text, keyword) && TrimmedEnd(text) == keyword.size()) {
      return i;
    }
  }
  return -1;
}

void Checker::CheckBattle(const Section& section) {
  const LineTable& script = Lines(StoryFile::kScript);
  const int count = script.size();
  const int s = static_cast<int>(&section - sections_.data());
  targets_.clear();
  walk_budget_ = 16L * (section.end - section.first) + 1000;
  // False once a written starting health of 0 or less decides the battle
  // before its first turn: then the labels, menus, messages and animations
  // are never needed, and their absence breaks nothing.
  bool turns = true;
  auto missing = [&](std::string_view keyword) {
    if (!turns) return;
    ReportLine(StoryFile::kScript, section.first, Severity::kError, "missing-parameter",
               std::string(section.header) + " lacks '" + std::string(keyword) + "'");
    int blank = FindTrailing(section, keyword);
    if (blank >= 0) {
      std::string_view text = script[blank];
      Report(StoryFile::kScript, blank, static_cast<int>(keyword.size()), static_cast<int>(text.size()),
             Severity::kError, "trailing-blank",
             "'" + std::string(text) + "' ends with a blank, so it is not '" + std::string(keyword) +
                 "' and the battle lacks that parameter");
      out_->findings.back().fix = Replacement{out_->findings.back().where, ""};
    }
  };
  auto value_index = [&](const char* keyword) -> int {
    int k = FindLine(section, keyword);
    if (k < 0) {
      missing(keyword);
      return -1;
    }
    if (k + 1 >= section.end) {
      if (!turns) return -1;
      ReportLine(StoryFile::kScript, k, Severity::kError, "missing-value",
                 std::string("'") + keyword + "' has no value line: " +
                     (k + 1 < count ? "the next line ends the section" : "the file ends here"));
      return -1;
    }
    return k + 1;
  };
  auto number = [&](const char* keyword, bool* ok) -> long long {
    int k = value_index(keyword);
    *ok = k >= 0;
    if (k < 0) return 0;
    if (!LooksLikeNumber(script[k])) {
      ReportLine(StoryFile::kScript, k, Severity::kWarning, "not-a-number",
                 "'" + std::string(script[k]) + "' is not a number; it reads as 0");
    }
    return NumberOf(script[k]);
  };

  bool have_player = false, have_PC = false, have_moves = false;
  long long player = number(kw::kPlayerHealth, &have_player);
  long long PC = number(kw::kPCHealth, &have_PC);
  int moves_index = FindLine(section, kw::kNumberOfMoves);
  long long moves = number(kw::kNumberOfMoves, &have_moves);
  turns = !(have_player && player <= 0) && !(have_PC && PC <= 0);
  if (have_moves && moves < 2 && turns) {
    ReportLine(StoryFile::kScript, moves_index + 1, Severity::kError, "too-few-moves",
               std::string(section.header) + " has " + std::to_string(moves) + (moves == 1 ? " move" : " moves") +
                   "; a battle needs at least 2, or no turn can end it");
  }
  value_index(kw::kPlayerHPLabel);
  value_index(kw::kPCHPLabel);
  // The menus and messages are shown as lines of their own.
  auto shown = [&](const char* keyword) {
    int k = value_index(keyword);
    if (k >= 0) ShownLine(StoryFile::kScript, k);
  };
  for (const char* keyword : {kw::kPlayerAttacksMessage, kw::kPlayerDefendsMessage, kw::kPlayerHitsMessage,
                              kw::kPCBlocksMessage, kw::kPCHitsMessage, kw::kPlayerBlocksMessage}) {
    shown(keyword);
  }
  for (long long option = 1; option <= moves && option <= 1000; ++option) {
    for (const char* prefix : {kw::kPlayerAttackPrefix, kw::kPlayerDefendPrefix}) {
      std::string keyword = prefix + std::to_string(option) + ":";
      shown(keyword.c_str());
    }
  }
  const bool turns_played = turns;
  if (section.played && parts_.map) {
    out_->map.duels.push_back(StoryMap::Duel{std::string(section.header), section.first + 1,
                                             have_player ? player : 0, have_PC ? PC : 0, have_moves ? moves : 0});
  }

  // The result texts run to the next line that begins with "*" or "|".
  bool returns = false;
  for (const char* keyword : {kw::kPlayerWinsResult, kw::kPCWinsResult}) {
    int k = FindLine(section, keyword);
    // A battle decided at once plays only its winner's result: the player's
    // when the computer starts with no health.
    turns = turns_played || (keyword == kw::kPlayerWinsResult) == (have_PC && PC <= 0);
    if (k < 0) {
      missing(keyword);
      continue;
    }
    std::string label = keyword == kw::kPlayerWinsResult ? "won" : "lost";
    int start = k + 1;
    for (++k; k < count;) {
      std::string_view text = script[k];
      if (!text.empty() && (text[0] == '*' || text[0] == '|')) break;
      if (!text.empty() && text[0] == '/') {
        Command(StoryFile::kScript, &k, s);
        continue;
      }
      ShownLine(StoryFile::kScript, k);
      ++k;
    }
    if (section.played) {
      std::vector<Outcome> outcomes;
      // Only a text with a block in a block needs to know which were played.
      int blocks = 0;
      for (int i = start; i < k && blocks < 2; ++i) blocks += script[i] == kw::kIf;
      std::unordered_map<int, IfFate> fates;
      fates_ = blocks >= 2 ? &fates : nullptr;
      walk_bounded_ = false;
      Walk(s, start, label, true, parts_.edges ? &outcomes : nullptr);
      for (const Outcome& o : outcomes) returns = returns || (o.location == -1 && !o.ended);
      if (fates_ != nullptr && !walk_bounded_) CheckNestedConditions(s, start, k);
      fates_ = nullptr;
    }
  }
  if (returns) {
    StoryEdge edge;
    edge.kind = StoryEdge::kReturn;
    edge.from = std::string(section.header);
    edge.where = SourceRange{StoryFile::kScript, section.first + 1, 0, static_cast<int>(section.header.size())};
    out_->edges.push_back(std::move(edge));
  }

  // A line that begins with "|" ends the section: parameters after it are
  // no longer the battle's.
  if (section.end < count) {
    std::string_view boundary = script[section.end];
    bool header = StartsWith(boundary, kw::kLocationPrefix) || StartsWith(boundary, kw::kDialogPrefix) ||
                  StartsWith(boundary, kw::kBattlePrefix) || boundary == kw::kStartLocation ||
                  boundary == kw::kStartDialog || boundary == kw::kStartBattle;
    bool parameters_follow = false;
    for (int k = section.end + 1; k < count && !(!script[k].empty() && script[k][0] == '|'); ++k) {
      parameters_follow = parameters_follow || (!script[k].empty() && script[k][0] == '*');
    }
    if (!header && parameters_follow) {
      ReportLine(StoryFile::kScript, section.end, Severity::kError, "bar-line",
                 "'" + std::string(boundary) + "' begins with '|' and ends " + std::string(section.header) +
                     " here: the parameters after it are not the battle's");
    }
  }

  // A "*" line that is no parameter but resembles one: a misspelt keyword,
  // whose parameter the battle then lacks. Value lines are passed over.
  {
    std::vector<std::string> keywords = {kw::kPlayerHealth, kw::kPCHealth, kw::kNumberOfMoves,
                                         kw::kAnimationSet, kw::kPlayerHPLabel, kw::kPCHPLabel,
                                         kw::kPlayerAttacksMessage, kw::kPlayerDefendsMessage,
                                         kw::kPlayerHitsMessage, kw::kPCBlocksMessage, kw::kPCHitsMessage,
                                         kw::kPlayerBlocksMessage, kw::kPlayerWinsResult, kw::kPCWinsResult};
    const size_t fixed = keywords.size();
    for (long long option = 1; option <= std::max(moves, 2LL) && option <= 64; ++option) {
      keywords.push_back(kw::kPlayerAttackPrefix + std::to_string(option) + ":");
      keywords.push_back(kw::kPlayerDefendPrefix + std::to_string(option) + ":");
    }
    auto option_line = [](std::string_view text) {
      for (std::string_view prefix : {kw::kPlayerAttackPrefix, kw::kPlayerDefendPrefix}) {
        if (!StartsWith(text, prefix) || text.size() < prefix.size() + 2 || text.back() != ':') continue;
        std::string_view digits = text.substr(prefix.size(), text.size() - prefix.size() - 1);
        if (digits.find_first_not_of("0123456789") == std::string_view::npos) return true;
      }
      return false;
    };
    bool value_next = false;
    for (int i = section.first + 1; i < section.end; ++i) {
      std::string_view text = script[i];
      if (value_next) {
        value_next = false;
        continue;
      }
      if (text.empty() || text[0] != '*') continue;
      auto known = std::find(keywords.begin(), keywords.begin() + static_cast<long>(fixed), text);
      if (known != keywords.begin() + static_cast<long>(fixed) || option_line(text)) {
        value_next = text != kw::kPlayerWinsResult && text != kw::kPCWinsResult;
        continue;
      }
      // Trailing blanks are reported where the parameter is found missing.
      std::string_view trimmed = text.substr(0, TrimmedEnd(text));
      if (trimmed.size() < text.size() &&
          (std::find(keywords.begin(), keywords.end(), trimmed) != keywords.end() || option_line(trimmed))) {
        continue;
      }
      std::string like = Resembles(text, keywords);
      if (like.empty()) continue;
      ReportLine(StoryFile::kScript, i, Severity::kWarning, "unknown-parameter",
                 "'" + std::string(text) + "' is no battle parameter and is passed over; did you mean '" + like +
                     "'?");
      out_->findings.back().fix =
          Replacement{SourceRange{StoryFile::kScript, i + 1, 0, static_cast<int>(text.size())}, like};
    }
  }

  int set_value = FindLine(section, kw::kAnimationSet);
  if (set_value >= 0 && set_value + 1 < section.end) {
    CheckAnimationSet(set_value + 1, have_moves ? static_cast<int>(std::min(moves, 1000LL)) : 0, turns_played);
  } else if (set_value < 0 && turns_played) {
    int blank = FindTrailing(section, kw::kAnimationSet);
    if (blank >= 0) {
      std::string_view text = script[blank];
      Report(StoryFile::kScript, blank, static_cast<int>(TrimmedEnd(text)), static_cast<int>(text.size()),
             Severity::kWarning, "trailing-blank",
             "'" + std::string(text) + "' ends with a blank, so it is not '" + kw::kAnimationSet +
                 "' and the battle plays no animations");
      out_->findings.back().fix = Replacement{out_->findings.back().where, ""};
    }
  }
}

/* ==== Animations ======================================================== */

void Checker::IndexAnimations() {
  if (!parts_.index) {
    // Only the sets are needed, to look them up.
    const LineTable& animations = Lines(StoryFile::kAnimations);
    for (int i = 0; i < animations.size(); ++i) {
      std::string_view text = animations[i];
      if (StartsWith(text, kw::kAnimationSetPrefix) && sets_.emplace(text, i).second) {
        set_names_.emplace_back(text.substr(std::string_view(kw::kAnimationSetPrefix).size()));
      }
    }
    return;
  }
  const LineTable& animations = Lines(StoryFile::kAnimations);
  int set = -1;
  for (int i = 0; i < animations.size(); ++i) {
    std::string_view text = animations[i];
    if (text.empty() || text[0] != '|') continue;
    if (!out_->index.sections.empty() && out_->index.sections.back().file == StoryFile::kAnimations &&
        out_->index.sections.back().last_line == animations.size()) {
      out_->index.sections.back().last_line = i;
    }
    SectionEntry entry;
    entry.file = StoryFile::kAnimations;
    entry.line = i + 1;
    entry.last_line = animations.size();
    entry.header = std::string(text);
    if (StartsWith(text, kw::kAnimationSetPrefix)) {
      entry.kind = SectionKind::kAnimationSet;
      entry.name = std::string(text.substr(std::string_view(kw::kAnimationSetPrefix).size()));
      entry.first = sets_.emplace(text, i).second;
      if (entry.first) set_names_.push_back(entry.name);
      set = static_cast<int>(out_->index.sections.size());
    } else if (StartsWith(text, kw::kAnimationPrefix)) {
      entry.kind = SectionKind::kAnimation;
      entry.name = std::string(text.substr(std::string_view(kw::kAnimationPrefix).size()));
      entry.set = set;
    } else {
      continue;
    }
    out_->index.sections.push_back(std::move(entry));
  }
}

void Checker::CheckAnimationSet(int value_index, int moves, bool played) {
  const LineTable& script = Lines(StoryFile::kScript);
  std::string_view name = script[value_index];
  std::string set = kw::kAnimationSetPrefix + std::string(name);
  NameUse use;
  use.kind = NameKind::kAnimationSet;
  use.name = std::string(name);
  use.where = SourceRange{StoryFile::kScript, value_index + 1, 0, static_cast<int>(name.size())};
  auto found = sets_.find(set);
  use.known = found != sets_.end();
  if (parts_.index) out_->index.uses.push_back(use);
  if (!played) return;
  if (!sources_[StoryFile::kAnimations].present) {
    ReportLine(StoryFile::kScript, value_index, Severity::kError, "unknown-animation-set",
               set + " does not exist: there is no " + kw::kAnimationsFile);
    return;
  }
  if (!use.known) {
    std::string like;
    if (suggestions_left_ > 0) {
      --suggestions_left_;
      like = Resembles(name, set_names_);
    }
    std::string message = set + " does not exist";
    if (!like.empty()) message += "; did you mean " + std::string(kw::kAnimationSetPrefix) + like + "?";
    ReportLine(StoryFile::kScript, value_index, Severity::kError, "unknown-animation-set", message);
    if (!like.empty()) out_->findings.back().fix = Replacement{use.where, like};
    return;
  }
  // The set runs to the next line of the form of a set's header.
  const LineTable& animations = Lines(StoryFile::kAnimations);
  std::set<std::string_view> names;
  for (int i = found->second + 1; i < animations.size(); ++i) {
    std::string_view text = animations[i];
    if (LooksLikeSetHeader(text.data(), text.size())) break;
    if (StartsWith(text, kw::kAnimationPrefix)) names.insert(text);
  }
  std::vector<std::string> lacking;
  if (names.count(kw::kStandAnimation) == 0) lacking.push_back(kw::kStandAnimation);
  for (int p = 1; p <= moves && p <= 64; ++p) {
    for (int c = 1; c <= moves && c <= 64; ++c) {
      std::string attack =
          std::string(kw::kAnimationPrefix) + "player_" + std::to_string(p) + "_PC_" + std::to_string(c);
      std::string defence =
          std::string(kw::kAnimationPrefix) + "PC_" + std::to_string(c) + "_player_" + std::to_string(p);
      if (names.count(attack) == 0) lacking.push_back(attack);
      if (names.count(defence) == 0) lacking.push_back(defence);
    }
  }
  const size_t kShown = 8;
  for (size_t k = 0; k < lacking.size() && k < kShown; ++k) {
    ReportLine(StoryFile::kScript, value_index, Severity::kError, "missing-animation", set + " lacks " + lacking[k]);
  }
  if (lacking.size() > kShown) {
    ReportLine(StoryFile::kScript, value_index, Severity::kError, "missing-animation",
               set + " lacks " + std::to_string(lacking.size() - kShown) + " more animations");
  }
}

void Checker::CheckAnimationsFile() {
  const LineTable& animations = Lines(StoryFile::kAnimations);
  const int count = animations.size();
  for (int a = 0; a < count; ++a) {
    if (!StartsWith(animations[a], kw::kAnimationPrefix)) continue;
    int k = a + 1;
    bool ended = false;
    while (k < count) {
      std::string_view text = animations[k];
      if (text == kw::kEnd) {
        ended = true;
        break;
      }
      if (!text.empty() && text[0] == '|') break;
      if (!text.empty() && text[0] == '/') {
        Command(StoryFile::kAnimations, &k, -1);
      } else {
        ShownLine(StoryFile::kAnimations, k);
        ++k;
      }
    }
    if (!ended) {
      ReportLine(StoryFile::kAnimations, a, Severity::kError, "missing-end",
                 "missing '/end': " + std::string(animations[a]) + " runs into " +
                     (k < count ? "the next header, at line " + std::to_string(k + 1)
                                : std::string("the end of the file")));
    }
    a = k;
  }
}
