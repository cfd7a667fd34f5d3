// ostrel-explore: random playthroughs, their faults, coverage and duel odds.
#include "explore.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <filesystem>

#include "check.h"
#include "duel_odds.h"
#include "story_runner.h"

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

struct Finding {
  int file;
  int line;
  std::string text;
};

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

std::string Percent(double p) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.2f%%", 100.0 * p);
  return buffer;
}

std::string Number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.4f", value);
  return buffer;
}

}  // namespace

int Explore(const ExploreOptions& options) {
  StoryChecker checker;
  std::string err;
  if (!checker.Load(options.dir, &err)) {
    std::cerr << "ostrel-explore: " << err << "\n";
    return 2;
  }
  checker.Check();
  const StoryMap& map = checker.map();

  std::vector<ReportSeen> reports;
  std::map<std::string, long long> endless;  // the sections gone round, and how often
  long long ended = 0, engine_ended = 0, stopped = 0;
  for (long long r = 0; r < options.runs; ++r) {
    ExploreRun& run = CurrentRun();
    std::seed_seq seeds{static_cast<unsigned>(options.seed), static_cast<unsigned>(options.seed >> 32),
                        static_cast<unsigned>(r)};
    run.random.seed(seeds);
    run.answers = &map.answer_groups;
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

  // What no run reached, with the section each place stands in.
  const ExploreCoverage& coverage = Coverage();
  auto section_of = [&](int file, int line) -> std::string {
    if (file != 0) return "";
    std::string header;
    for (const StoryMap::Target& section : map.sections) {
      if (section.line <= line) header = section.what;
    }
    return header;
  };
  auto why = [&](int file, int line) -> std::string {
    std::string header = section_of(file, line);
    if (header.empty() || coverage.sections.count(header) != 0) return "";
    return " (its section, " + header + ", was never entered)";
  };
  std::vector<Finding> findings;
  for (const StoryMap::Target& t : map.sections) {
    if (coverage.sections.count(t.what) != 0) continue;
    std::string reason = map.reachable.count(t.what) == 0
                             ? " (no start statement or change command leads to it)"
                             : "";
    findings.push_back({t.file, t.line, "section " + t.what + " never entered" + reason});
  }
  for (const StoryMap::Target& t : map.answers) {
    if (coverage.answers.count(t.line) == 0) {
      findings.push_back({t.file, t.line, "answer '" + t.what + "' never taken" + why(t.file, t.line)});
    }
  }
  for (const StoryMap::Target& t : map.blocks) {
    bool played = coverage.played.count({t.file, t.line}) != 0;
    bool skipped = coverage.skipped.count({t.file, t.line}) != 0;
    if (!played && !skipped) {
      findings.push_back({t.file, t.line, "block on '" + t.what + "' never played nor skipped" + why(t.file, t.line)});
    } else if (!played) {
      findings.push_back({t.file, t.line, "block on '" + t.what + "' never played"});
    } else if (!skipped) {
      findings.push_back({t.file, t.line, "block on '" + t.what + "' never skipped"});
    }
  }
  for (const StoryMap::Target& t : map.items) {
    if (coverage.given.count({t.file, t.line}) == 0) {
      findings.push_back({t.file, t.line, "item '" + t.what + "' never given" + why(t.file, t.line)});
    }
  }
  for (const StoryMap::Target& t : map.texts) {
    if (coverage.shown.count({t.file, t.line}) == 0) {
      findings.push_back({t.file, t.line, "text line never shown" + why(t.file, t.line)});
    }
  }
  std::stable_sort(findings.begin(), findings.end(), [](const Finding& a, const Finding& b) {
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
      out << (i ? ",\n" : "\n") << "    {\"file\": " << Json(StoryChecker::kFiles[findings[i].file])
          << ", \"line\": " << findings[i].line << ", \"what\": " << Json(findings[i].text) << "}";
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
          << "    replay: ostrel-replay --time " << r.clock << " --time-step 1 " << options.dir
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
    for (const Finding& f : findings) {
      out << StoryChecker::kFiles[f.file] << ":" << f.line << ": " << f.text << "\n";
    }
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
      DuelOdds odds = ComputeDuelOdds(d.player_health, d.PC_health, d.moves);
      if (odds.computed) {
        out << "    odds: the player wins " << Percent(odds.player_wins) << " of duels, in "
            << Number(odds.expected_turns) << " turns on average\n";
      } else {
        out << "    odds: not computed (fewer than 2 moves, or health beyond 2,000,000)\n";
      }
    }
  }
  std::cout << out.str();
  return reports.empty() && stopped == 0 ? 0 : 1;
}
