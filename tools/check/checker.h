// The checker's inner workings, shared by the files of tools/check/. The
// public face is check.h.
#ifndef TOOLS_CHECK_CHECKER_H_
#define TOOLS_CHECK_CHECKER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "check/check.h"

// The lines of one file, as views into its bytes, read by the engine's rule:
// a line ends at a line feed, a carriage return before the line feed belongs
// to the line end, a last line without a line end is a line too. Only the
// lines that stand in the file count (no empty line after a last line end).
// REQUIRES: the bytes outlive the table and are shorter than 2 GiB.
//
// The table keeps where every 16th line starts, and the lines around the
// one last asked for: reading lines in order, or near the last one, costs
// no more than finding their ends once, and the table takes a quarter of a
// byte per line.
class LineTable {
 public:
  void Build(std::string_view bytes);
  int size() const { return count_; }
  std::string_view operator[](int i) const;
  // The line, or "" past the end: what a read past the file's end gives.
  std::string_view At(int i) const { return i < size() ? (*this)[i] : std::string_view(); }
  // How many lines begin with "|": no more sections than that.
  int bar_lines() const { return bar_lines_; }

 private:
  static constexpr int kStep = 16;
  static constexpr int kWindow = 512;  // lines, a multiple of kStep
  std::string_view bytes_;
  std::vector<uint32_t> checkpoints_;  // where lines 0, 16, 32 ... start
  int count_ = 0;
  int bar_lines_ = 0;
  // The lines from window_first_ on, as read last.
  mutable std::vector<std::string_view> window_;
  mutable int window_first_ = 0;
};

bool StartsWith(std::string_view text, std::string_view prefix);
bool IsDigitChar(char c);
// The text as the engine's atoi reads it; saturates at the 32-bit limits.
long long NumberOf(std::string_view text);
// A line "/wait:" reads a pause from: blanks, a sign, then a digit.
bool LooksLikeNumber(std::string_view text);
// The length of `text` without the blanks at its end.
size_t TrimmedEnd(std::string_view text);
std::string Lower(std::string_view text);
// Of `candidates`, the one that `text` resembles: the same but for letter
// case or blanks at its ends, or a slip of one or two characters in a name
// of more than three. Empty when none does.
std::string Resembles(std::string_view text, const std::vector<std::string>& candidates);

class Checker {
 public:
  enum Kind : uint8_t { kLocation, kDialog, kBattle };
  struct Section {  // 32 bytes: a large story has many
    std::string_view header;
    int first;     // index of the header line
    int end;       // index of the line that ends it, or the number of lines
    Kind kind;
    bool played;   // the first of its header: the one every lookup finds
  };

  // A condition on a path through a section, as the engine tests it.
  struct Literal {
    enum Kind { kVisited, kPlayed, kWon, kFought, kHeld } kind = kVisited;
    bool holds = true;   // false for the "Not" forms
    std::string header;  // the section's whole header, or the item's name
    long long count = 1;  // kHeld: at least this many
    int line = -1;        // the condition line, as an index
    size_t after_items = 0;  // how many of the path's items came before it
  };
  // How one path through a section ends, and what it leaves pending.
  struct Outcome {
    std::vector<Literal> literals;
    // Items given ("+" and the name) or taken ("-" and the name) on the way,
    // and how many of each.
    std::vector<std::string> items;
    std::vector<long long> counts;
    int location = -1;  // the section set by "/change_location:", -1 none,
    int dialog = -1;    // kMissing when the name has no section
    int battle_to = -1;  // likewise, the battle set by "/change_battle:"
    bool battle = false;
    bool asked = false;     // reached "/get_input"
    bool ended = false;     // "/end_game"
    bool broken = false;    // ran into the next section: already an error
    bool unknown = false;   // stands for the paths past the walk's bound
  };
  static constexpr int kMissing = -2;

  Checker(const StorySources& sources, const CheckParts& parts, StoryCheck* out);
  void Run();

  /* story.cpp */
  // Reports a byte-order mark that hides the first line of the script or of
  // the animations file from the engine.
  void CheckByteOrderMarks();
  void Report(StoryFile file, int index, int start, int end, Severity severity,
              const char* code, std::string message);
  void ReportLine(StoryFile file, int index, Severity severity, const char* code,
                  std::string message);
  const LineTable& Lines(StoryFile file) const { return lines_[static_cast<int>(file)]; }
  // The section played under a header: the first one; -1 when none.
  int Find(std::string_view header) const;
  void FindSections();
  // Reports a "|" line at `index` that resembles a header but is none.
  void MisspeltHeader(int index);
  void CheckStart();

  /* commands.cpp */
  void CheckPlayedSection(const Section& section);
  // Reads the command at `lines[*i]` with its argument lines, as the engine
  // would, advancing `*i` past them; records the names it uses.
  void Command(StoryFile file, int* i, int section);
  void ShownLine(StoryFile file, int index);
  void LeadingBlank(int index);
  void UnknownCommand(StoryFile file, int index, bool frame);
  // Follows the paths through a section from line `start` as the engine
  // plays them, recording the map's edges; with `outcomes`, how each path
  // ends. `label` names the answers that lead here.
  void Walk(int section, int start, const std::string& label, bool result_text,
            std::vector<Outcome>* outcomes);
  // The answers of a section the prompt can find, in groups of consecutive
  // choice lines: the first choice line and the words ("north / n"); a
  // group of answers that can never be chosen has no words.
  std::vector<std::pair<int, std::string>> AnswerGroups(const Section& section) const;
  // Per line of `section`, from its header: whether it stands inside a
  // block, "/if:" to "/end_if", of the walk made last. Empty when none does.
  std::vector<bool> BlockLines(const Section& section) const;

