// The language server's answer to an edit: a change to a 10,000-line story
// and the diagnostics of its four files, beside the checker alone on the
// same story (the reference: what the server adds to it is the ratio).
#include <benchmark/benchmark.h>

#include <string>

#include "check/check.h"
#include "lsp/server.h"
#include "lsp/text.h"

namespace {

using json = nlohmann::json;

// A story of about `lines` lines: locations of eleven lines each in a ring,
// each with a condition and an answer.
std::string Story(int lines) {
  std::string text = "|start_location:\nPlace0\n";
  int sections = lines / 11;
  for (int i = 0; i < sections; ++i) {
    std::string next = "Place" + std::to_string((i + 1) % sections);
    text += "|location=Place" + std::to_string(i) + "\n/if:\nLocationVisited:\n" + next +
            "\nYou have been on.\n/end_if\n/get_input\n>>on\n/change_location:\n" + next + "\n/end\n";
  }
  return text;
}

const char kUri[] = "file:///nonexistent/ostrel_lsp_bench/script.ostrel";

void BM_LspChangeToDiagnostics(benchmark::State& state) {
  std::string text = Story(static_cast<int>(state.range(0)));
  LanguageServer server;
  server.Handle(json{{"jsonrpc", "2.0"}, {"id", 0}, {"method", "initialize"}, {"params", json::object()}});
  server.Handle(json{{"jsonrpc", "2.0"},
                     {"method", "textDocument/didOpen"},
                     {"params", {{"textDocument", {{"uri", kUri}, {"text", text}}}}}});
  int version = 1;
  for (auto _ : state) {
    // The edit a typist makes: one letter of a name, then the next.
    std::string edited = text;
    edited[edited.size() - 7] = version % 2 ? 'X' : '1';
    json change = {{"jsonrpc", "2.0"},
                   {"method", "textDocument/didChange"},
                   {"params",
                    {{"textDocument", {{"uri", kUri}, {"version", ++version}}},
                     {"contentChanges", {{{"text", edited}}}}}}};
    std::vector<std::string> out = server.HandleText(change.dump());
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_LspChangeToDiagnostics)->Arg(10000)->Unit(benchmark::kMillisecond);

void BM_CheckerAlone(benchmark::State& state) {
  StorySources story;
  story[StoryFile::kScript] = StorySources::File{true, Story(static_cast<int>(state.range(0)))};
  for (auto _ : state) {
    StoryCheck check = CheckStory(story);
    benchmark::DoNotOptimize(check);
  }
}
BENCHMARK(BM_CheckerAlone)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
