// Playing a story in this process, again and again, each run from a fresh
// start, for the tools that drive the engine many times.
#ifndef TOOLS_COMMON_STORY_RUNNER_H_
#define TOOLS_COMMON_STORY_RUNNER_H_

#include <string>

// Thrown by a tool's terminal layer (TermEndRun) so that a run can end
// wherever it stands.
struct RunEnded {
  int status;
};

// Opens the story files of `dir` as the engine opens them at start-up,
// empties every record, plays the story once and returns the exit status.
// The terminal layer linked into the program supplies the player.
int PlayStoryOnce(const std::string& dir);

#endif  // TOOLS_COMMON_STORY_RUNNER_H_
