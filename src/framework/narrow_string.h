// The narrow (ANSI) text helpers of the program, in the process's current code page. Formatting
// is FormatString; search and extraction are std::string's own.
#pragma once

#include <string>

namespace ombru {

// Multibyte-aware upper-casing of the C runtime: a lead byte and its trail byte stay untouched.
std::string MakeUpper(std::string text);

// Multibyte-aware comparison ignoring case: 0 when equal.
int CompareNoCase(const std::string& left, const std::string& right);

}  // namespace ombru
