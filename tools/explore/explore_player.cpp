// The random player of ostrel-explore: its terminal layer, which answers
// every prompt at once, and its watch on the story events.
#include <algorithm>
#include <string>

#include "console.h"
#include "data_stream.h"
#include "explore/explore.h"
#include "globals.h"
#include "keywords.h"
#include "story_events.h"
#include "common/story_runner.h"
#include "terminal.h"

namespace {

bool g_capturing = false;
std::string g_capture;

// One prompt or move more; past the limit, the run is stopped.
void Step() {
  ExploreRun& run = CurrentRun();
  if (++run.steps > run.step_limit) throw RunEnded{kStepLimitStatus};
}

bool Chance(int one_in) {
  return CurrentRun().random() % static_cast<unsigned>(one_in) == 0;
}

int FileOf(const DataStream* stream) {
  return stream == &animations ? 1 : stream == &script ? 0 : -1;
}

}  // namespace

ExploreRun& CurrentRun() {
  static ExploreRun run;
  return run;
}

ExploreCoverage& Coverage() {
  static ExploreCoverage coverage;
  return coverage;
}

/* ==== The terminal layer ================================================ */

void TermWrite(const char* data, size_t size) {
  if (g_capturing) g_capture.append(data, size);
}

void TermFlush() {}

// An error report is what is written between the red and the usual colour.
void TermSetColor(int attribute) {
  if (attribute == kErrorColor) {
    g_capturing = true;
    g_capture.clear();
  } else if (g_capturing) {
    g_capturing = false;
    std::string message = StartsWith(g_capture, kReportPrefix)
                              ? g_capture.substr(std::string(kReportPrefix).size())
                              : g_capture;
    ExploreRun& run = CurrentRun();
    // The key that the report waits for is part of the walkthrough.
    run.reports.push_back({message, current_section, run.walkthrough.size() + 1});
  }
}

void TermClearScreen() {}
void TermSleep(int) {}
// The explorer never waits: a dialog's line is written at once.
bool TermTypingEffect() { return false; }

bool TermWaitKey() {
  CurrentRun().walkthrough += 'k';
  return true;
}

bool TermReadKey(std::string* key) {
  *key = "k";
  return TermWaitKey();
}

bool TermInteractive() { return false; }
void TermShowAnswer(const std::string&) {}
bool TermReadReady(TermRead) { return true; }

bool TermReadWord(std::string* word) {
  Step();
  ExploreRun& run = CurrentRun();
  // The answers of the section, in groups of consecutive lines.
  std::vector<std::vector<std::string>> answer_groups;
  auto found = run.sections->find(current_section);
  if (found != run.sections->end()) {
    const StoryMap::Target& section = run.map->sections[found->second];
    const std::vector<StoryMap::Target>& answers = run.map->answers;
    auto at = std::lower_bound(answers.begin(), answers.end(), section.line,
                               [](const StoryMap::Target& t, int line) { return t.line < line; });
    for (int last = -1; at != answers.end() && at->line <= section.last; last = at->line, ++at) {
      if (at->line != last + 1 || answer_groups.empty()) answer_groups.emplace_back();
      answer_groups.back().emplace_back(run.map->What(*at).substr(2));
    }
  }
  const std::vector<std::vector<std::string>>* groups = answer_groups.empty() ? nullptr : &answer_groups;
  if (groups == nullptr || Chance(20)) {
    // Now and then a word that no answer offers.
    *word = "xyzzy";
    if (groups != nullptr) {
      for (bool offered = true; offered;) {
        offered = false;
        for (const auto& group : *groups) {
          for (const std::string& w : group) offered = offered || w == *word;
        }
        if (offered) *word += "z";
      }
    }
  } else {
    const std::vector<std::string>& group = (*groups)[run.random() % groups->size()];
    *word = group[run.random() % group.size()];
  }
  run.walkthrough += *word + "\n";
  return true;
}

bool TermReadNumber(long long* value) {
  Step();
  ExploreRun& run = CurrentRun();
  long long most = moves < 1 ? 1 : moves;
  if (Chance(20)) {
    *value = Chance(2) ? 0 : most + 1;
  } else {
    *value = 1 + static_cast<long long>(run.random() % static_cast<unsigned long long>(most));
  }
  run.walkthrough += std::to_string(*value) + "\n";
  return true;
}

std::time_t TermTime() { return CurrentRun().clock++; }

void TermEndRun(int status) { throw RunEnded{status}; }

/* ==== The story events ================================================== */

void OnSectionEntered(const std::string& header) {
  Coverage().sections.insert(header);
  CurrentRun().entered.push_back({CurrentRun().steps, header});
  if (StartsWith(header, kw::kBattlePrefix)) ++Coverage().fought[header];
}

void OnLineShown() {
  const DataStream* stream = DataStream::last_read();
  int file = FileOf(stream);
  if (file >= 0) Coverage().shown.insert({file, stream->line_number()});
}

void OnBlock(const DataStream& source, long long if_line, bool played) {
  int file = FileOf(&source);
  if (file < 0) return;
  (played ? Coverage().played : Coverage().skipped).insert({file, if_line});
}

void OnAnswer(long long choice_line) { Coverage().answers.insert(choice_line); }

void OnItemGiven(const DataStream& source, long long name_line) {
  int file = FileOf(&source);
  if (file >= 0) Coverage().given.insert({file, name_line});
}

void OnBattleOutcome(const std::string& header, bool player_won) {
  ++(player_won ? Coverage().won : Coverage().lost)[header];
}
