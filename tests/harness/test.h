// Checks in the manner of Wine's conformance tests: ok(condition, format, ...) reports a failed
// check with its own text and the test goes on; START_TEST registers a test of the executable.
#pragma once

#include "framework/format.h"

namespace harness {

void Check(const char* file, int line, bool condition, const char* format, ...)
    OMBRU_PRINTF_FORMAT(4, 5);

struct Registration {
  Registration(const char* name, void (*run)());
};

}  // namespace harness

#define ok(condition, ...) ::harness::Check(__FILE__, __LINE__, (condition), __VA_ARGS__)

#define START_TEST(name)                                                        \
  static void test_##name();                                                    \
  static const ::harness::Registration registration_##name(#name, test_##name); \
  static void test_##name()
