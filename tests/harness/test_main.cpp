// Runs every test registered in the executable, or those named on the command line, and exits
// non-zero when a check failed.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

#include "harness/test.h"

namespace harness {

using ombru::FormatString;
using ombru::FormatStringV;

namespace {

struct Test {
  const char* name;
  void (*run)();
};

std::vector<Test>& Tests() {
  static std::vector<Test> tests;
  return tests;
}

const char* currentTest = "";
unsigned executed = 0;
unsigned failures = 0;

void Print(const char* prefix, const char* file, int line, const char* format, va_list args) {
  const char* base = std::strrchr(file, '/');
  std::printf("%s:%d: %s%s", base ? base + 1 : file, line, prefix,
              FormatStringV(format, args).c_str());
  std::fflush(stdout);
}

bool Selected(const char* name, int argc, char** argv) {
  if (argc < 2)
    return true;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], name) == 0)
      return true;
  }
  return false;
}

}  // namespace

void Check(const char* file, int line, bool condition, const char* format, ...) {
  ++executed;
  if (condition)
    return;
  ++failures;
  va_list args;
  va_start(args, format);
  Print(FormatString("Test failed (%s): ", currentTest).c_str(), file, line, format, args);
  va_end(args);
}

Registration::Registration(const char* name, void (*run)()) { Tests().push_back({name, run}); }

}  // namespace harness

int main(int argc, char** argv) {
  for (const harness::Test& test : harness::Tests()) {
    if (!harness::Selected(test.name, argc, argv))
      continue;
    harness::currentTest = test.name;
    const unsigned failuresBefore = harness::failures;
    test.run();
    std::printf("%s: %s\n", test.name, harness::failures == failuresBefore ? "ok" : "FAILED");
  }
  std::printf("%u tests executed (0 marked as todo, %u failures), 0 skipped.\n", harness::executed,
              harness::failures);
  return harness::failures == 0 ? 0 : 1;
}
