// printf-style text for the lab's record lines and names.
#pragma once

#include <string>

namespace lab {

std::string Format(const char* format, ...) __attribute__((format(gnu_printf, 1, 2)));

}  // namespace lab
