// A ratio measured in several rounds, as the benchmark table shows it: the median, with the
// lowest and the highest round, so that a reader sees whether a target is met or lost in noise.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "framework/format.h"

namespace bench {

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// "1.03 (0.97-1.12)"
inline std::string MedianAndRange(const std::vector<double>& rounds) {
  const auto [lowest, highest] = std::minmax_element(rounds.begin(), rounds.end());
  return ombru::FormatString("%.2f (%.2f-%.2f)", Median(rounds), *lowest, *highest);
}

}  // namespace bench
