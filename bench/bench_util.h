// What the benchmarks that time whole runs of the engine share: the minimum
// and the median of a series of measurements, and writing a story's file.
#ifndef BENCH_BENCH_UTIL_H_
#define BENCH_BENCH_UTIL_H_

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

struct Summary {
  double min = 0;
  double median = 0;
};

inline Summary Summarize(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  Summary s;
  if (values.empty()) return s;
  s.min = values.front();
  size_t n = values.size();
  s.median = n % 2 != 0 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return s;
}

// Writes `contents` to `path`, or ends the benchmark with status 2.
inline void WriteFile(const std::string& path, const std::string& contents) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) {
    std::perror(path.c_str());
    std::exit(2);
  }
  std::fwrite(contents.data(), 1, contents.size(), f);
  std::fclose(f);
}

#endif  // BENCH_BENCH_UTIL_H_
