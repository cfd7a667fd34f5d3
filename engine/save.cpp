// The game's save: choosing it, restoring a game from it, journaling into it.
#include "save.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "console.h"
#include "data_stream.h"
#include "globals.h"
#include "keywords.h"
#include "options.h"
#include "platform.h"
#include "save_store.h"
#include "terminal.h"

namespace {

enum class Mode {
  kLive,     // reads come from the terminal
  kRestore,  // reads come from the journal; what is shown waits in `screen`
  kPlay,     // reads come from the journal; what is shown is shown
};

struct SaveState {
  Mode mode = Mode::kLive;
  bool store_open = false;  // the store is ours for this run
  bool saving = false;      // inputs are journaled into the store
  bool started = false;     // the store holds this run's journal, header first
  bool unsynced = false;    // appended since the last sync
  std::uint64_t story_hash = 0;
  journal::JournalWriter writer;

  // While a game is restored or played.
  journal::JournalReplay replay;
  journal::SavedScreen screen;
  bool story_changed = false;
  std::string loaded;    // the save's bytes as read
  std::string restored;  // the journal as the restore writes it anew
  size_t header_size = 0;
  size_t word_start = 0;  // where the last word's record begins in `restored`
  std::uint32_t crc_before_word = 0;
  std::string damage;     // what a damaged save lost, to be told
};

SaveState g;

struct PendingPlay {
  bool pending = false;
  std::string journal, name;
};
PendingPlay g_play;
std::string g_story_dir = ".";
JournalReadObserver g_observer = nullptr;

const char kQuestion[] =
    "This story has a saved game. Continue it (Enter or y) or start over (n)? ";

// One line on standard error, after what the screen has been given.
void Tell(const std::string& text) {
  TermFlush();
  PlatformWriteError(("ostrel: " + text + "\n").c_str());
}

void StopSaving(const std::string& err) {
  g.saving = false;
  Tell(err + "; the game goes on without saving");
}

// The story's hash, as journal.h defines it.
std::uint64_t StoryHash(const std::string& dir) {
  journal::Fnv1a hash;
  std::vector<char> buffer(1 << 16);
  for (const char* name :
       {kw::kScriptFile, kw::kAnimationsFile, kw::kTitleScreenFile, kw::kCreditsFile}) {
    std::string path = dir + "/" + name;
    std::FILE* file = PlatformOpenDataFile(path.c_str());
    unsigned char present = file != nullptr ? 1 : 0;
    hash.Add(&present, 1);
    if (file == nullptr) continue;
    // The length comes before the bytes: the file system tells it, so the
    // bytes are read once. Where it cannot, one pass counts them first.
    std::error_code error;
    std::uint64_t length = std::filesystem::file_size(path, error);
    if (error) {
      length = 0;
      for (size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), file)) > 0;) length += n;
      std::rewind(file);
    }
    hash.AddUint64(length);
    for (std::uint64_t left = length; left > 0;) {
      size_t n = std::fread(buffer.data(), 1, static_cast<size_t>(std::min<std::uint64_t>(
                                                  buffer.size(), left)), file);
      if (n == 0) break;
      hash.Add(buffer.data(), n);
      left -= n;
    }
    std::fclose(file);
  }
  return hash.value();
}

// What a damaged save lost, in a line; "" when it lost nothing.
std::string Damage(const journal::Journal& saved, size_t size, const std::string& name) {
  if (saved.problem.empty()) return "";
  std::string bytes = std::to_string(size - saved.valid_size);
  if (!saved.has_header) {
    return "the save " + name + " holds no game (" + saved.problem + "); its " + bytes +
           " bytes were dropped";
  }
  return "the save " + name + " was damaged (" + saved.problem + "); its last " + bytes +
         " bytes were dropped";
}

bool StoryChanged(const journal::Journal& saved) {
  return saved.story_hash != g.story_hash || saved.engine_version != EngineVersion();
}

// Records one input: into the journal written anew while a game is restored,
// into the store when the game is live.
template <typename Build>
void Record(Build build) {
  if (g.mode == Mode::kRestore) {
    build(&g.restored);
    return;
  }
  if (g.mode == Mode::kPlay || !g.saving) return;
  std::string bytes;
  if (!g.started) g.writer.Begin(g.story_hash, EngineVersion(), &bytes);
  build(&bytes);
  std::string err;
  if (!StoreAppend(bytes, &err)) {
    StopSaving(err);
    return;
  }
  g.started = true;
  g.unsynced = true;
}

void Sync() {
  std::string err;
  if (!StoreSync(&err)) StopSaving(err);
  g.unsynced = false;
}

// The journal is made durable before the engine waits for the player, and
// only then, so that input that is there already costs no sync.
void BeforeLiveRead(TermRead what) {
  if (g.saving && g.unsynced && !TermReadReady(what)) Sync();
}

void Observe(char kind, const std::string& text) {
  if (g.mode == Mode::kPlay && g_observer != nullptr) g_observer(kind, text);
}

