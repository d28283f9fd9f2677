// A property that does not hold is a crash, which libFuzzer reports with its input.
#pragma once

#include <cstdlib>

inline void Check(bool condition) {
  if (!condition)
    std::abort();
}
