// Keywords of the data files.
#include "keywords.h"

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool IsProgressCondition(const std::string& text) {
  for (const char* keyword : kw::kProgressConditions) {
    if (text == keyword) return true;
  }
  return false;
}
