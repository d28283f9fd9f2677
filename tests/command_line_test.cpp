#include "app/command_line.h"

#include <cstdint>
#include <limits>

#include "harness/test.h"

using ombru::Mode;

namespace {

const char* ModeName(Mode mode) {
  switch (mode) {
    case Mode::Agent:
      return "agent";
    case Mode::PendingOperation:
      return "opkey";
    case Mode::Watchdog:
      return "watchdog";
    case Mode::Watchdog2:
      return "watchdog2";
  }
  return "?";
}

}  // namespace

START_TEST(mode_selection) {
  static const struct {
    const char* line;  // already upper-cased, as the entry point hands it over
    Mode mode;
    int32_t value;
  } cases[] = {
      {"", Mode::Agent, 0},
      {"/OPKEY", Mode::Agent, 0},
      {"OPKEY:5", Mode::Agent, 0},
      {"/OPKEY:12 /WATCHDOG:34", Mode::PendingOperation, 12},
      {"/WATCHDOG:34 /OPKEY:12", Mode::PendingOperation, 12},
      {"X/OPKEY:12", Mode::PendingOperation, 12},
      {"\"C:\\A B\\/OPKEY:3\"", Mode::PendingOperation, 3},
      {"/OPKEY:", Mode::PendingOperation, 0},
      {"/OPKEY:-1", Mode::PendingOperation, -1},
      {"/WATCHDOG: 4711", Mode::Watchdog, 4711},
      {"/WATCHDOG:4711ABC", Mode::Watchdog, 4711},
      {"/WATCHDOG:ABC", Mode::Watchdog, 0},
      {"/WATCHDOG2:4711", Mode::Watchdog2, 4711},
      {"/WATCHDOG2:1 /WATCHDOG:2", Mode::Watchdog, 2},
      {"/OPKEY:/OPKEY:5", Mode::PendingOperation, 0},
  };
  for (const auto& c : cases) {
    const ombru::ModeSelection got = ombru::SelectMode(c.line);
    ok(got.mode == c.mode && got.value == c.value, "[%s]: got %s %d, expected %s %d\n", c.line,
       ModeName(got.mode), got.value, ModeName(c.mode), c.value);
  }
}

START_TEST(decimal_value) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  static const struct {
    const char* text;
    int32_t value;
  } cases[] = {
      {"", 0},
      {" - 5", 0},
      {"+42", 42},
      {"-42", -42},
      {" \t\n\v\f\r7", 7},
      {"12 34", 12},
      {"2147483648", kMax},
      {"-2147483649", kMin},
      {"99999999999999999999999", kMax},
      {"0000000000000000000000012", 12},
  };
  for (const auto& c : cases) {
    const int32_t got = ombru::DecimalValue(c.text);
    ok(got == c.value, "[%s]: got %d, expected %d\n", c.text, got, c.value);
  }
}
