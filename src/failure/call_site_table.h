// Reads the call-site table of a GCC language-specific data area (the LSDA that follows
// `.seh_handlerdata`), to tell whether an instruction of a function may raise an exception that
// the function's own handler understands. No platform calls here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ombru {

// True when `offset` (from the function's start) lies in one of the table's call-site ranges.
// `size` bounds every read; a table that does not parse covers nothing.
bool CallSiteCovers(const uint8_t* lsda, size_t size, uint64_t offset);

}  // namespace ombru
