// Story events, as the engine itself links them: nothing watches.
#include "story_events.h"

void OnSectionEntered(const std::string&) {}
void OnLineShown() {}
void OnBlock(const DataStream&, int, bool) {}
void OnAnswer(int) {}
void OnItemGiven(const DataStream&, int) {}
void OnBattleOutcome(const std::string&, bool) {}
