// Reach from the start statement, and loops: sections through which the
// story can go round for ever without asking the player anything.
#include <algorithm>
#include <set>
#include <unordered_map>

#include "check/checker.h"

void Checker::CheckReach() {
  // The links as lists per section, in one array.
  const size_t count = sections_.size();
  std::vector<int> first(count + 1, 0);
  std::vector<int> queue;
  for (const auto& link : links_) {
    if (link.first >= 0) ++first[static_cast<size_t>(link.first) + 1];
  }
  for (size_t s = 0; s < count; ++s) first[s + 1] += first[s];
  std::vector<int> next(static_cast<size_t>(first[count]));
  {
    std::vector<int> fill(first.begin(), first.end() - 1);
    for (const auto& link : links_) {
      if (link.first < 0) {
        queue.push_back(link.second);
      } else {
        next[static_cast<size_t>(fill[static_cast<size_t>(link.first)]++)] = link.second;
      }
    }
  }
  std::vector<bool> reached(count);
  while (!queue.empty()) {
    int s = queue.back();
    queue.pop_back();
    if (reached[static_cast<size_t>(s)]) continue;
    reached[static_cast<size_t>(s)] = true;
    for (int k = first[static_cast<size_t>(s)]; k < first[static_cast<size_t>(s) + 1]; ++k) {
      int t = next[static_cast<size_t>(k)];
      if (!reached[static_cast<size_t>(t)]) queue.push_back(t);
    }
  }
  reached_ = std::move(reached);
  if (parts_.map) {
    size_t k = 0;
    for (size_t s = 0; s < count; ++s) {
      if (sections_[s].played) out_->map.sections[k++].reached = reached_[s];
    }
  }
  for (const Section& section : sections_) {
    if (!section.played) continue;  // reported as a duplicate
    if (!reached_[static_cast<size_t>(&section - sections_.data())]) {
      std::string message = std::string(section.header) +
                            " is never reached: no start statement or change command leads to it";
      if (TrimmedEnd(section.header) < section.header.size()) {
        message += "; '" + std::string(section.header) + "' ends with a blank";
      }
      ReportLine(StoryFile::kScript, section.first, Severity::kWarning, "unreachable-section", message);
    }
  }
}

/* ==== Loops ============================================================= */

