// Tests of the language server: its framing, its text positions, and its
// handlers on small stories in a temporary directory.
#include <gtest/gtest.h>

#include "lsp/framing.h"
#include "lsp/server.h"
#include "lsp/text.h"
#include "test_util.h"

namespace {

using json = nlohmann::json;

/* ==== Framing and text =================================================== */

TEST(LspFramingTest, ReadsMessagesInAnyPieces) {
  std::string stream = Frame("{\"a\":1}") + Frame("{}") + "Content-Length: 2\n\n[]";
  FrameReader reader;
  std::vector<std::string> bodies;
  std::string body, err;
  for (char c : stream) {
    reader.Feed(&c, 1);
    while (reader.Next(&body, &err)) {
      EXPECT_EQ(err, "");
      bodies.push_back(body);
    }
  }
  EXPECT_EQ(bodies, (std::vector<std::string>{"{\"a\":1}", "{}", "[]"}));
  EXPECT_FALSE(reader.Pending());
}

TEST(LspFramingTest, DropsABadHeaderAndReadsOn) {
  FrameReader reader;
  std::string stream = "Content-Type: x\r\n\r\nContent-Length: -3\r\n\r\n" + Frame("{}");
  reader.Feed(stream.data(), stream.size());
  std::string body, err;
  ASSERT_TRUE(reader.Next(&body, &err));
  EXPECT_EQ(err, "header without a usable Content-Length");
  err.clear();
  ASSERT_TRUE(reader.Next(&body, &err));
  EXPECT_NE(err, "");
  err.clear();
  ASSERT_TRUE(reader.Next(&body, &err));
  EXPECT_EQ(body, "{}");
  // The body of a message whose length was unusable runs on into the next
  // header; reading finds that header and goes on, rather than losing every
  // message after it.
  for (std::string junk : {std::string("Content-Length: 999999999999\r\n\r\n{\"a\":1}"), std::string("X: y\n\n\x01\xff{")}) {
    std::string next = junk + Frame("{\"b\":2}") + Frame("{}");
    reader.Feed(next.data(), next.size());
    std::vector<std::string> bodies;
    for (err.clear(); reader.Next(&body, &err); err.clear()) {
      if (err.empty()) bodies.push_back(body);
    }
    EXPECT_EQ(bodies, (std::vector<std::string>{"{\"b\":2}", "{}"})) << junk;
  }
  // A header that never ends is dropped rather than kept for ever.
  std::string endless(3 * FrameReader::kMaxHeader, 'x');
  reader.Feed(endless.data(), endless.size());
  err.clear();
  ASSERT_TRUE(reader.Next(&body, &err));
  EXPECT_EQ(err, "header too long");
}

TEST(LspTextTest, ColumnsCountUtf16Units) {
  std::string line = "a\xc3\xa9\xf0\x9f\x90\x89z";  // a, e acute, a dragon (2 units), z
  EXPECT_EQ(Utf16Column(line, 1), 1);
  EXPECT_EQ(Utf16Column(line, 3), 2);
  EXPECT_EQ(Utf16Column(line, 7), 4);
  EXPECT_EQ(Utf16Column(line, 100), 5);
  EXPECT_EQ(ByteOffset(line, 2), 3u);
  EXPECT_EQ(ByteOffset(line, 3), 3u);  // inside the dragon: its start
  EXPECT_EQ(ByteOffset(line, 4), 7u);
  EXPECT_EQ(ByteOffset(line, 99), line.size());
  // A stray byte is one unit, and a cut character does not run past the end.
  EXPECT_EQ(Utf16Column("\xff\xf0\x9f", 3), 3);
}

TEST(LspTextTest, LinesAndUris) {
  EXPECT_EQ(SplitLines("a\r\nb\n\nc"), (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_EQ(SplitLines("a\n"), (std::vector<std::string>{"a"}));
  std::string path;
  ASSERT_TRUE(UriToPath("file:///tmp/My%20Story/script.ostrel", &path));
  EXPECT_EQ(path, "/tmp/My Story/script.ostrel");
  EXPECT_EQ(PathToUri("/tmp/My Story/a#b"), "file:///tmp/My%20Story/a%23b");
  EXPECT_FALSE(UriToPath("untitled:1", &path));
  EXPECT_FALSE(UriToPath("file:///a%2", &path));
  EXPECT_FALSE(UriToPath("file:///a%00b", &path));
}

/* ==== The server on a story =============================================== */

const char kScript[] =
    "|start_location:\n"
    "Hall\n"
    "|location=Hall\n"
    "/if:\n"
    "BattleWon:\n"
    "|battle=Troll\n"
    "You won.\n"
    "/end_if\n"
    "/get_input\n"
    ">>fight\n"
    "/change_battle:\n"
    "Troll\n"
    "/end\n"
    ">>take\n"
    "/add_to_inventory:\n"
    "Coin\n"
    "/end\n"
    "|battle=Troll\n"
    "*player_health:\n"
    "1\n"
    "*PC_health:\n"
    "1\n"
    "*number_of_moves:\n"
    "2\n"
    "*animation_set:\n"
    "Troll fight\n";

class LspServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("script.ostrel", kScript);
    Request("initialize", json::object());
  }

  std::string Uri(const char* file) { return PathToUri(dir_.path() + "/" + file); }

  // Sends a request and returns its response; the notifications it caused
  // go to `notes_`.
  json Request(const std::string& method, const json& params) {
    json message = {{"jsonrpc", "2.0"}, {"id", ++id_}, {"method", method}, {"params", params}};
    std::vector<json> out = server_.Handle(message);
    EXPECT_FALSE(out.empty());
    notes_.assign(out.begin() + 1, out.end());
    return out.empty() ? json() : out[0];
  }
  void Notify(const std::string& method, const json& params) {
    notes_ = server_.Handle(json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}});
  }
  void Open(const char* file, const std::string& text) {
    Notify("textDocument/didOpen",
           {{"textDocument", {{"uri", Uri(file)}, {"languageId", "ostrel"}, {"version", 1}, {"text", text}}}});
  }
  void Change(const char* file, const std::string& text) {
    Notify("textDocument/didChange",
           {{"textDocument", {{"uri", Uri(file)}, {"version", 2}}}, {"contentChanges", {{{"text", text}}}}});
  }
  json At(const char* file, int line, int character) {
    return {{"textDocument", {{"uri", Uri(file)}}},
            {"position", {{"line", line}, {"character", character}}}};
  }
  // The messages of the diagnostics last published for `file`, "LINE: TEXT",
  // from line `from` on.
  std::vector<std::string> Diagnostics(const char* file, int from = 0) {
    std::vector<std::string> found;
    for (const json& note : notes_) {
      if (note["params"]["uri"] != Uri(file)) continue;
      found.clear();
      for (const json& d : note["params"]["diagnostics"]) {
        if (d["range"]["start"]["line"] < from) continue;
        found.push_back(std::to_string(d["range"]["start"]["line"].get<int>()) + ": " +
                        d["message"].get<std::string>());
      }
    }
    return found;
  }
  std::vector<std::string> Labels(const json& response) {
    std::vector<std::string> labels;
    for (const json& item : response["result"]) labels.push_back(item["label"]);
    return labels;
  }

  ScopedTempDir dir_;
  LanguageServer server_;
  std::vector<json> notes_;
  int id_ = 0;
};

