// LspIndex: the checker's index of a story, by position.
#include "lsp/story.h"

#include "keywords.h"

const char* const LspIndex::kPrefixes[4] = {kw::kLocationPrefix, kw::kDialogPrefix,
                                            kw::kBattlePrefix, kw::kAnimationSetPrefix};

TextSpan SpanOf(const SourceRange& range) {
  return TextSpan{static_cast<int>(range.file), range.line - 1,
                  static_cast<size_t>(range.start), static_cast<size_t>(range.end)};
}

std::string LspIndex::HeaderOf(int kind, const std::string& name) {
  return kPrefixes[kind] + name;
}

void LspIndex::Build(const StoryCheck& check, const StoryText& text) {
  definitions_.clear();
  uses_.clear();
  items_.clear();
  first_.clear();
  for (int f = 0; f < 2; ++f) owner_[f].assign(text.lines[f].size(), -1);

  // Sections and sets, by their place among the checker's sections.
  std::vector<int> definition_of(check.index.sections.size(), -1);
  for (size_t k = 0; k < check.index.sections.size(); ++k) {
    const SectionEntry& s = check.index.sections[k];
    int file = static_cast<int>(s.file);
    if (s.kind == SectionKind::kAnimation) {
      if (s.set >= 0 && definition_of[s.set] >= 0) {
        definitions_[definition_of[s.set]].children.emplace_back(s.header, s.line - 1);
      }
      continue;
    }
    Definition d;
    d.header = s.header;
    d.kind = static_cast<int>(s.kind);
    d.name = TextSpan{file, s.line - 1, s.header.size() - s.name.size(), s.header.size()};
    d.end_line = s.last_line;
    definition_of[k] = static_cast<int>(definitions_.size());
    first_.emplace(d.header, definitions_.size());
    definitions_.push_back(std::move(d));
    if (file < 2) {
      std::vector<int>& owner = owner_[file];
      for (int line = s.line - 1; line < s.last_line && line < static_cast<int>(owner.size()); ++line) {
        owner[line] = definition_of[k];
      }
    }
  }
  // A set holds its animations: it runs to the next set's header.
  int next_set = static_cast<int>(text.lines[kAnimationsFile].size());
  for (auto d = definitions_.rbegin(); d != definitions_.rend(); ++d) {
    if (d->kind != kSet) continue;
    d->end_line = next_set;
    for (int line = d->name.line; line < next_set; ++line) {
      owner_[kAnimationsFile][line] = static_cast<int>(&*d - definitions_.data());
    }
    next_set = d->name.line;
  }
  for (const StoryMap::Duel& duel : check.map.duels) {
    auto it = first_.find(duel.header);
    if (it == first_.end()) continue;
    Definition& battle = definitions_[it->second];
    battle.player_health = duel.player_health;
    battle.PC_health = duel.PC_health;
    battle.moves = duel.moves;
  }
  for (const StoryMap::Target& answer : check.map.answers) {
    int owner = EnclosingIndex(answer.file, answer.line - 1);
    if (owner >= 0) definitions_[owner].children.emplace_back(check.map.What(answer), answer.line - 1);
  }

  // The name lines of the start statement and the change commands.
  std::unordered_set<long long> leading;
  for (const StoryEdge& edge : check.edges) {
    if (edge.kind == StoryEdge::kStart || edge.kind == StoryEdge::kChange) {
      leading.insert(static_cast<long long>(edge.where.file) << 32 | edge.where.line);
    }
  }
  for (const NameUse& u : check.index.uses) {
    TextSpan span = SpanOf(u.where);
    bool leads = leading.count(static_cast<long long>(u.where.file) << 32 | u.where.line) != 0;
    int section = EnclosingIndex(span.file, span.line);
    if (u.kind == NameKind::kItem) {
      items_.push_back(Item{u.name, span, u.gives, section});
    } else {
      uses_.push_back(Use{HeaderOf(static_cast<int>(u.kind), u.name), span, section, leads});
    }
  }
}

const LspIndex::Definition* LspIndex::Find(const std::string& header) const {
  auto it = first_.find(header);
  return it == first_.end() ? nullptr : &definitions_[it->second];
}

int LspIndex::EnclosingIndex(int file, int line) const {
  if (file < 0 || file >= 2 || line < 0 || line >= static_cast<int>(owner_[file].size())) return -1;
  return owner_[file][line];
}

const LspIndex::Definition* LspIndex::Enclosing(int file, int line) const {
  int k = EnclosingIndex(file, line);
  return k < 0 ? nullptr : &definitions_[k];
}

std::string LspIndex::HeaderAt(int file, int line, size_t byte) const {
  // A name's whole line counts, the prefix of a header-form name included.
  for (const Use& u : uses_) {
    if (u.name.file == file && u.name.line == line && byte <= u.name.end) return u.header;
  }
  const Definition* d = Enclosing(file, line);
  if (d != nullptr && d->name.line == line && byte <= d->name.end) return d->header;
  return "";
}

const LspIndex::Item* LspIndex::ItemAt(int file, int line, size_t byte) const {
  for (const Item& item : items_) {
    const TextSpan& s = item.where;
    if (s.file == file && s.line == line && byte <= s.end) return &item;
  }
  return nullptr;
}
