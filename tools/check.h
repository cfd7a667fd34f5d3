// StoryChecker: finds the faults of a story without playing it, and draws
// its map.
#ifndef TOOLS_CHECK_H_
#define TOOLS_CHECK_H_

#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

struct Diagnostic {
  int file;  // index into StoryChecker::kFiles
  int line;  // 1-based
  bool error;
  std::string message;
};

// What a story offers to be reached, as the checker reads it: the places a
// random player can find, and the numbers of its duels.
struct StoryMap {
  struct Target {
    int file;  // index into StoryChecker::kFiles
    int line;  // 1-based
    std::string what;
  };
  struct Duel {
    std::string header;
    int line;
    long long player_health, PC_health, moves;
  };
  std::vector<Target> sections;  // what: the header; first of each header only
  std::map<std::string, std::vector<std::vector<std::string>>> answer_groups;
  std::vector<Target> answers;  // what: the choice line
  std::vector<Target> blocks;   // what: the condition line
  std::vector<Target> items;    // what: the item given
  std::vector<Target> texts;    // what: the line shown
  std::vector<Duel> duels;
  std::set<std::string> reachable;  // headers a change command can lead to
};

class StoryChecker {
 public:
  static const char* const kFiles[4];

  // Reads the story files of `dir`. Returns false, with `*err` set, when the
  // story cannot be read at all (no directory, no script).
  bool Load(const std::string& dir, std::string* err);
  // Takes the script and the animations as lines, for a story held in memory.
  void LoadLines(std::vector<std::string> script, std::vector<std::string> animations,
                 bool has_animations);

  // Finds every fault; the diagnostics come sorted by file and line.
  void Check();
  const std::vector<Diagnostic>& diagnostics() const { return diagnostics_; }
  // "FILE:LINE: error: MESSAGE" lines and the summary line.
  void PrintDiagnostics(std::ostream& out) const;
  bool HasErrors() const;

  // The story map as a Graphviz DOT graph. Call after Check().
  void PrintGraph(std::ostream& out) const;

  // What the story offers to be reached. Call after Check().
  const StoryMap& map() const { return map_; }

 private:
  enum Kind { kLocation, kDialog, kBattle };
  struct Section {
    Kind kind;
    std::string header;
    int first;  // index of the header line
    int end;    // index of the line that ends it, or the number of lines
  };
  struct Edge {
    std::string from;  // header, or empty for the start statement
    std::string to;
    std::string label;
    bool conditional;
    int line;  // index of the name line
  };
  struct ItemUse {
    std::string name;
    int file;
    int line;
  };

  void Report(int file, int index, bool error, std::string message);
  void FindSections();
  void CheckStart();
  void CheckPlayedSection(const Section& section);
  void CheckBattle(const Section& section);
  void CheckAnimationSet(int value_index, int moves);
  void CheckAnimationsFile();
  void CheckReach();
  void CheckItems();
  // Reads the command at `lines[*i]` with its argument lines, as the engine
  // would (wherever they stand), advancing `*i` past them. `from` is the
  // section it stands in, `label` the answers or result that lead to it,
  // `depth` its /if: depth.
  void Command(int file, const std::vector<std::string>& lines, int* i,
               const std::string& from, const std::string& label, int depth);
  void UnknownCommand(int file, int index, const std::string& text,
                      bool frame);
  int FindLine(const Section& section, const std::string& text) const;
  const Section* Find(const std::string& header) const;

  std::vector<std::string> script_;
  std::vector<std::string> animations_;
  bool has_animations_ = false;
  std::vector<Section> sections_;
  std::vector<Edge> edges_;
  std::vector<ItemUse> given_;
  std::vector<ItemUse> wanted_;
  std::vector<Diagnostic> diagnostics_;
  StoryMap map_;
};

#endif  // TOOLS_CHECK_H_