void ShowScreen() {
  const journal::SavedScreen& screen = g.screen;
  if (screen.start_color() != kNormalColor) TermSetColor(screen.start_color());
  for (const journal::SavedScreen::Piece& piece : screen.pieces()) {
    switch (piece.kind) {
      case journal::SavedScreen::Piece::kText:
        TermWrite(piece.text.data(), piece.text.size());
        break;
      case journal::SavedScreen::Piece::kColor:
        TermSetColor(piece.color);
        break;
      case journal::SavedScreen::Piece::kAnswer:
        TermShowAnswer(piece.text);
        break;
    }
  }
  g.screen = journal::SavedScreen();
  TermFlush();
}

std::string ChangedStoryNote() {
  long long dropped = g.replay.dropped_answers();
  std::string note = "the story has changed since this game was saved; ";
  if (dropped == 0) return note + "all its answers were played again";
  return note + "its answers were played again as far as they fit, and " +
         std::to_string(dropped) + (dropped == 1 ? " was" : " were") + " dropped";
}

// The restore has ended: the save becomes what was played again, and the
// screen is shown as it stood.
void HandOver() {
  if (g.mode == Mode::kPlay) {
    g.mode = Mode::kLive;
    if (g.story_changed) Tell(ChangedStoryNote());
    return;
  }
  if (g.mode != Mode::kRestore) return;
  g.mode = Mode::kLive;
  DataStream::Hold(false);
  if (g.saving && g.restored != g.loaded) {
    std::string err;
    if (g.restored.size() == g.header_size) {
      StoreDiscard(false);  // nothing fitted
    } else if (!StoreReplace(g.restored, &err)) {
      StopSaving(err);
    } else {
      g.started = true;
    }
  } else {
    g.started = g.saving;
  }
  g.loaded = std::string();
  g.restored = std::string();
  // A clear screen first, so that what stood before (the question) goes.
  TermClearScreen();
  TermFlush();
  if (!g.damage.empty()) Tell(g.damage);
  if (g.story_changed) Tell(ChangedStoryNote());
  ShowScreen();
}

bool AskToContinue() {
  for (bool first = true;; first = false) {
    if (!first) TermWrite("\n", 1);
    TermWrite(kQuestion, sizeof kQuestion - 1);
    TermFlush();
    std::string key;
    // Ctrl-D ends the input here as on an empty line.
    if (!TermReadKey(&key) || key == "\x04") TermEndRun(0);
    if (key == "\r" || key == "\n" || key == "y" || key == "Y") return true;
    if (key == "n" || key == "N") return false;
  }
}

void BeginPlay() {
  g.story_hash = StoryHash(g_story_dir);
  journal::Journal saved = journal::ReadJournal(g_play.journal);
  std::string damage = Damage(saved, g_play.journal.size(), g_play.name);
  g_play = PendingPlay();
  if (!damage.empty()) Tell(damage);
  if (!saved.has_header) return;
  g.story_changed = StoryChanged(saved);
  g.replay = journal::JournalReplay(std::move(saved.records), g.story_changed);
  g.mode = Mode::kPlay;
}

}  // namespace

void SetStoryDirectory(std::string dir) { g_story_dir = dir.empty() ? "." : std::move(dir); }

void BeginSave(SaveStart start) {
  g = SaveState();
  DataStream::Hold(false);
  if (g_play.pending) {
    BeginPlay();
    return;
  }
  if (start == SaveStart::kDefault && !TermInteractive()) return;
  // A directory without a story has no game to keep.
  if (!script.is_open()) return;
  std::string bytes, err;
  StoreOpened opened = StoreOpen(g_story_dir, &bytes, &err);
  if (opened == StoreOpened::kInUse) {
    Tell("another ostrel is playing this story: its save " + StoreName() + " is in use");
    TermEndRun(1);
  }
  if (opened == StoreOpened::kUnavailable) {
    if (!err.empty()) Tell(err + "; the game goes on without saving");
    return;
  }
  g.store_open = true;
  g.saving = true;
  g.story_hash = StoryHash(g_story_dir);
  if (start == SaveStart::kNew) {
    if (!bytes.empty()) StoreDiscard(false);
    return;
  }
  journal::Journal saved = journal::ReadJournal(bytes);
  std::string damage = Damage(saved, bytes.size(), StoreName());
  if (saved.records.empty()) {
    // Nothing to continue; what is there makes way for the new game.
    if (!damage.empty()) Tell(damage);
    if (!bytes.empty()) StoreDiscard(false);
    return;
  }
  if (start == SaveStart::kDefault && !AskToContinue()) {
    StoreDiscard(false);
    TermClearScreen();
    TermFlush();
    return;
  }
  g.damage = damage;
  g.story_changed = StoryChanged(saved);
  g.loaded = std::move(bytes);
  g.writer.Begin(g.story_hash, EngineVersion(), &g.restored);
  g.header_size = g.restored.size();
  g.replay = journal::JournalReplay(std::move(saved.records), g.story_changed);
  g.mode = Mode::kRestore;
  // The story's files are read again and again in a moment: as they are now.
  DataStream::Hold(true);
}

