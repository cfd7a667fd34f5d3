// Story events, as the engine itself links them: nothing watches.
#include "story_events.h"

void OnSectionEntered(const std::string&) {}
void OnLineShown() {}
void OnBlock(const DataStream&, long long, bool) {}
void OnAnswer(long long) {}
void OnItemGiven(const DataStream&, long long) {}
void OnBattleOutcome(const std::string&, bool) {}