TEST_F(LspServerTest, ProtocolErrorsAndTheEnd) {
  LanguageServer fresh;
  json early = fresh.Handle(json{{"jsonrpc", "2.0"}, {"id", 1}, {"method", "shutdown"}})[0];
  EXPECT_EQ(early["error"]["code"], -32002);
  EXPECT_EQ(Request("no/such", json::object())["error"]["code"], -32601);
  EXPECT_EQ(server_.HandleText("{\"id\":"),
            (std::vector<std::string>{
                R"({"error":{"code":-32700,"message":"the message is no JSON"},"id":null,"jsonrpc":"2.0"})"}));
  EXPECT_EQ(Request("textDocument/hover", {{"position", 3}})["error"]["code"], -32602);
  EXPECT_TRUE(server_.Handle(json{{"jsonrpc", "2.0"}, {"method", "no/such"}}).empty());
  EXPECT_TRUE(server_.Handle(json::array()).size() == 1);
  // A response to a request of the server's is taken quietly.
  EXPECT_TRUE(server_.Handle(json{{"jsonrpc", "2.0"}, {"id", 7}, {"result", nullptr}}).empty());

  EXPECT_TRUE(Request("shutdown", nullptr)["result"].is_null());
  EXPECT_EQ(Request("textDocument/hover", At("script.ostrel", 0, 0))["error"]["code"], -32600);
  Notify("exit", nullptr);
  EXPECT_TRUE(server_.exited());
  EXPECT_EQ(server_.exit_status(), 0);
  fresh.Handle(json{{"jsonrpc", "2.0"}, {"method", "exit"}});
  EXPECT_EQ(fresh.exit_status(), 1);  // exit without shutdown
}

