// ostrel-explore: random playthroughs, their faults, coverage and duel odds.
#include "explore/explore.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <filesystem>

#include "check/check.h"
#include "common/duel_odds.h"
#include "common/story_runner.h"

namespace {

// An error report as all runs saw it.
struct ReportSeen {
  std::string message;
  std::string section;
  long long runs = 0;
  std::string shortest;  // the shortest walkthrough that reaches it
  std::time_t clock = 0;  // the clock at the start of that run
  std::string file;       // where that walkthrough was written
};

struct Unreached {
  int file;
  int line;
  int last;  // the last line of a range, or `line`
  std::string text;
};

// "FILE:LINE" or "FILE:FIRST-LAST".
std::string Place(const Unreached& u) {
  std::string place = std::string(StoryFileName(static_cast<StoryFile>(u.file))) + ":" + std::to_string(u.line);
  if (u.last > u.line) place += "-" + std::to_string(u.last);
  return place;
}

std::string Json(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

std::string Number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.4f", value);
  return buffer;
}

}  // namespace

int Explore(const ExploreOptions& options) {
  StoryCheck check;
  {
    // The story's bytes are needed only while it is checked.
    StorySources sources;
    std::string err;
    if (!ReadStorySources(options.dir, &sources, &err)) {
      std::cerr << "ostrel-explore: " << err << "\n";
      return 2;
    }
    CheckParts parts;
    parts.index = false;
    parts.edges = false;
    check = CheckStory(sources, parts);
  }
  const StoryMap& map = check.map;
  std::unordered_map<std::string_view, size_t> section_index;
  for (size_t s = 0; s < map.sections.size(); ++s) section_index.emplace(map.What(map.sections[s]), s);

  std::vector<ReportSeen> reports;
  std::map<std::string, long long> endless;  // the sections gone round, and how often
  long long ended = 0, engine_ended = 0, stopped = 0;
  for (long long r = 0; r < options.runs; ++r) {
    ExploreRun& run = CurrentRun();
    std::seed_seq seeds{static_cast<unsigned>(options.seed), static_cast<unsigned>(options.seed >> 32),
                        static_cast<unsigned>(r)};
    run.random.seed(seeds);
    run.map = &map;
    run.sections = &section_index;
    run.step_limit = options.steps;
    run.steps = 0;
    std::time_t start = static_cast<std::time_t>(1000000000LL + 100000LL * r);
    run.clock = start;
    run.walkthrough.clear();
    run.reports.clear();
    run.entered.clear();
    int status = PlayStoryOnce(options.dir);

    if (status == kStepLimitStatus) {
      ++stopped;
      std::set<std::string> late;
      for (const auto& entry : run.entered) {
        if (entry.first * 10 >= options.steps * 9) late.insert(entry.second);
      }
      std::string key;
      for (const std::string& header : late) key += (key.empty() ? "" : " ") + header;
      ++endless[key.empty() ? "(no section: one prompt asked again and again)" : key];
    } else if (status == 0) {
      ++ended;
    } else {
      ++engine_ended;
    }
    std::set<std::pair<std::string, std::string>> counted;
    for (const ExploreRun::Report& report : run.reports) {
      std::string walkthrough = run.walkthrough.substr(0, report.walkthrough_length);
      auto it = std::find_if(reports.begin(), reports.end(), [&](const ReportSeen& seen) {
        return seen.message == report.message && seen.section == report.section;
      });
      if (it == reports.end()) {
        reports.push_back(ReportSeen{report.message, report.section, 0, walkthrough, start, ""});
        it = reports.end() - 1;
      } else if (walkthrough.size() < it->shortest.size()) {
        it->shortest = walkthrough;
        it->clock = start;
      }
      if (counted.insert({report.message, report.section}).second) ++it->runs;
    }
  }

  // Walkthroughs of the reports, for ostrel-replay.
  if (!reports.empty()) {
    std::error_code ignored;
    std::filesystem::create_directories(options.out, ignored);
  }
  for (size_t i = 0; i < reports.size(); ++i) {
    reports[i].file = options.out + "/error-" + std::to_string(i + 1) + ".txt";
    FILE* f = std::fopen(reports[i].file.c_str(), "wb");
    if (f != nullptr) {
      std::fwrite(reports[i].shortest.data(), 1, reports[i].shortest.size(), f);
      std::fclose(f);
    }
  }

  // What no run reached, with the section each place stands in. A section
  // never entered is one line for all of it, and lines never shown are
  // given as ranges, so that a large story gives a short report.
  const ExploreCoverage& coverage = Coverage();
  auto section_at = [&](int file, int line) -> const StoryMap::Target* {
    if (file != 0) return nullptr;
    auto after = std::upper_bound(map.sections.begin(), map.sections.end(), line,
                                  [](int l, const StoryMap::Target& t) { return l < t.line; });
    if (after == map.sections.begin()) return nullptr;
    const StoryMap::Target* section = &*(after - 1);
    return line <= section->last ? section : nullptr;
  };
  auto unseen = [&](int file, int line) {
    const StoryMap::Target* section = section_at(file, line);
    return section != nullptr && coverage.sections.count(std::string(map.What(*section))) == 0;
  };
  std::vector<Unreached> findings;
  // Sections never entered that follow each other in the file are one
  // range.
  for (size_t s = 0; s < map.sections.size();) {
    const StoryMap::Target& t = map.sections[s];
    if (coverage.sections.count(std::string(map.What(t))) != 0) {
      ++s;
      continue;
    }
    size_t last = s;
    while (last + 1 < map.sections.size() && coverage.sections.count(std::string(map.What(map.sections[last + 1]))) == 0 &&
           map.sections[last + 1].line == map.sections[last].last + 1 &&
           map.sections[last + 1].reached == t.reached) {
      ++last;
    }
    std::string reason = !t.reached ? (last > s ? " (no start statement or change command leads to them)"
                                                : " (no start statement or change command leads to it)")
                                    : "";
    std::string what = last > s ? std::to_string(last - s + 1) + " sections never entered, " + std::string(map.What(t)) + " to " +
                                      std::string(map.What(map.sections[last]))
                                : "section " + std::string(map.What(t)) + " never entered";
    findings.push_back({t.file, t.line, map.sections[last].last, what + reason});
    s = last + 1;
  }
  for (const StoryMap::Target& t : map.answers) {
    if (coverage.answers.count(t.line) == 0 && !unseen(t.file, t.line)) {
      findings.push_back({t.file, t.line, t.line, "answer '" + std::string(map.What(t)) + "' never taken"});
    }
  }
  for (const StoryMap::Target& t : map.unchoosable) {
    if (!unseen(t.file, t.line)) {
      findings.push_back({t.file, t.line, t.line,
                          "answer '" + std::string(map.What(t)) + "' never taken (no single word can choose it)"});
    }
  }
  for (const StoryMap::Target& t : map.blocks) {
    if (unseen(t.file, t.line)) continue;
    bool played = coverage.played.count({t.file, t.line}) != 0;
    bool skipped = coverage.skipped.count({t.file, t.line}) != 0;
    if (!played && !skipped) {
      findings.push_back({t.file, t.line, t.line, "block on '" + std::string(map.What(t)) + "' never played nor skipped"});
    } else if (!played) {
      findings.push_back({t.file, t.line, t.line, "block on '" + std::string(map.What(t)) + "' never played"});
    } else if (!skipped) {
      findings.push_back({t.file, t.line, t.line, "block on '" + std::string(map.What(t)) + "' never skipped"});
    }
  }
  for (const StoryMap::Target& t : map.items) {
    if (coverage.given.count({t.file, t.line}) == 0 && !unseen(t.file, t.line)) {
      findings.push_back({t.file, t.line, t.line, "item '" + std::string(map.What(t)) + "' never given"});
    }
  }
  for (const StoryMap::TextRun& run : map.texts) {
    int first = 0;
    for (int line = run.first; line <= run.last + 1; ++line) {
      bool missed = line <= run.last && coverage.shown.count({run.file, line}) == 0 && !unseen(run.file, line);
      if (missed && first == 0) first = line;
      if (!missed && first != 0) {
        findings.push_back({run.file, first, line - 1,
                            line - 1 > first ? "text lines never shown" : "text line never shown"});
        first = 0;
      }
    }
  }
  std::stable_sort(findings.begin(), findings.end(), [](const Unreached& a, const Unreached& b) {
    return a.file != b.file ? a.file < b.file : a.line < b.line;
  });

  std::ostringstream out;
  if (options.json) {
    out << "{\n  \"story\": " << Json(options.dir) << ",\n  \"runs\": " << options.runs
        << ",\n  \"seed\": " << options.seed << ",\n  \"steps\": " << options.steps
        << ",\n  \"ended\": " << ended << ",\n  \"ended_by_engine\": " << engine_ended
        << ",\n  \"step_limit\": " << stopped << ",\n  \"errors\": [";
    for (size_t i = 0; i < reports.size(); ++i) {
      const ReportSeen& r = reports[i];
      out << (i ? ",\n" : "\n") << "    {\"message\": " << Json(r.message)
          << ", \"section\": " << Json(r.section) << ", \"runs\": " << r.runs
          << ", \"walkthrough\": " << Json(r.file) << ", \"time\": " << r.clock << "}";
    }
    out << (reports.empty() ? "" : "\n  ") << "],\n  \"endless\": [";
    size_t k = 0;
    for (const auto& e : endless) {
      out << (k++ ? ",\n" : "\n") << "    {\"sections\": " << Json(e.first)
          << ", \"runs\": " << e.second << "}";
    }
    out << (endless.empty() ? "" : "\n  ") << "],\n  \"never_reached\": [";
    for (size_t i = 0; i < findings.size(); ++i) {
      out << (i ? ",\n" : "\n") << "    {\"file\": " << Json(StoryFileName(static_cast<StoryFile>(findings[i].file)))
          << ", \"line\": " << findings[i].line << ", \"last_line\": " << findings[i].last
          << ", \"what\": " << Json(findings[i].text) << "}";
    }
    out << (findings.empty() ? "" : "\n  ") << "],\n  \"battles\": [";
    for (size_t i = 0; i < map.duels.size(); ++i) {
      const StoryMap::Duel& d = map.duels[i];
      DuelOdds odds = ComputeDuelOdds(d.player_health, d.PC_health, d.moves);
      out << (i ? ",\n" : "\n") << "    {\"section\": " << Json(d.header) << ", \"line\": " << d.line
          << ", \"fought\": " << (coverage.fought.count(d.header) ? coverage.fought.at(d.header) : 0)
          << ", \"won\": " << (coverage.won.count(d.header) ? coverage.won.at(d.header) : 0)
          << ", \"lost\": " << (coverage.lost.count(d.header) ? coverage.lost.at(d.header) : 0);
      if (odds.computed) {
        out << ", \"player_wins\": " << Number(odds.player_wins)
            << ", \"expected_turns\": " << Number(odds.expected_turns);
      }
      out << "}";
    }
    out << (map.duels.empty() ? "" : "\n  ") << "]\n}\n";
  } else {
    out << "ostrel-explore: " << options.runs << " runs of " << options.dir << " (seed "
        << options.seed << ", at most " << options.steps << " prompts and moves each)\n"
        << ended << " reached the end of the game, " << engine_ended
        << " were ended by the engine, " << stopped << " did not end\n";
    out << "\nError reports:";
    if (reports.empty()) out << " none";
    out << "\n";
    for (const ReportSeen& r : reports) {
      out << "  " << r.message << " (in " << (r.section.empty() ? "no section" : r.section)
          << "): " << r.runs << (r.runs == 1 ? " run" : " runs") << "\n"
          << "    replay: " << options.replay << " --time " << r.clock << " --time-step 1 " << options.dir
          << " < " << r.file << "\n";
    }
    out << "\nRuns that did not end within " << options.steps << " steps:";
    if (endless.empty()) out << " none";
    out << "\n";
    for (const auto& e : endless) {
      out << "  " << e.second << (e.second == 1 ? " run" : " runs") << " going round "
          << e.first << "\n";
    }
    out << "\nNever reached:";
    if (findings.empty()) out << " nothing: every section, answer, block, item and line";
    out << "\n";
    for (const Unreached& f : findings) out << Place(f) << ": " << f.text << "\n";
    out << "\nBattles:";
    if (map.duels.empty()) out << " none";
    out << "\n";
    for (const StoryMap::Duel& d : map.duels) {
      auto count = [&](const std::map<std::string, long long>& m) {
        auto it = m.find(d.header);
        return it == m.end() ? 0L : it->second;
      };
      out << "  " << d.header << " (script.ostrel:" << d.line << "): fought " << count(coverage.fought)
          << ", won " << count(coverage.won) << ", lost " << count(coverage.lost) << "\n";
      out << "    odds: " << DescribeOdds(ComputeDuelOdds(d.player_health, d.PC_health, d.moves))
          << "\n";
    }
  }
  std::cout << out.str();
  return reports.empty() && stopped == 0 ? 0 : 1;
}
