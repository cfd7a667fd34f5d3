// The process-wide objects of the engine, defined in main.cpp in the order
// they are created.
#ifndef ENGINE_GLOBALS_H_
#define ENGINE_GLOBALS_H_

#include <string>

#include "data_stream.h"

// The four data files.
extern DataStream script;
extern DataStream animations;
extern DataStream title_screen;
extern DataStream credits;

// Whole header lines of the sections pending or being played; empty: none.
extern std::string location;
extern std::string dialog;
extern std::string battle;
extern std::string animation;
extern std::string current_section;

// The one current-line buffer every read of every data file fills.
extern std::string line;

// The numbers of the battle being fought.
extern int moves;
extern int player_action;
extern int PC_action;
extern int player_health;
extern int PC_health;

// Set whenever "/change_battle:" runs, so that a battle's result text can
// send the story into another battle.
extern bool battle_requested;

#endif  // ENGINE_GLOBALS_H_