TEST_F(LspServerTest, DiagnosticsFollowEveryFileOfTheStory) {
  // The battle lacks most of its parameters; these tests look past them.
  Open("script.ostrel", kScript);
  EXPECT_EQ(Diagnostics("script.ostrel", 18),
            (std::vector<std::string>{"25: |animation_set=Troll fight does not exist: there is no animations.ostrel"}));
  // The set, typed into an unsaved animations file, mends the script.
  Open("animations.ostrel", "|animation_set=Troll fight\n");
  EXPECT_EQ(Diagnostics("script.ostrel", 18)[0],
            "25: |animation_set=Troll fight lacks |animation=stand");
  Change("script.ostrel", std::string(kScript) + "|location=Hall\n");
  EXPECT_EQ(Diagnostics("script.ostrel", 26)[0],
            "26: |location=Hall stands here a second time; only the first, at line 3, is ever played");
  // Closed, the animations file is read from the disk, where it is missing.
  Notify("textDocument/didClose", {{"textDocument", {{"uri", Uri("animations.ostrel")}}}});
  EXPECT_EQ(Diagnostics("script.ostrel", 18)[0],
            "25: |animation_set=Troll fight does not exist: there is no animations.ostrel");
  EXPECT_EQ(Diagnostics("animations.ostrel"), std::vector<std::string>{});
}

TEST_F(LspServerTest, RangedChangesApplyAllOrNone) {
  Open("script.ostrel", "|start_location:\nH\xc3\xa9ll\n|location=H\xc3\xa9ll\n/end_game\n/end\n");
  EXPECT_EQ(Diagnostics("script.ostrel"), std::vector<std::string>{});
  auto range = [](int line, int from, int to) {
    return json{{"start", {{"line", line}, {"character", from}}}, {"end", {{"line", line}, {"character", to}}}};
  };
  auto change = [&](const json& changes) {
    Notify("textDocument/didChange",
           {{"textDocument", {{"uri", Uri("script.ostrel")}}}, {"contentChanges", changes}});
  };
  // Columns count UTF-16 units: the second 'l' of the name is at 3.
  change({{{"range", range(1, 3, 4)}, {"text", ""}}});
  EXPECT_EQ(Diagnostics("script.ostrel")[0].substr(0, 22), "1: |location=H\xc3\xa9l does");
  // A malformed change after a good one: neither is applied.
  change({{{"range", range(1, 3, 3)}, {"text", "l"}}, {{"range", {{"start", "x"}}}, {"text", ""}}});
  EXPECT_TRUE(notes_.empty());
  change({{{"range", range(1, 3, 3)}, {"text", "l"}}});
  EXPECT_EQ(Diagnostics("script.ostrel"), std::vector<std::string>{});
}

TEST_F(LspServerTest, DefinitionsAndReferences) {
  Open("animations.ostrel", "|animation_set=Troll fight\n|animation=stand\n/end\n");
  json location = Request("textDocument/definition", At("script.ostrel", 11, 2))["result"];
  EXPECT_EQ(location["range"]["start"]["line"], 17);
  // A condition's argument written as a header.
  EXPECT_EQ(Request("textDocument/definition", At("script.ostrel", 5, 9))["result"]["range"]["start"]["line"], 17);
  json set = Request("textDocument/definition", At("script.ostrel", 25, 0))["result"];
  EXPECT_EQ(set["uri"], Uri("animations.ostrel"));
  EXPECT_EQ(set["range"]["start"]["line"], 0);
  EXPECT_TRUE(Request("textDocument/definition", At("script.ostrel", 6, 1))["result"].is_null());

  json params = At("script.ostrel", 17, 3);
  params["context"] = {{"includeDeclaration", true}};
  std::vector<int> lines;
  json references = Request("textDocument/references", params);
  for (const json& l : references["result"]) lines.push_back(l["range"]["start"]["line"]);
  EXPECT_EQ(lines, (std::vector<int>{17, 5, 11}));
}

