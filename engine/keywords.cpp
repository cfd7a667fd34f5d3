// Keywords of the data files.
#include "keywords.h"

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool IsProgressCondition(const std::string& text) {
  return IsProgressCondition(text.data(), text.size());
}

bool IsProgressCondition(const char* data, size_t size) {
  for (const char* keyword : kw::kProgressConditions) {
    if (size == std::char_traits<char>::length(keyword) &&
        std::char_traits<char>::compare(data, keyword, size) == 0) {
      return true;
    }
  }
  return false;
}
