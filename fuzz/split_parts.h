// The fuzz targets' inputs: parts of the fuzzer's bytes, split at the pair
// FE FF, which story files hardly hold.
#ifndef FUZZ_SPLIT_PARTS_H_
#define FUZZ_SPLIT_PARTS_H_

#include <string>
#include <vector>

// Splits `data` at its first `marks` pairs FE FF (fewer when it has fewer):
// the parts before them, then the rest.
inline std::vector<std::string> SplitParts(const std::string& data, size_t marks) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (parts.size() < marks) {
    size_t at = data.find("\xfe\xff", start);
    if (at == std::string::npos) break;
    parts.push_back(data.substr(start, at - start));
    start = at + 2;
  }
  parts.push_back(data.substr(start));
  return parts;
}

#endif  // FUZZ_SPLIT_PARTS_H_
