// The story checker: reads a story the way the engine reads it, without
// playing it, and gives one list of findings (faults and likely mistakes),
// an index of its sections and of every place a name is used, its map and
// its statistics. ostrel-check, ostrel-explore and the language server all
// call CheckStory.
//
// The checker lives in tools/check/ with this header, one file per concern:
//   story.cpp       the story's files, lines, sections and start statement
//   commands.cpp    commands, and the played sections (locations, dialogs)
//   conditions.cpp  conditions, items and the names they use
//   battles.cpp     battles, animation sets and the animations file
//   reach.cpp       reach from the start, and loops that ask nothing
//   no_location.cpp a start that can end with no location to play
//   graph.cpp       the map, as a Graphviz graph
//   stats.cpp       the statistics
//   report.cpp      printing findings
//   main.cpp        ostrel-check
#ifndef TOOLS_CHECK_CHECK_H_
#define TOOLS_CHECK_CHECK_H_

#include <cstdint>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

/* ==== The story's files ================================================== */

// The four files of a story, in the order the engine opens them.
enum class StoryFile : int { kScript = 0, kAnimations = 1, kTitleScreen = 2, kCredits = 3 };
constexpr int kStoryFileCount = 4;

// "script.ostrel", "animations.ostrel", "title_screen.ostrel" or
// "credits.ostrel".
const char* StoryFileName(StoryFile file);

// The bytes of a story's four files, from disk or from an editor's unsaved
// buffers. A file that is not `present` is a missing file to the checker,
// just as it is to the engine. Lines are read from the bytes exactly as the
// engine reads them: they end at a line feed, a carriage return just before
// the line feed belongs to the line end, and a last line without a line end
// is a line too.
struct StorySources {
  struct File {
    bool present = false;
    std::string bytes;
  };
  File files[kStoryFileCount];

  File& operator[](StoryFile file) { return files[static_cast<int>(file)]; }
  const File& operator[](StoryFile file) const { return files[static_cast<int>(file)]; }
};

// Reads the four files of the story in `dir` ("" means the current
// directory). A file that cannot be read is left not present. Returns false,
// with `*err` set, when the story cannot be checked at all: no script, or a
// file too large to index (2 GiB or more).
bool ReadStorySources(const std::string& dir, StorySources* sources, std::string* err);

/* ==== Findings =========================================================== */

enum class Severity { kError, kWarning };

// A range of one line of one story file: `line` counts from 1; `start` and
// `end` are byte columns within the line, counted from 0, `end` one past the
// last byte (so a whole line is 0 .. its length, without its line end). An
// empty range (start == end) marks a place, such as the end of a line.
struct SourceRange {
  StoryFile file = StoryFile::kScript;
  int line = 1;
  int start = 0;
  int end = 0;
};

// A suggested change: replace the bytes of `range` by `text`.
struct Replacement {
  SourceRange range;
  std::string text;
};

// One fault or likely mistake. Errors are what the engine would report while
// playing, or what breaks the story; warnings are likely mistakes.
//
// `code` is stable, for tools to act on; the message may be reworded. The
// codes:
//   missing-start        no start statement (error)
//   byte-order-mark      a byte-order mark that hides the first line of the
//                        script or the animations file (error)
//   no-location          a start dialog or battle that can end with no
//                        location set (error)
//   extra-start          a start statement after the first one
//   start-same-line      a start statement with the name on its own line
//   duplicate-section    a header that stands a second time
//   unknown-section      a name that no section of its kind has (error)
//   unknown-animation-set  an animation set that is not in the animations
//                        file (error)
//   unreachable-section  a section that no start or change leads to
//   unknown-header       a "|" line that resembles a header but is none
//   unknown-command      a "/" line that is no command
//   frame-command        an animation frame line that begins with "/"
//   trailing-blank       a keyword line with blanks after it (warning; an
//                        error where the engine then misses a parameter)
//   leading-blank        a command or choice line with blanks before it,
//                        shown as text, or no answer
//   wait-not-number      "/wait:" without a number
//   count-line           a count line with text after its digits
//   unknown-condition    the line after "/if:" is no condition (error)
//   never-holds          a condition that cannot hold in its own section,
//                        or inside a block whose condition it contradicts
//   item-never-given     an item wanted that no "/add_to_inventory:" gives
//   unchoosable-answer   a choice line that the prompt can never find
//   duplicate-answer     a choice line that stands twice in its section
//   text-after-choices   a text line right after an answer's choice lines
//   text-after-prompt    a text line after "/get_input", never shown
//   answer-runs-on       an answer without "/end", running into the next
//   choice-as-text       a choice line reached by reading on, shown as text
//   missing-end          a section or animation without "/end" (error)
//   missing-end-if       a "/if:" without "/end_if" (error)
//   input-without-choice "/get_input" in a section with no answers (error)
//   missing-parameter    a battle parameter that is missing (error)
//   unknown-parameter    a "*" line in a battle that resembles a parameter
//                        but is none
//   missing-value        a battle parameter without its value line (error)
//   not-a-number         a battle number that is none
//   too-few-moves        a battle with fewer than 2 moves (error)
//   bar-line             a "|" line that cuts a battle's parameters off
//                        (error)
//   missing-animation    an animation that a battle's set lacks (error)
//   endless-loop         sections that go round for ever asking nothing
//                        (error)
//   possible-loop        sections that go round for ever asking nothing
//                        on some paths, past conditions (warning)
struct Finding {
  SourceRange where;
  Severity severity = Severity::kWarning;
  std::string code;
  std::string message;
  std::optional<Replacement> fix;  // the suggested replacement, where one exists
};