void PlayJournalNextRun(std::string journal, std::string name) {
  g_play.pending = true;
  g_play.journal = std::move(journal);
  g_play.name = std::move(name);
}

void ObserveJournalReads(JournalReadObserver observer) { g_observer = observer; }

void EndSave() {
  // A game restored to its very end shows where it ended.
  if (g.mode == Mode::kRestore) HandOver();
  if (g.store_open) StoreDiscard(true);
  g.store_open = false;
  g.saving = false;
}

bool JournaledKeyWait() {
  if (g.mode != Mode::kLive) {
    if (g.replay.Key()) {
      Record([](std::string* out) { g.writer.Mark(journal::kKey, out); });
      Observe(journal::kKey, "");
      return true;
    }
    HandOver();
  }
  BeforeLiveRead(TermRead::kKey);
  if (!TermWaitKey()) return false;
  Record([](std::string* out) { g.writer.Mark(journal::kKey, out); });
  return true;
}

bool JournaledWord(std::string* word) {
  if (g.mode != Mode::kLive) {
    size_t start = g.restored.size();
    std::uint32_t crc = g.writer.crc();
    if (g.replay.Word(word)) {
      g.word_start = start;
      g.crc_before_word = crc;
      Record([&](std::string* out) { g.writer.Word(*word, out); });
      if (g.mode == Mode::kRestore) g.screen.Answer(*word);
      Observe(journal::kWord, *word);
      return true;
    }
    HandOver();
  }
  BeforeLiveRead(TermRead::kWord);
  if (!TermReadWord(word)) return false;
  Record([&](std::string* out) { g.writer.Word(*word, out); });
  return true;
}

bool JournaledNumber(long long* value) {
  if (g.mode != Mode::kLive) {
    if (g.replay.Number(value)) {
      Record([&](std::string* out) { g.writer.Number(journal::kNumber, *value, out); });
      if (g.mode == Mode::kRestore) g.screen.Answer(std::to_string(*value));
      Observe(journal::kNumber, std::to_string(*value));
      return true;
    }
    HandOver();
  }
  BeforeLiveRead(TermRead::kNumber);
  if (!TermReadNumber(value)) return false;
  Record([&](std::string* out) { g.writer.Number(journal::kNumber, *value, out); });
  return true;
}

std::time_t JournaledTime() {
  if (g.mode != Mode::kLive) {
    long long seconds = 0;
    if (g.replay.Time(&seconds)) {
      Record([&](std::string* out) { g.writer.Number(journal::kTime, seconds, out); });
      return static_cast<std::time_t>(seconds);
    }
    // The saved run drew no more: a played journal ends here, as its input did.
    if (g.mode == Mode::kPlay) TermEndRun(0);
    HandOver();
  }
  std::time_t now = TermTime();
  Record([&](std::string* out) {
    g.writer.Number(journal::kTime, static_cast<long long>(now), out);
  });
  return now;
}

bool JournalUnanswered() {
  if (g.mode != Mode::kLive && g.replay.Unanswered()) {
    if (g.mode == Mode::kRestore) {
      g.restored.resize(g.word_start);
      g.writer.Continue(g.crc_before_word);
      g.screen.TakeBackAnswer();
    }
    return true;
  }
  Record([](std::string* out) { g.writer.Mark(journal::kUnanswered, out); });
  return false;
}

void JournalDuel(bool begins) {
  char kind = begins ? journal::kDuelBegins : journal::kDuelEnds;
  Record([&](std::string* out) { g.writer.Mark(kind, out); });
}

void SaveBeforeFatalEnd() {
  if (g.mode == Mode::kRestore) HandOver();
  if (g.saving && g.unsynced) Sync();
  if (g.store_open) StoreClose();
}

void SaveAtEndOfInput() {
  if (g.saving && g.unsynced) Sync();
  if (!g.store_open) return;
  // A run that saved nothing leaves nothing behind: no empty save, no lock.
  if (!g.started && g.mode == Mode::kLive) {
    StoreDiscard(true);
    g.store_open = false;
    g.saving = false;
    return;
  }
  StoreClose();
}

journal::SavedScreen* RestoringScreen() {
  return g.mode == Mode::kRestore ? &g.screen : nullptr;
}

std::string SaveFileStem(const std::string& last, const std::string& whole_path) {
  std::string name;
  for (char c : last) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '_' || c == '.';
    if (name.size() < 48) name += plain ? c : '_';
  }
  if (name.empty() || name[0] == '.') name = "story" + name;
  journal::Fnv1a hash;
  hash.Add(whole_path.data(), whole_path.size());
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash.value()));
  return name + "-" + hex;
}