TEST_F(LspServerTest, RenameEditsEveryFileOrIsRefused) {
  dir_.Write("animations.ostrel", "|animation_set=Troll fight\n");
  json params = At("script.ostrel", 25, 3);
  params["newName"] = "Ogre fight";
  json changes = Request("textDocument/rename", params)["result"]["changes"];
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[Uri("animations.ostrel")][0]["range"]["start"]["character"], 15);
  EXPECT_EQ(changes[Uri("script.ostrel")][0]["newText"], "Ogre fight");

  params = At("script.ostrel", 11, 0);
  params["newName"] = "Ogre";
  changes = Request("textDocument/rename", params)["result"]["changes"][Uri("script.ostrel")];
  std::vector<std::string> spans;
  for (const json& e : changes) {
    spans.push_back(std::to_string(e["range"]["start"]["line"].get<int>()) + ":" +
                    std::to_string(e["range"]["start"]["character"].get<int>()));
  }
  EXPECT_EQ(spans, (std::vector<std::string>{"17:8", "5:8", "11:0"}));
  EXPECT_EQ(Request("textDocument/prepareRename", At("script.ostrel", 5, 2))["result"]["placeholder"], "Troll");

  params = At("script.ostrel", 2, 12);
  params["newName"] = "Troll";  // a location may share a battle's name
  EXPECT_TRUE(Request("textDocument/rename", params).contains("result"));
  Open("script.ostrel", std::string(kScript) + "|location=Cave\n/end\n");
  params["newName"] = "Cave";
  json refused = Request("textDocument/rename", params);
  EXPECT_EQ(refused["error"]["message"], "|location=Cave already exists");
}

TEST_F(LspServerTest, CompletionByPlace) {
  Open("script.ostrel", std::string(kScript) + "/if:\n\n/if:\nHasInInventory:\n2\n\n*\n");
  EXPECT_EQ(Labels(Request("textDocument/completion", At("script.ostrel", 11, 0))),
            (std::vector<std::string>{"Troll"}));
  EXPECT_EQ(Labels(Request("textDocument/completion", At("script.ostrel", 1, 0))),
            (std::vector<std::string>{"Hall"}));
  std::vector<std::string> conditions = Labels(Request("textDocument/completion", At("script.ostrel", 27, 0)));
  EXPECT_EQ(conditions.size(), 10u);
  EXPECT_EQ(Labels(Request("textDocument/completion", At("script.ostrel", 31, 0))),
            (std::vector<std::string>{"Coin"}));
  std::vector<std::string> battle = Labels(Request("textDocument/completion", At("script.ostrel", 32, 1)));
  EXPECT_EQ(battle.size(), 18u);  // 14 keywords, and two moves' attack and defence lines
  EXPECT_EQ(battle.back(), "*player_defend_2:");
  std::vector<std::string> commands = Labels(Request("textDocument/completion", At("script.ostrel", 6, 0)));
  EXPECT_TRUE(commands.empty());  // a text line
  EXPECT_EQ(Labels(Request("textDocument/completion", At("script.ostrel", 7, 1))).size(), 13u);

  Open("animations.ostrel", "|animation_set=Troll fight\n|\n");
  std::vector<std::string> animations = Labels(Request("textDocument/completion", At("animations.ostrel", 1, 1)));
  ASSERT_EQ(animations.size(), 9u);
  EXPECT_EQ(animations[1], "|animation=player_1_PC_1");
}

TEST_F(LspServerTest, OutlineAndHover) {
  json symbols = Request("textDocument/documentSymbol", {{"textDocument", {{"uri", Uri("script.ostrel")}}}})["result"];
  ASSERT_EQ(symbols.size(), 2u);
  EXPECT_EQ(symbols[0]["name"], "Hall");
  EXPECT_EQ(symbols[0]["range"]["end"]["line"], 16);
  EXPECT_EQ(symbols[0]["children"][1]["name"], ">>take");
  EXPECT_EQ(symbols[1]["detail"], "battle");

  std::string battle = Request("textDocument/hover", At("script.ostrel", 11, 1))["result"]["contents"]["value"];
  EXPECT_EQ(battle,
            "`|battle=Troll`: battle at script.ostrel:18\n\n"
            "player health 1, PC health 1, 2 moves\n\n"
            "odds for a player who chooses at random: the player wins 66.67% of duels, in 2.0000 "
            "turns on average\n\n"
            "led to from:\n- script.ostrel:12 (|location=Hall)\n\n"
            "named at:\n- script.ostrel:6 (|location=Hall)\n");
  std::string item = Request("textDocument/hover", At("script.ostrel", 15, 1))["result"]["contents"]["value"];
  EXPECT_EQ(item, "item `Coin`\n\ngiven at:\n- script.ostrel:16 (|location=Hall)\n\n"
                  "taken or asked for at:\n- nowhere\n");
}

