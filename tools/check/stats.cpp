// Story statistics: what the story holds, and how long its dialogs take to
// type out.
#include <algorithm>
#include <cstdio>
#include <set>

#include "check/checker.h"
#include "common/duel_odds.h"
#include "keywords.h"

namespace {

// The engine's typing pace; see Game::printWithTypingEffect.
constexpr long long kTypingCharacterMs = 46;
constexpr long long kTypingLineMs = 150;

long long Words(std::string_view text) {
  long long words = 0;
  bool in_word = false;
  for (char c : text) {
    bool blank = c == ' ' || c == '\t' || c == '\r';
    if (!blank && !in_word) ++words;
    in_word = !blank;
  }
  return words;
}

// Characters as the typing effect counts them: whole UTF-8 sequences.
long long Characters(std::string_view text) {
  long long characters = 0;
  for (char c : text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return characters;
}

std::string Plural(long long n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string Duration(long long ms) {
  long long seconds = (ms + 500) / 1000;
  if (seconds < 60) return std::to_string(seconds) + " s";
  return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " s";
}

}  // namespace

void PrintStats(const StorySources& sources, const StoryCheck& check, std::ostream& out) {
  LineTable lines[kStoryFileCount];
  for (int f = 0; f < kStoryFileCount; ++f) {
    if (sources.files[f].present) lines[f].Build(sources.files[f].bytes);
  }
  const LineTable& script = lines[0];

  // The script's sections in line order, to tell what kind each line is of.
  std::vector<const SectionEntry*> sections;
  long long counts[3] = {0, 0, 0};
  long long sets = 0, animations = 0;
  for (const SectionEntry& entry : check.index.sections) {
    if (entry.file == StoryFile::kScript) {
      sections.push_back(&entry);
      if (entry.first) ++counts[static_cast<int>(entry.kind)];
    } else if (entry.kind == SectionKind::kAnimationSet) {
      sets += entry.first;
    } else {
      ++animations;
    }
  }
  auto kind_of = [&](int line) -> int {
    auto after = std::upper_bound(sections.begin(), sections.end(), line,
                                  [](int l, const SectionEntry* e) { return l < e->line; });
    if (after == sections.begin()) return -1;
    return static_cast<int>((*(after - 1))->kind);
  };

  // Words shown, by where they stand; the characters and lines typed.
  long long words[3] = {0, 0, 0};
  long long animation_words = 0, typed_characters = 0, typed_lines = 0;
  for (const StoryMap::TextRun& run : check.map.texts) {
    for (int line = run.first; line <= run.last; ++line) {
      if (run.file != 0) {
        animation_words += Words(lines[run.file][line - 1]);
        continue;
      }
      std::string_view text = script[line - 1];
      int kind = kind_of(line);
      if (kind < 0) continue;
      words[kind] += Words(text);
      if (kind == static_cast<int>(SectionKind::kDialog)) {
        typed_characters += Characters(text);
        ++typed_lines;
      }
    }
  }
  long long framed[2] = {0, 0};  // the title screen and the credits, shown whole
  for (int f = 2; f < 4; ++f) {
    for (int i = 0; i < lines[f].size(); ++i) framed[f - 2] += Words(lines[f][i]);
  }
  // The pauses of "/wait:" in dialogs.
  long long waits = 0;
  for (const SectionEntry* entry : sections) {
    if (entry->kind != SectionKind::kDialog || !entry->first) continue;
    for (int i = entry->line; i < entry->last_line && i < script.size(); ++i) {
      if (script[i] == kw::kWait && i + 1 < script.size()) waits += std::max(0LL, NumberOf(script[i + 1]));
    }
  }

  std::set<std::string> given, wanted;
  for (const NameUse& use : check.index.uses) {
    if (use.kind != NameKind::kItem) continue;
    (use.gives ? given : wanted).insert(use.name);
  }

  long long total = words[0] + words[1] + words[2] + animation_words + framed[0] + framed[1];
  out << "sections: " << Plural(counts[0], "location", "locations") << ", "
      << Plural(counts[1], "dialog", "dialogs") << ", " << Plural(counts[2], "battle", "battles") << "\n"
      << "words shown: " << total << " in all: " << words[0] << " in locations, " << words[1] << " in dialogs, "
      << words[2] << " in battles, " << animation_words << " in animations, " << framed[0]
      << " on the title screen, " << framed[1] << " in the credits\n"
      << "answers: " << check.map.answers.size() << "\n"
      << "conditions: " << check.map.blocks.size() << "\n"
      << "items: " << Plural(static_cast<long long>(given.size()), "item given", "items given") << ", "
      << wanted.size() << " asked for or taken\n"
      << "animations: " << Plural(sets, "set", "sets") << ", "
      << Plural(animations, "animation", "animations") << "\n"
      << "typed dialogs: " << Plural(typed_characters, "character", "characters") << " on "
      << Plural(typed_lines, "line", "lines") << ", " << Duration(typed_characters * kTypingCharacterMs +
                                                             typed_lines * kTypingLineMs + waits)
      << " at the engine's pace (" << kTypingCharacterMs << " ms a character, " << kTypingLineMs
      << " ms a line, and the dialogs' waits)\n";
  out << "battles:" << (check.map.duels.empty() ? " none" : "") << "\n";
  for (const StoryMap::Duel& d : check.map.duels) {
    out << "  " << d.header << " (script.ostrel:" << d.line << "): health " << d.player_health << " against "
        << d.PC_health << ", " << Plural(d.moves, "move", "moves");
    DuelOdds odds = ComputeDuelOdds(d.player_health, d.PC_health, d.moves);
    if (odds.computed) {
      char buffer[96];
      std::snprintf(buffer, sizeof buffer, ": the player wins %.2f%% of duels, in %.2f turns on average",
                    odds.player_wins * 100, odds.expected_turns);
      out << buffer;
    } else {
      out << ": odds not computed";
    }
    out << "\n";
  }
}
