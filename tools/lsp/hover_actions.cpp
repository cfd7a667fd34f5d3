// LanguageServer's help at a place: hover (a battle's odds, what leads to a
// section, where an item is given) and quick fixes for the checker's
// findings.
#include <algorithm>

#include "check/check.h"
#include "common/duel_odds.h"
#include "lsp/request.h"
#include "lsp/server.h"
#include "lsp/text.h"

using namespace lsp;

/* ==== Hover ============================================================== */

json LanguageServer::Hover(const json& params) {
  Place place;
  std::string header;
  const LspIndex::Definition* d = NamedAt(params, &place, &header);
  if (place.story == nullptr) return nullptr;
  const LspIndex& index = place.story->index;
  auto where = [&](const TextSpan& span, int section) {
    std::string text = std::string(StoryFileName(static_cast<StoryFile>(span.file))) + ":" +
                       std::to_string(span.line + 1);
    if (section >= 0) text += " (" + index.definitions()[section].header + ")";
    return text;
  };
  std::string text;
  if (d != nullptr) {
    text = "`" + d->header + "`: " + kKindWords[d->kind] + " at " + where(d->name, -1) + "\n";
    if (d->kind == 2) {
      auto number = [](long long value) { return std::to_string(value); };
      text += "\nplayer health " + number(d->player_health) + ", PC health " + number(d->PC_health) +
              ", " + number(d->moves) + " moves\n";
      DuelOdds odds = ComputeDuelOdds(d->player_health, d->PC_health, d->moves);
      text += "\nodds for a player who chooses at random: " + DescribeOdds(odds) + "\n";
    }
    // The places that lead to it, then those that only name it.
    for (bool leads : {true, false}) {
      std::string places;
      int count = 0;
      for (const LspIndex::Use& u : index.uses()) {
        if (u.header != header || u.leads != leads) continue;
        if (++count <= 20) places += "- " + where(u.name, u.section) + "\n";
      }
      if (count > 20) places += "- and " + std::to_string(count - 20) + " more\n";
      if (leads) text += count == 0 ? std::string("\nnothing leads to it\n") : "\nled to from:\n" + places;
      if (!leads && count > 0) text += "\nnamed at:\n" + places;
    }
  } else if (const LspIndex::Item* item = index.ItemAt(place.file, place.line, place.byte)) {
    text = "item `" + item->name + "`\n";
    for (bool given : {true, false}) {
      std::string places;
      for (const LspIndex::Item& other : index.items()) {
        if (other.name == item->name && other.given == given) {
          places += "- " + where(other.where, other.section) + "\n";
        }
      }
      text += std::string(given ? "\ngiven at:\n" : "\ntaken or asked for at:\n") +
              (places.empty() ? "- nowhere\n" : places);
    }
  } else {
    return nullptr;
  }
  return json{{"contents", {{"kind", "markdown"}, {"value", text}}}};
}

/* ==== Quick fixes ======================================================== */

json LanguageServer::CodeActions(const json& params) {
  std::string path;
  json actions = json::array();
  if (!UriToPath(UriParam(params), &path) || FileIndex(path) < 0) return actions;
  int file = FileIndex(path);
  std::string dir = DirectoryOf(path);
  Story& story = StoryOf(dir);
  const std::vector<std::string>& lines = story.text.lines[file];
  const json& range = Object(params, "range");
  long long first = Integer(Object(range, "start"), "line");
  long long last = Integer(Object(range, "end"), "line");
  std::string uri = UriOf(dir, file);
  auto action = [&](const std::string& title, const TextSpan& span, const std::string& text,
                    const Finding& f) {
    json edit = {{"range", Range(story, span)}, {"newText", text}};
    actions.push_back(json{{"title", title},
                           {"kind", "quickfix"},
                           {"diagnostics", {Diagnostic(story, f)}},
                           {"isPreferred", true},
                           {"edit", {{"changes", {{uri, {edit}}}}}}});
  };
  for (const Finding& f : story.findings) {
    TextSpan where = SpanOf(f.where);
    if (where.file != file || where.line < first || where.line > last) continue;
    if (where.line >= static_cast<int>(lines.size())) continue;
    if (f.fix) {
      TextSpan span = SpanOf(f.fix->range);
      std::string title = !f.fix->text.empty()        ? "Replace with '" + f.fix->text + "'"
                          : f.code == "trailing-blank"  ? std::string("Remove the trailing blank")
                          : f.code == "byte-order-mark" ? std::string("Remove the byte-order mark")
                                                        : std::string("Remove it");
      if (span.file == file) action(title, span, f.fix->text, f);
    }
    if (f.code == "missing-end") {
      // Before the line that the section or animation runs into.
      int at = where.line + 1;
      const LspIndex::Definition* section = story.index.Enclosing(file, where.line);
      if (file == kScriptFile && section != nullptr) at = section->end_line;
      while (at < static_cast<int>(lines.size()) && (lines[at].empty() || lines[at][0] != '|')) ++at;
      if (at < static_cast<int>(lines.size())) {
        action("Add the missing '/end'", TextSpan{file, at, 0, 0}, "/end\n", f);
      } else {
        const std::string& end_line = lines.back();
        TextSpan span_end{file, static_cast<int>(lines.size()) - 1, end_line.size(), end_line.size()};
        action("Add the missing '/end'", span_end, "\n/end", f);
      }
    }
  }
  return actions;
}