TEST_F(LspServerTest, QuickFixesFromTheCheckersSuggestions) {
  Open("script.ostrel", "|start_location:\nHall\n|location=Hall\n/get_input\n>>go\n/change_location:\nhall \n/end \n/end\n");
  json params = {{"textDocument", {{"uri", Uri("script.ostrel")}}},
                 {"range", {{"start", {{"line", 6}, {"character", 0}}}, {"end", {{"line", 7}, {"character", 0}}}}}};
  json actions = Request("textDocument/codeAction", params)["result"];
  std::vector<std::string> fixes;
  for (const json& a : actions) {
    json edit = a["edit"]["changes"][Uri("script.ostrel")][0];
    fixes.push_back(a["title"].get<std::string>() + " at " +
                    std::to_string(edit["range"]["start"]["line"].get<int>()) + ":" +
                    std::to_string(edit["range"]["start"]["character"].get<int>()) + "-" +
                    std::to_string(edit["range"]["end"]["character"].get<int>()));
  }
  EXPECT_EQ(fixes, (std::vector<std::string>{"Replace with 'Hall' at 6:0-5",
                                             "Remove the trailing blank at 7:4-5"}));
}

// The mark is one UTF-16 unit but three bytes: the edit removes it whole,
// and with it gone the start statement is found.
TEST_F(LspServerTest, QuickFixRemovesTheByteOrderMark) {
  Open("script.ostrel", "\xEF\xBB\xBF|start_location:\nHall\n|location=Hall\n/end_game\n/end\n");
  EXPECT_EQ(Diagnostics("script.ostrel").size(), 3u);  // the mark, no start, Hall not reached
  json params = {{"textDocument", {{"uri", Uri("script.ostrel")}}},
                 {"range", {{"start", {{"line", 0}, {"character", 0}}}, {"end", {{"line", 0}, {"character", 0}}}}}};
  json actions = Request("textDocument/codeAction", params)["result"];
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0]["title"], "Remove the byte-order mark");
  EXPECT_EQ(actions[0]["diagnostics"][0]["code"], "byte-order-mark");
  json edit = actions[0]["edit"]["changes"][Uri("script.ostrel")][0];
  EXPECT_EQ(edit["range"], json::parse(R"({"start":{"line":0,"character":0},"end":{"line":0,"character":1}})"));
  EXPECT_EQ(edit["newText"], "");
  Notify("textDocument/didChange", {{"textDocument", {{"uri", Uri("script.ostrel")}, {"version", 2}}},
                                    {"contentChanges", {{{"range", edit["range"]}, {"text", ""}}}}});
  ASSERT_EQ(notes_.size(), 1u);
  EXPECT_EQ(Diagnostics("script.ostrel"), std::vector<std::string>());
}

TEST_F(LspServerTest, QuickFixes) {
  Open("script.ostrel", "|start_location:\nHall\n|location=Hall\n/End\n|location=Cave\n/end\n");
  json params = {{"textDocument", {{"uri", Uri("script.ostrel")}}},
                 {"range", {{"start", {{"line", 2}, {"character", 0}}}, {"end", {{"line", 3}, {"character", 0}}}}},
                 {"context", {{"diagnostics", json::array()}}}};
  json actions = Request("textDocument/codeAction", params)["result"];
  ASSERT_EQ(actions.size(), 2u);
  EXPECT_EQ(actions[0]["title"], "Add the missing '/end'");
  json edit = actions[0]["edit"]["changes"][Uri("script.ostrel")][0];
  EXPECT_EQ(edit["range"]["start"]["line"], 4);
  EXPECT_EQ(edit["newText"], "/end\n");
  EXPECT_EQ(actions[1]["title"], "Replace with '/end'");
}

}  // namespace
