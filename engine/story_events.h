// Story events: moments of a story's play that the authors' tools watch.
//
// The engine calls these as it plays. ostrel links the versions in
// story_events_none.cpp, which do nothing; ostrel-explore links its own to
// learn what a run reached. Like the terminal layer, the choice is made at
// link time.
#ifndef ENGINE_STORY_EVENTS_H_
#define ENGINE_STORY_EVENTS_H_

#include <string>

class DataStream;

// The main loop has looked up the section `header` and is about to play it.
void OnSectionEntered(const std::string& header);

// `line`, the line last read by DataStream::last_read(), is being shown.
void OnLineShown();

// The "/if:" at `if_line` of `source` decided that its block is played or
// passed over.
void OnBlock(const DataStream& source, long long if_line, bool played);

// The player's word found the choice line `choice_line` of the script.
void OnAnswer(long long choice_line);

// "/add_to_inventory:" gave the item whose name stands at `name_line`.
void OnItemGiven(const DataStream& source, long long name_line);

// The battle `header` has ended, won or lost by the player.
void OnBattleOutcome(const std::string& header, bool player_won);

#endif  // ENGINE_STORY_EVENTS_H_
