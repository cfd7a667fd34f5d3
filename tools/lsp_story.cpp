// StoryIndex: reads the names of a story the way the engine reads its lines.
#include "lsp_story.h"

#include <unordered_map>

#include "data_stream.h"
#include "keywords.h"

const char* const StoryIndex::kPrefixes[4] = {kw::kLocationPrefix, kw::kDialogPrefix,
                                              kw::kBattlePrefix, kw::kAnimationSetPrefix};

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The kind of section a change command, start statement or progress
// condition names, or -1.
int NamedKind(const std::string& text) {
  if (text == kw::kChangeLocation || text == kw::kStartLocation ||
      text == kw::kLocationVisited || text == kw::kLocationNotVisited) {
    return 0;
  }
  if (text == kw::kChangeDialog || text == kw::kStartDialog || text == kw::kDialogPlayed ||
      text == kw::kDialogNotPlayed) {
    return 1;
  }
  if (text == kw::kChangeBattle || text == kw::kStartBattle || text == kw::kBattleWon ||
      text == kw::kBattleNotWon || text == kw::kBattleFought || text == kw::kBattleNotFought) {
    return 2;
  }
  return -1;
}

}  // namespace

std::string StoryIndex::HeaderOf(int kind, const std::string& name) {
  return kPrefixes[kind] + name;
}

int StoryIndex::KindOf(const std::string& header) {
  for (int kind = 0; kind < 4; ++kind) {
    if (StartsWith(header, kPrefixes[kind])) return kind;
  }
  return -1;
}

void StoryIndex::Build(const StoryText& text) {
  definitions_.clear();
  uses_.clear();
  items_.clear();
  ScanScript(text.lines[kScriptFile]);
  ScanAnimations(text.lines[kAnimationsFile]);
  first_.clear();
  for (size_t k = 0; k < definitions_.size(); ++k) first_.emplace(definitions_[k].header, k);
}

const StoryIndex::Definition* StoryIndex::Find(const std::string& header) const {
  auto it = first_.find(header);
  return it == first_.end() ? nullptr : &definitions_[it->second];
}

const StoryIndex::Definition* StoryIndex::Enclosing(int file, int line) const {
  for (const Definition& d : definitions_) {
    if (d.name.file == file && d.name.line <= line && line < d.end_line) return &d;
  }
  return nullptr;
}

std::string StoryIndex::HeaderAt(int file, int line, size_t byte) const {
  // A name's whole line counts, the prefix of a header-form name included.
  auto inside = [&](const TextSpan& s) {
    return s.file == file && s.line == line && byte <= s.end;
  };
  for (const Use& u : uses_) {
    if (inside(u.name)) return u.header;
  }
  for (const Definition& d : definitions_) {
    // The whole header line counts, its prefix included.
    if (d.name.file == file && d.name.line == line && byte <= d.name.end) return d.header;
  }
  return "";
}

const StoryIndex::Item* StoryIndex::ItemAt(int file, int line, size_t byte) const {
  for (const Item& item : items_) {
    const TextSpan& s = item.where;
    if (s.file == file && s.line == line && byte <= s.end) return &item;
  }
  return nullptr;
}

void StoryIndex::AddUse(const std::string& header, int file, int line, size_t begin,
                        size_t end) {
  uses_.push_back(Use{header, TextSpan{file, line, begin, end}, current_});
}

