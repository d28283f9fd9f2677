// The narrow (ANSI) text helpers of the program, in the process's current code page. Formatting
// is FormatString; search and extraction are std::string's own.
#pragma once

#include <string>

namespace ombru {

// Multibyte-aware upper-casing of the C runtime, in place, up to the terminating NUL and never
// past it: a lead byte that stands last, with no trail byte before the NUL, stays as it is.
void UpperCaseInPlace(char* text);

std::string MakeUpper(std::string text);

// Multibyte-aware comparison ignoring case, never past either text's end: 0 when equal.
int CompareNoCase(const std::string& left, const std::string& right);

}  // namespace ombru
