// The minimum and the median of a series of measurements, for the
// benchmarks that time whole runs of the engine.
#ifndef BENCH_SUMMARY_H_
#define BENCH_SUMMARY_H_

#include <algorithm>
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

#endif  // BENCH_SUMMARY_H_
