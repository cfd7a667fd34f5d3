// LspIndex: a story's sections, animation sets and names, as the language
// server looks them up by position, built from the checker's index.
#ifndef TOOLS_LSP_STORY_H_
#define TOOLS_LSP_STORY_H_

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "check/check.h"

// The four files of a story, as lines; a missing file has none.
struct StoryText {
  std::vector<std::string> lines[kStoryFileCount];  // ORDER StoryFile
  bool present[kStoryFileCount] = {false, false, false, false};
};

constexpr int kScriptFile = static_cast<int>(StoryFile::kScript);
constexpr int kAnimationsFile = static_cast<int>(StoryFile::kAnimations);

// A stretch of one line: 0-based line, byte columns [begin, end).
struct TextSpan {
  int file;
  int line;
  size_t begin;
  size_t end;
};

// The span of a checker's range (whose lines count from 1).
TextSpan SpanOf(const SourceRange& range);

class LspIndex {
 public:
  // A section of the script, or an animation set of the animations file:
  // `header` is its whole header line, the key that names refer to.
  struct Definition {
    std::string header;
    TextSpan name;  // the name after the header's prefix
    int end_line;   // one past its last line
    int kind;       // 0 location, 1 dialog, 2 battle, 3 animation set
    std::vector<std::pair<std::string, int>> children;  // answers or animations, with lines
    // Of a battle: its numbers, as the checker reads them.
    long long player_health = 0, PC_health = 0, moves = 0;
  };
  // A line that names a section or a set; `name` spans the name only (past
  // the prefix of a condition argument written as a header).
  struct Use {
    std::string header;
    TextSpan name;
    int section;  // the definition it stands in, or -1
    bool leads;   // a start statement's or a change command's name
  };
  struct Item {
    std::string name;
    TextSpan where;
    bool given;
    int section;
  };

  static constexpr int kSet = 3;
  static const char* const kPrefixes[4];

  void Build(const StoryCheck& check, const StoryText& text);

  const std::vector<Definition>& definitions() const { return definitions_; }
  const std::vector<Use>& uses() const { return uses_; }
  const std::vector<Item>& items() const { return items_; }

  // The first definition of `header`, or null.
  const Definition* Find(const std::string& header) const;
  // The definition whose lines hold `line` of `file`, or null.
  const Definition* Enclosing(int file, int line) const;
  // The header named on a line (by a definition or a use) at a byte, or empty.
  std::string HeaderAt(int file, int line, size_t byte) const;
  // The item named at a position, or null.
  const Item* ItemAt(int file, int line, size_t byte) const;
  // The header of kind `kind` with the name `name`.
  static std::string HeaderOf(int kind, const std::string& name);

 private:
  int EnclosingIndex(int file, int line) const;

  std::vector<Definition> definitions_;
  std::vector<Use> uses_;
  std::vector<Item> items_;
  std::unordered_map<std::string, size_t> first_;
  // For each line of the script and of the animations file, the definition
  // that holds it, or -1.
  std::vector<int> owner_[2];
};

#endif  // TOOLS_LSP_STORY_H_
