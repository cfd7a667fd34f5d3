// The story's map, as a Graphviz DOT graph: locations are boxes, dialogs
// ellipses, battles octagons; an arrow for every change command, labelled
// with the answers that lead along it, dashed under a condition.
#include <algorithm>
#include <set>

#include "check/check.h"
#include "keywords.h"

namespace {

std::string Quote(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    if (c == '\n' || c == '\r') continue;
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

void PrintGraph(const StoryCheck& check, std::ostream& out) {
  out << "digraph story {\n"
      << "  node [fontname=\"Helvetica\"];\n"
      << "  edge [fontname=\"Helvetica\", fontsize=10];\n"
      << "  start [shape=point, width=0.15];\n";
  std::set<std::string> drawn;
  for (const SectionEntry& section : check.index.sections) {
    if (section.file != StoryFile::kScript || !section.first) continue;
    const char* shape = section.kind == SectionKind::kLocation ? "box"
                        : section.kind == SectionKind::kDialog ? "ellipse"
                                                               : "octagon";
    drawn.insert(section.header);
    out << "  " << Quote(section.header) << " [label=" << Quote(section.name) << ", shape=" << shape << "];\n";
  }
  bool ends = false, returns = false;
  for (const StoryEdge& edge : check.edges) {
    ends = ends || edge.kind == StoryEdge::kEndGame;
    returns = returns || edge.kind == StoryEdge::kReturn;
    if ((edge.kind == StoryEdge::kStart || edge.kind == StoryEdge::kChange) && drawn.insert(edge.to).second) {
      out << "  " << Quote(edge.to) << " [label=" << Quote(edge.to + " (missing)")
          << ", shape=box, color=red, fontcolor=red];\n";
    }
  }
  if (ends) out << "  end [label=\"end of the game\", shape=doublecircle];\n";
  if (returns) out << "  back [label=\"back to the current location\", shape=box, style=dashed];\n";
  std::vector<const StoryEdge*> edges;
  for (const StoryEdge& edge : check.edges) edges.push_back(&edge);
  std::stable_sort(edges.begin(), edges.end(), [](const StoryEdge* a, const StoryEdge* b) {
    return (a->kind != StoryEdge::kStart) < (b->kind != StoryEdge::kStart) ||
           ((a->kind != StoryEdge::kStart) == (b->kind != StoryEdge::kStart) && a->where.line < b->where.line);
  });
  for (const StoryEdge* edge : edges) {
    std::string to = edge->kind == StoryEdge::kEndGame ? "end"
                     : edge->kind == StoryEdge::kReturn ? "back"
                                                         : Quote(edge->to);
    out << "  " << (edge->from.empty() ? std::string("start") : Quote(edge->from)) << " -> " << to;
    std::vector<std::string> attributes;
    if (!edge->label.empty()) attributes.push_back("label=" + Quote(edge->label));
    if (edge->conditional) attributes.push_back("style=dashed");
    if (!attributes.empty()) {
      out << " [";
      for (size_t k = 0; k < attributes.size(); ++k) out << (k ? ", " : "") << attributes[k];
      out << "]";
    }
    out << ";\n";
  }
  // What the shapes and lines mean.
  out << "  subgraph cluster_legend {\n"
      << "    label=\"legend\"; fontname=\"Helvetica\"; fontsize=10; color=grey;\n"
      << "    legend_location [label=\"location\", shape=box];\n"
      << "    legend_dialog [label=\"dialog\", shape=ellipse];\n"
      << "    legend_battle [label=\"battle\", shape=octagon];\n"
      << "    legend_location -> legend_dialog [label=\"answers that lead there\"];\n"
      << "    legend_dialog -> legend_battle [label=\"under a condition\", style=dashed];\n"
      << "  }\n";
  out << "}\n";
}
