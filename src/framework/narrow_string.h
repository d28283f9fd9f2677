// The narrow (ANSI) text helpers of the program, in the process's current code page.
#pragma once

#include <string>

namespace ombru {

// Multibyte-aware upper-casing of the C runtime: a lead byte and its trail byte stay untouched.
std::string MakeUpper(std::string text);

}  // namespace ombru
