// Story statistics.
#include "check.h"

void PrintStats(const StorySources&, const StoryCheck&, std::ostream& out) {
  out << "statistics: not yet\n";
}