  /* conditions.cpp */
  // The condition at line `index` (the line after "/if:"): its literal, and
  // in `*next` the index after its lines. Returns false for no known
  // condition. Reports nothing.
  bool ParseCondition(StoryFile file, int index, Literal* literal, int* next) const;
  // A count line and an item's name from line `k`: the name's index, and
  // the index after them. Reports nothing.
  int ParseItem(StoryFile file, int k, int* name_index) const;
  // Records and checks the condition at `index` standing in `section` (-1:
  // none); returns the index after its lines.
  int UseCondition(StoryFile file, int index, int section);
  // Records and checks an item from the count line `k`; returns the index
  // after it.
  int UseItem(StoryFile file, int k, bool gives);
  // Records and checks a section name at line `index`.
  // `condition`: a progress condition's argument, which the header form may
  // name too, and which the engine never reports.
  void UseName(StoryFile file, int index, Kind kind, bool condition, const char* keyword);
  void CheckItems();
  // Whether a path that met `literals`, and gave or took `items`, can meet
  // `more` too.
  static bool Consistent(const std::vector<Literal>& literals,
                         const std::vector<std::string>& items, const Literal& more);
  // The condition as the story writes it: "'BattleWon:' |battle=Troll",
  // "'HasInInventory:' 3 'Coin'".
  static std::string Describe(const Literal& literal);
  // Warns of each block in lines [first, end) of `section` nested in a block
  // whose condition it contradicts, where no path the walks followed plays
  // it (`fates`).
  void CheckNestedConditions(int section, int first, int end);

  /* battles.cpp */
  void CheckBattle(const Section& section);
  void IndexAnimations();
  // `played` is false for a battle decided before its first turn, whose
  // animations are never played: the set's name is only indexed.
  void CheckAnimationSet(int value_index, int moves, bool played);
  void CheckAnimationsFile();
  // A line that is `keyword` but for blanks at its end, in the section.
  int FindTrailing(const Section& section, std::string_view keyword) const;
  int FindLine(const Section& section, std::string_view text) const;

  /* reach.cpp */
  void CheckReach();
  void CheckLoops();

  /* no_location.cpp */
  // A story that starts with a dialog or a battle and can end it with no
  // location set: an error at the start statement.
  void CheckNoLocation();

  // The names of the sections of a kind, for suggestions; made when first
  // needed.
  const std::vector<std::string>& NamesOf(Kind kind);

  const StorySources& sources_;
  const CheckParts parts_;
  StoryCheck* out_;
  LineTable lines_[kStoryFileCount];
  std::vector<Section> sections_;
  // The played section of each header, by open addressing: a slot holds an
  // index into sections_, or -1, and bits of its header's hash, so that a
  // lookup reads only the header it finds.
  struct Slot {
    int section;
    uint32_t hash;
  };
  std::vector<Slot> header_slots_;
  // The sections that the change commands of the section being checked
  // name, by the index of the name's line, in order: found once, for the
  // scan and the walk.
  std::vector<std::pair<int, int>> targets_;
  // Where a change command or the start statement leads: section indexes,
  // -1 for the start statement.
  std::vector<std::pair<int, int>> links_;
  std::unordered_map<std::string_view, int> sets_;  // animation set header -> line
  std::vector<std::string> set_names_;
  // Per played section: how its paths from the header end when they ask
  // nothing, and whether some path asks, fights or ends the game.
  // Few sections have such paths: only those are held.
  std::unordered_map<int, std::vector<Outcome>> outcomes_;
  std::vector<bool> asks_;
  std::vector<bool> reached_;  // per section: a start or change leads to it
  // Where each command line's edge stands in out_->edges, by file position.
  std::unordered_map<int, size_t> edge_at_;
  // Each "/if:" of the section being walked: the index of its "/end_if".
  int match_section_ = -1;
  // Lines the walks of the section being checked may still read: answers
  // that run on into each other would otherwise read a long section over
  // and over.
  long walk_budget_ = 0;
  // What the walks of the section being checked found of each "/if:", by
  // its index: whether a path reached it, and whether one played its block.
  struct IfFate {
    bool reached = false;
    bool taken = false;
    bool fixed = false;  // a condition on the section itself
    bool known = false;
  };
  std::unordered_map<int, IfFate>* fates_ = nullptr;
  bool walk_bounded_ = false;  // a walk left paths unfollowed
  // The walk being made starts at an answer that stands in a block.
  bool under_condition_ = false;
  // Walks made again after the check: they add no edges and no links.
  bool quiet_walk_ = false;
  // The start statement: its index, and where it leads.
  int start_line_ = -1;
  Kind start_kind_ = kLocation;
  int start_target_ = -1;
  std::unordered_map<int, int> match_;
  // Items wanted, checked when the whole story is read, and the items given.
  struct ItemUse {
    std::string_view name;
    StoryFile file;
    int index;
    long use;  // its entry in out_->index.uses, or -1
  };
  std::vector<ItemUse> wanted_;
  std::unordered_map<std::string_view, int> given_;  // name -> count of gives
  std::vector<std::string> names_[3];  // for suggestions, by kind
  bool names_made_[3] = {false, false, false};
  size_t suggestions_left_ = 2000;  // bounds the work on stories full of faults
};

#endif  // TOOLS_CHECK_CHECKER_H_
