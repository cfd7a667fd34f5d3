// Keywords of the data files.
#include "keywords.h"

#include <iterator>
#include <vector>

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool IsProgressCondition(const std::string& text) {
  return IsProgressCondition(text.data(), text.size());
}

bool IsProgressCondition(const char* data, size_t size) {
  static const std::vector<std::string> kConditions(std::begin(kw::kProgressConditions),
                                                    std::end(kw::kProgressConditions));
  for (const std::string& keyword : kConditions) {
    if (size == keyword.size() && keyword.compare(0, size, data, size) == 0) return true;
  }
  return false;
}