void StoryIndex::ScanScript(const std::vector<std::string>& lines) {
  const int count = static_cast<int>(lines.size());
  current_ = -1;
  auto close = [&](int at) {
    if (current_ >= 0 && definitions_[current_].end_line > at) definitions_[current_].end_line = at;
  };
  // An item's lines: an optional count line, then the name. Returns the
  // index after them.
  auto item = [&](int k, bool given) {
    if (k < count && !lines[k].empty() && IsDigit(lines[k][0])) ++k;
    if (k < count) {
      items_.push_back(Item{lines[k], TextSpan{kScriptFile, k, 0, lines[k].size()}, given, current_});
    }
    return k + 1;
  };
  auto name_line = [&](int kind, int k) {
    if (k < count) AddUse(HeaderOf(kind, lines[k]), kScriptFile, k, 0, lines[k].size());
  };
  bool in_battle = false;
  int i = 0;
  while (i < count) {
    const std::string& text = lines[i];
    int named = NamedKind(text);
    if (!text.empty() && text[0] == '|') {
      int kind = KindOf(text);
      if (kind >= 0 && kind < kSet) {
        close(i);
        Definition d;
        d.header = text;
        d.name = TextSpan{kScriptFile, i, std::string(kPrefixes[kind]).size(), text.size()};
        d.end_line = count;
        d.kind = kind;
        definitions_.push_back(d);
        current_ = static_cast<int>(definitions_.size()) - 1;
        in_battle = kind == 2;
      } else {
        // Any other line that begins with '|' ends the section.
        close(i);
        current_ = -1;
        in_battle = false;
        if (named >= 0) name_line(named, i + 1);  // a start statement
        if (named >= 0) ++i;
      }
      ++i;
      continue;
    }
    if (in_battle && !text.empty() && text[0] == '*') {
      // Result texts hold commands; every other parameter is one value line.
      if (text == kw::kPlayerWinsResult || text == kw::kPCWinsResult) {
        ++i;
        continue;
      }
      Definition& battle = definitions_[current_];
      if (i + 1 < count) {
        long long value = LineNumber(lines[i + 1]);
        if (text == kw::kPlayerHealth && battle.player_health < 0) battle.player_health = value;
        if (text == kw::kPCHealth && battle.PC_health < 0) battle.PC_health = value;
        if (text == kw::kNumberOfMoves && battle.moves < 0) battle.moves = value;
        if (text == kw::kAnimationSet) {
          AddUse(HeaderOf(kSet, lines[i + 1]), kScriptFile, i + 1, 0, lines[i + 1].size());
        }
      }
      i += 2;
      continue;
    }
    if (named >= 0) {  // a change command
      name_line(named, i + 1);
      i += 2;
    } else if (text == kw::kWait) {
      i += 2;
    } else if (text == kw::kAddToInventory || text == kw::kTakeFromInventory) {
      i = item(i + 1, text == kw::kAddToInventory);
    } else if (text == kw::kIf) {
      std::string condition = i + 1 < count ? lines[i + 1] : "";
      int kind = NamedKind(condition);
      if (kind >= 0 && IsProgressCondition(condition)) {
        int k = i + 2;
        if (k < count) {
          // A header-form name names that header, whatever its kind.
          const std::string& name = lines[k];
          int header_kind = name.empty() || name[0] != '|' ? -1 : KindOf(name);
          if (header_kind >= 0 && header_kind < kSet) {
            AddUse(name, kScriptFile, k, std::string(kPrefixes[header_kind]).size(), name.size());
          } else if (name.empty() || name[0] != '|') {
            AddUse(HeaderOf(kind, name), kScriptFile, k, 0, name.size());
          }
        }
        i += 3;
      } else if (condition == kw::kHasInInventory || condition == kw::kHasNotInInventory) {
        i = item(i + 2, false);
      } else {
        i += 2;
      }
    } else {
      if (current_ >= 0 && !in_battle && StartsWith(text, kw::kChoiceMark)) {
        definitions_[current_].children.emplace_back(text, i);
      }
      ++i;
    }
  }
}

void StoryIndex::ScanAnimations(const std::vector<std::string>& lines) {
  const int count = static_cast<int>(lines.size());
  current_ = -1;
  for (int i = 0; i < count; ++i) {
    const std::string& text = lines[i];
    if (StartsWith(text, kw::kAnimationSetPrefix)) {
      if (current_ >= 0) definitions_[current_].end_line = i;
      Definition d;
      d.header = text;
      d.name = TextSpan{kAnimationsFile, i, std::string(kw::kAnimationSetPrefix).size(), text.size()};
      d.end_line = count;
      d.kind = kSet;
      definitions_.push_back(d);
      current_ = static_cast<int>(definitions_.size()) - 1;
    } else if (StartsWith(text, kw::kAnimationPrefix) && current_ >= 0) {
      definitions_[current_].children.emplace_back(text, i);
    } else if (text == kw::kWait) {
      ++i;
    }
  }
}