// The passes of the engine's main loop that ask nothing, as a graph. A state
// is a section about to be played and, for a dialog, the location that is
// current while it plays (-1: not known), since a dialog that changes no
// location hands the story back to that one. Battles always ask for moves,
// so no silent pass fights one.
void Checker::CheckLoops() {
  struct Move {
    int to;            // state
    const Outcome* by;  // the path that leads there
  };
  struct State {
    int section;
    int context;
    std::vector<Move> moves;
    bool silent = false;  // no path asks, fights, ends the game or leaves the graph
  };
  std::vector<State> states;
  std::unordered_map<uint64_t, int> ids;
  const uint64_t n = sections_.size() + 1;
  auto id = [&](int section, int context) {
    uint64_t key = static_cast<uint64_t>(section) * n + static_cast<uint64_t>(context + 1);
    auto it = ids.find(key);
    if (it != ids.end()) return it->second;
    int fresh = static_cast<int>(states.size());
    ids.emplace(key, fresh);
    states.push_back(State{section, context, {}, false});
    return fresh;
  };
  // Only a section with a path that asks nothing can be part of a loop.
  {
    // In file order, so that the report does not depend on the table's.
    std::vector<int> silent;
    for (const auto& entry : outcomes_) silent.push_back(entry.first);
    std::sort(silent.begin(), silent.end());
    for (int s : silent) id(s, -1);
  }
  for (size_t k = 0; k < states.size(); ++k) {
    int section = states[k].section;
    int context = states[k].context;
    bool location = sections_[static_cast<size_t>(section)].kind == kLocation;
    bool all_silent = !asks_[static_cast<size_t>(section)];
    std::vector<Move> moves;
    auto found = outcomes_.find(section);
    if (found == outcomes_.end()) continue;
    for (const Outcome& o : found->second) {
      int here = o.location >= 0 ? o.location : (location ? section : context);
      int to;
      if (o.dialog >= 0) {
        to = id(o.dialog, here);
      } else if (here >= 0) {
        to = id(here, -1);
      } else {
        all_silent = false;  // back to a location not known here
        continue;
      }
      moves.push_back(Move{to, &o});
    }
    states[k].moves = std::move(moves);
    states[k].silent = all_silent;
  }

  // Strongly connected parts (Tarjan's, without recursion).
  const int count = static_cast<int>(states.size());
  std::vector<int> index(static_cast<size_t>(count), -1), low(static_cast<size_t>(count)), part(static_cast<size_t>(count), -1);
  std::vector<bool> on_stack(static_cast<size_t>(count));
  std::vector<int> stack;
  std::vector<std::pair<int, size_t>> work;
  int counter = 0, parts = 0;
  for (int root = 0; root < count; ++root) {
    if (index[static_cast<size_t>(root)] >= 0) continue;
    work.push_back({root, 0});
    while (!work.empty()) {
      int v = work.back().first;
      size_t& edge = work.back().second;
      size_t uv = static_cast<size_t>(v);
      if (edge == 0 && index[uv] < 0) {
        index[uv] = low[uv] = counter++;
        stack.push_back(v);
        on_stack[uv] = true;
      }
      if (edge < states[uv].moves.size()) {
        int w = states[uv].moves[edge++].to;
        size_t uw = static_cast<size_t>(w);
        if (index[uw] < 0) {
          work.push_back({w, 0});
        } else if (on_stack[uw]) {
          low[uv] = std::min(low[uv], index[uw]);
        }
        continue;
      }
      if (low[uv] == index[uv]) {
        int w;
        do {
          w = stack.back();
          stack.pop_back();
          on_stack[static_cast<size_t>(w)] = false;
          part[static_cast<size_t>(w)] = parts;
        } while (w != v);
        ++parts;
      }
      work.pop_back();
      if (!work.empty()) {
        size_t up = static_cast<size_t>(work.back().first);
        low[up] = std::min(low[up], low[uv]);
      }
    }
  }

  std::vector<std::vector<int>> members(static_cast<size_t>(parts));
  for (int v = 0; v < count; ++v) members[static_cast<size_t>(part[static_cast<size_t>(v)])].push_back(v);
  std::set<std::vector<int>> reported;
  // The conditions under which a cycle goes round, as the story writes
  // them: "when 'BattleWon:' |battle=Troll holds".
  auto when = [](const std::vector<Literal>& literals) -> std::string {
    std::vector<std::string> parts;
    for (const Literal& l : literals) {
      std::string text = Describe(l);
      if (std::find(parts.begin(), parts.end(), text) == parts.end()) parts.push_back(text);
    }
    if (parts.empty()) return "";
    const size_t kShown = 3;
    std::string out = " when " + parts[0];
    for (size_t k = 1; k < parts.size() && k < kShown; ++k) {
      out += (k + 1 == parts.size() ? " and " : ", ") + parts[k];
    }
    if (parts.size() > kShown) out += " and " + std::to_string(parts.size() - kShown) + " more";
    return out + (parts.size() == 1 ? " holds" : " hold");
  };
  auto report = [&](std::vector<int> cycle, bool sure, const std::vector<Literal>& literals) {
    // Name the sections in the order the story meets them, from the first
    // in the file.
    std::vector<int> sections;
    for (int v : cycle) sections.push_back(states[static_cast<size_t>(v)].section);
    bool any_reached = false;
    for (int s : sections) any_reached = any_reached || reached_[static_cast<size_t>(s)];
    if (!any_reached) return;
    auto first = std::min_element(sections.begin(), sections.end());
    std::rotate(sections.begin(), first, sections.end());
    std::vector<int> key = sections;
    std::sort(key.begin(), key.end());
    if (!reported.insert(key).second) return;
    const Section& head = sections_[static_cast<size_t>(sections.front())];
    std::string header(head.header);
    std::string message;
    std::string condition = when(literals);
    if (sections.size() == 1) {
      std::string past = !sure && condition.empty() ? "past its conditions, " : "";
      message = header + (sure ? " repeats" : " can repeat") + " for ever without asking the player anything" +
                condition + ": " + past +
                (head.kind == kLocation ? "it has no prompt and no way out" : "it chains to itself and asks nothing");
    } else {
      std::string round;
      for (int s : sections) round += std::string(sections_[static_cast<size_t>(s)].header) + " -> ";
      round += header;
      message = sure ? "the story goes round for ever without asking the player anything: " + round
                     : (condition.empty() ? "where its conditions hold, the story" : "the story") +
                           std::string(" can go round for ever without asking the player anything") + condition +
                           ": " + round;
    }
    ReportLine(StoryFile::kScript, head.first, sure ? Severity::kError : Severity::kWarning,
               sure ? "endless-loop" : "possible-loop", message);
  };

  // A part that the story, once in it, can never leave, whatever holds,
  // and where nothing asks: an endless loop. Name one cycle of it.
  std::vector<bool> looped(static_cast<size_t>(parts));
  for (int p = 0; p < parts; ++p) {
    const std::vector<int>& part_states = members[static_cast<size_t>(p)];
    bool closed = true;
    for (int v : part_states) {
      const State& state = states[static_cast<size_t>(v)];
      closed = closed && state.silent && !state.moves.empty();
      for (const Move& m : state.moves) closed = closed && part[static_cast<size_t>(m.to)] == p;
    }
    if (!closed) continue;
    std::vector<int> trail;
    std::unordered_map<int, size_t> at;
    int v = part_states.front();
    while (at.emplace(v, trail.size()).second) {
      trail.push_back(v);
      v = states[static_cast<size_t>(v)].moves.front().to;
    }
    report(std::vector<int>(trail.begin() + static_cast<long>(at[v]), trail.end()), true, {});
    looped[static_cast<size_t>(p)] = true;
  }

  // Other cycles: one whose conditions can all hold together, searched for
  // within a bounded effort.
  long budget = 200000;
  for (int p = 0; p < parts && budget > 0; ++p) {
    const std::vector<int>& part_states = members[static_cast<size_t>(p)];
    if (looped[static_cast<size_t>(p)]) continue;
    bool cyclic = part_states.size() > 1;
    for (const Move& m : states[static_cast<size_t>(part_states.front())].moves) {
      cyclic = cyclic || m.to == part_states.front();
    }
    if (!cyclic) continue;
    for (int start : part_states) {
      if (budget <= 0 || looped[static_cast<size_t>(p)]) break;
      // Depth-first, along moves within the part, back to `start`.
      std::vector<std::pair<int, size_t>> path{{start, 0}};
      std::vector<const Outcome*> taken;
      while (!path.empty() && budget > 0 && !looped[static_cast<size_t>(p)]) {
        --budget;
        auto& top = path.back();
        const State& state = states[static_cast<size_t>(top.first)];
        if (top.second >= state.moves.size() || path.size() > 64) {
          path.pop_back();
          if (!taken.empty()) taken.pop_back();
          continue;
        }
        const Move& m = state.moves[top.second++];
        if (part[static_cast<size_t>(m.to)] != p) continue;
        bool seen = false;
        for (size_t k = 1; k < path.size(); ++k) seen = seen || path[k].first == m.to;
        if (seen) continue;
        taken.push_back(m.by);
        if (m.to != start) {
          path.push_back({m.to, 0});
          continue;
        }
        // A cycle: its conditions must hold together, none may ask that a
        // section of the cycle was never visited or played, and none may
        // ask for an item that the cycle only takes (or only gives, for
        // an item not held): such a cycle ends when the item runs out.
        std::vector<Literal> all;
        std::vector<std::string> items;
        for (const Outcome* o : taken) items.insert(items.end(), o->items.begin(), o->items.end());
        bool holds = true;
        for (const Outcome* o : taken) {
          for (const Literal& l : o->literals) {
            holds = holds && Consistent(all, items, l);
            if (l.kind == Literal::kHeld) {
              bool gives = std::find(items.begin(), items.end(), "+" + l.header) != items.end();
              bool takes = std::find(items.begin(), items.end(), "-" + l.header) != items.end();
              holds = holds && !(l.holds ? takes && !gives : gives && !takes);
            }
            if (!l.holds && (l.kind == Literal::kVisited || l.kind == Literal::kPlayed)) {
              for (const auto& entry : path) {
                holds = holds && l.header != sections_[static_cast<size_t>(states[static_cast<size_t>(entry.first)].section)].header;
              }
            }
            all.push_back(l);
          }
        }
        taken.pop_back();
        if (!holds) continue;
        // Conditions that can never fail make the loop certain: fewer than
        // some of an item that nothing gives, or at least none of one.
        bool always = !all.empty();
        for (const Literal& l : all) {
          always = always && l.kind == Literal::kHeld &&
                   (l.holds ? l.count <= 0 : l.count >= 1 && given_.count(l.header) == 0);
        }
        std::vector<int> cycle;
        for (const auto& entry : path) cycle.push_back(entry.first);
        report(cycle, always, all);
        looped[static_cast<size_t>(p)] = true;
      }
    }
  }
}
