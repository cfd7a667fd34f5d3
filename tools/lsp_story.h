// StoryIndex: where a story's sections, animation sets, animations and items
// are defined and where their names are used, for the language server.
#ifndef TOOLS_LSP_STORY_H_
#define TOOLS_LSP_STORY_H_

#include <string>
#include <unordered_map>
#include <vector>

// The four files of a story, as lines; a missing file has none.
struct StoryText {
  std::vector<std::string> lines[4];  // ORDER StoryChecker::kFiles
  bool present[4] = {false, false, false, false};
};

constexpr int kScriptFile = 0;
constexpr int kAnimationsFile = 1;

// A stretch of one line: 0-based line, byte columns [begin, end).
struct TextSpan {
  int file;
  int line;
  size_t begin;
  size_t end;
};

class StoryIndex {
 public:
  // A section of the script, or an animation set of the animations file:
  // `header` is its whole header line, the key that names refer to.
  struct Definition {
    std::string header;
    TextSpan name;   // the name after the header's prefix
    int end_line;    // one past its last line
    int kind;        // 0 location, 1 dialog, 2 battle, 3 animation set
    std::vector<std::pair<std::string, int>> children;  // answers or animations, with lines
    // For a battle: its numbers, -1 where a parameter is missing.
    long long player_health = -1, PC_health = -1, moves = -1;
  };
  // A line that names a section or a set; `name` spans the name only (past
  // the prefix of a condition argument written as a header).
  struct Use {
    std::string header;
    TextSpan name;
    int section;  // the definition it stands in, or -1
  };
  struct Item {
    std::string name;
    TextSpan where;
    bool given;
    int section;
  };

  static constexpr int kSet = 3;
  static const char* const kPrefixes[4];

  void Build(const StoryText& text);

  const std::vector<Definition>& definitions() const { return definitions_; }
  const std::vector<Use>& uses() const { return uses_; }
  const std::vector<Item>& items() const { return items_; }

  // The first definition of `header`, or null.
  const Definition* Find(const std::string& header) const;
  // The definition whose lines hold `line` of `file`, or null.
  const Definition* Enclosing(int file, int line) const;
  // The header named at a position (a definition's name or a use), or empty.
  std::string HeaderAt(int file, int line, size_t byte) const;
  // The item named at a position, or null.
  const Item* ItemAt(int file, int line, size_t byte) const;
  // The header of kind `kind` with the name `name`.
  static std::string HeaderOf(int kind, const std::string& name);
  // The kind of a header (0 to 3), or -1.
  static int KindOf(const std::string& header);

 private:
  void ScanScript(const std::vector<std::string>& lines);
  void ScanAnimations(const std::vector<std::string>& lines);
  void AddUse(const std::string& header, int file, int line, size_t begin, size_t end);

  std::vector<Definition> definitions_;
  std::vector<Use> uses_;
  std::vector<Item> items_;
  std::unordered_map<std::string, size_t> first_;
  int current_ = -1;
};

#endif  // TOOLS_LSP_STORY_H_
