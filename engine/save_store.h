// Where the save's journal is kept. One implementation is linked into each
// program: a file under the player's state directory (save_store_posix.cpp,
// save_store_windows.cpp), the page's storage (terminal_web.cpp), memory
// (the replay terminal, for the tests) or nowhere (save_store_none.cpp).
//
// The engine opens the save once, before the game starts, and holds it for
// the whole run. Every failure fills `*err` with one line (no line end) that
// says what went wrong and where; the engine then plays on without saving.
#ifndef ENGINE_SAVE_STORE_H_
#define ENGINE_SAVE_STORE_H_

#include <cstddef>
#include <string>

enum class StoreOpened {
  kOpened,       // the save is ours; `*bytes` holds it (empty: there is none)
  kUnavailable,  // saving is not possible here; `*err` says why, or is empty
                 // where the place has no saving at all (a page without storage)
  kInUse,        // another engine plays this story and holds its save
};

// Opens and locks the save of the story in `story_dir` and reads it whole.
StoreOpened StoreOpen(const std::string& story_dir, std::string* bytes, std::string* err);

// Appends bytes to the save, creating it if need be. They survive the end of
// the process at once; StoreSync makes them survive the machine's too.
bool StoreAppend(const std::string& bytes, std::string* err);

// Makes everything appended so far durable.
bool StoreSync(std::string* err);

// The run ends with the save kept: whatever the store held ready for more
// goes (a file's room made ahead of its records).
void StoreClose();

// Puts `bytes` in the place of the save as one change: a crash leaves the
// old save or the new one, never a mixture. Appends go on after them.
bool StoreReplace(const std::string& bytes, std::string* err);

// Removes the save; appends start a new one. With `for_good`, the run is
// over and the save's lock goes too.
void StoreDiscard(bool for_good);

// Where the save is, for messages: a path.
std::string StoreName();

// The file name, without extension, of the save of the story whose canonical
// path is `whole_path` and whose last component is `last`: a readable name
// from `last` and a hash of the whole path, so that two copies of a story
// keep two saves. For the file stores.
std::string SaveFileStem(const std::string& last, const std::string& whole_path);

#endif  // ENGINE_SAVE_STORE_H_
