// The command line's whole vocabulary: three option keys, each followed by a decimal value.
#pragma once

#include <cstdint>
#include <string_view>

namespace ombru {

enum class Mode { Agent, PendingOperation, Watchdog, Watchdog2 };

struct ModeSelection {
  Mode mode;
  int32_t value;  // 0 in agent mode
};

// The C library's decimal conversion to a signed 32-bit number: leading white space, an optional
// sign, digits up to the first non-digit; no digits give 0, out-of-range values the nearest bound.
int32_t DecimalValue(std::string_view text);

// Searches an upper-cased command line for "/OPKEY:", "/WATCHDOG:" and "/WATCHDOG2:" in that
// order, anywhere on the line; the first key found wins and its value is the rest of the line.
ModeSelection SelectMode(std::string_view upperCasedCommandLine);

// "ombr" for the first watchdog mode, "VLMSpindleSrv" for the second.
const char* WatchdogServiceName(Mode watchdogMode);

}  // namespace ombru