/* ==== The index: sections and the names used ============================ */

enum class SectionKind { kLocation, kDialog, kBattle, kAnimationSet, kAnimation };

// A header of the script ("|location=", "|dialog=", "|battle=") or of the
// animations file ("|animation_set=", "|animation=").
struct SectionEntry {
  SectionKind kind = SectionKind::kLocation;
  std::string name;    // the header without its prefix, taken whole
  std::string header;  // the whole header line
  StoryFile file = StoryFile::kScript;
  int line = 1;        // the header line, from 1
  int last_line = 1;   // the section's last line, before the next "|" line
  bool first = true;   // false for a second header of the same line, never played
  // Of an animation: the set it belongs to (an index into `sections`), or -1.
  int set = -1;
};

enum class NameKind { kLocation, kDialog, kBattle, kAnimationSet, kItem };

// One place where the story names a section, an animation set or an item: a
// start statement's name line, a change command's, a progress condition's,
// a battle's "*animation_set:" value, an inventory command's or condition's
// item line. `where` covers the name on its line.
struct NameUse {
  NameKind kind = NameKind::kLocation;
  std::string name;  // as written, the bare name (a condition's header form
                     // "|battle=Goblin" gives "Goblin")
  SourceRange where;
  bool known = false;  // a section or set of that name exists; an item is given
  bool gives = false;  // "/add_to_inventory:": the place that gives the item
};

struct StoryIndex {
  std::vector<SectionEntry> sections;  // in file order, script first
  std::vector<NameUse> uses;           // in file order, script first

  // The first section of `kind` named `name`, or null.
  const SectionEntry* Find(SectionKind kind, const std::string& name) const;
};

/* ==== The map ============================================================ */

// Where the story can go: one edge per change command, start statement and
// "/end_game", labelled with what leads along it.
struct StoryEdge {
  enum Kind {
    kStart,     // the start statement: `from` is empty
    kChange,    // a change command
    kReturn,    // a dialog or battle that leaves the location as it was:
                // the story returns to the current location (`to` is empty)
    kEndGame,   // "/end_game" (`to` is empty)
  };
  Kind kind = kChange;
  std::string from;  // the whole header line of the section it stands in
  std::string to;    // the whole header line it leads to
  std::string label;  // the answers that lead along it ("north / n"), or
                      // "won" / "lost" for a battle's results; empty when
                      // the section reads on to it
  bool conditional = false;  // stands under a condition
  SourceRange where;         // the name line, or the command line
};

// What a story offers to be reached, for the explorer.
struct StoryMap {
  // A place; what stands there is What(target). A large story has many:
  // their texts are held together, in `text`.
  struct Target {
    int file = 0;  // a StoryFile, as an int
    int line = 0;  // 1-based
    uint32_t what_at = 0, what_size = 0;  // in `text`
    int last = 0;          // of a section: its last line
    bool reached = false;  // of a section: a start or change command leads to it
  };
  struct Duel {
    std::string header;
    int line;
    long long player_health, PC_health, moves;
  };
  // A run of lines shown to the player, first to last, both included.
  struct TextRun {
    int file;
    int first, last;
  };
  std::vector<Target> sections;  // what: the header; first of each header only
  // What: the choice line; in file order. Answers on consecutive lines
  // lead to the same block.
  std::vector<Target> answers;
  // What: the choice line; those no word can choose (a blank in them, or
  // none after ">>"). In file order.
  std::vector<Target> unchoosable;
  std::vector<Target> blocks;   // what: the condition line
  std::vector<Target> items;    // what: the item given
  std::vector<TextRun> texts;   // the lines that can be shown
  std::vector<Duel> duels;
  std::string text;  // what the targets name, one after another

  std::string_view What(const Target& target) const {
    return std::string_view(text).substr(target.what_at, target.what_size);
  }
  Target Add(int file, int line, std::string_view what) {
    Target target;
    target.file = file;
    target.line = line;
    target.what_at = static_cast<uint32_t>(text.size());
    target.what_size = static_cast<uint32_t>(what.size());
    text += what;
    return target;
  }
};

/* ==== Checking ========================================================== */

struct StoryCheck {
  std::vector<Finding> findings;  // sorted by file and line, stable
  StoryIndex index;
  std::vector<StoryEdge> edges;
  StoryMap map;

  bool HasErrors() const;
};

// What CheckStory gathers besides the findings; all of it by default. A
// tool that wants only the findings of a very large story saves memory by
// leaving the rest out.
struct CheckParts {
  bool index = true;  // StoryCheck::index
  bool edges = true;  // StoryCheck::edges
  bool map = true;    // StoryCheck::map
};

// Checks a story. Never fails: a story without a script is all missing. The
// result holds copies, not views of `sources`. Time and memory grow in
// step with the story's lines, sections and edges.
StoryCheck CheckStory(const StorySources& sources, const CheckParts& parts = CheckParts());

// "FILE:LINE: error: MESSAGE" lines and the summary line.
void PrintFindings(const std::vector<Finding>& findings, std::ostream& out);

// The story map as a Graphviz DOT graph.
void PrintGraph(const StoryCheck& check, std::ostream& out);

// Story statistics: the words shown by kind of section, the sections,
// answers, conditions, battles with their odds, items, animations, and the
// time the typed dialogs take.
void PrintStats(const StorySources& sources, const StoryCheck& check, std::ostream& out);

#endif  // TOOLS_CHECK_CHECK_H_
