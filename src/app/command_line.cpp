#include "app/command_line.h"

#include <limits>

namespace ombru {
namespace {

struct OptionKey {
  std::string_view text;
  Mode mode;
};

constexpr OptionKey kOptionKeys[] = {
    {"/OPKEY:", Mode::PendingOperation},
    {"/WATCHDOG:", Mode::Watchdog},
    {"/WATCHDOG2:", Mode::Watchdog2},
};

bool IsCSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

int32_t DecimalValue(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsCSpace(text[i]))
    ++i;

  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    negative = text[i++] == '-';

  // Accumulate as a negative number: its range reaches INT32_MIN.
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  int64_t magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    magnitude = magnitude * 10 - (text[i] - '0');
    if (magnitude < kMin) {
      return negative ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
    }
  }
  if (negative)
    return static_cast<int32_t>(magnitude);
  return magnitude < -std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                          : static_cast<int32_t>(-magnitude);
}

ModeSelection SelectMode(std::string_view upperCasedCommandLine) {
  for (const OptionKey& key : kOptionKeys) {
    const size_t position = upperCasedCommandLine.find(key.text);
    if (position != std::string_view::npos) {
      return {key.mode, DecimalValue(upperCasedCommandLine.substr(position + key.text.size()))};
    }
  }
  return {Mode::Agent, 0};
}

const char* WatchdogServiceName(Mode watchdogMode) {
  return watchdogMode == Mode::Watchdog2 ? "VLMSpindleSrv" : "ombr";
}

}  // namespace ombru
