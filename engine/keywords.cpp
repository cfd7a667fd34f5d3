// Keywords of the data files.
#include "keywords.h"

bool IsProgressCondition(const std::string& text) {
  for (const char* keyword : kw::kProgressConditions) {
    if (text == keyword) return true;
  }
  return false;
}
