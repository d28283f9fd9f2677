// printf-style formatting into a narrow string, sized to fit: no record or line is ever cut short.
#pragma once

#include <cstdarg>
#include <string>

#if defined(__MINGW32__)
#define OMBRU_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define OMBRU_PRINTF_FORMAT(f, a) __attribute__((format(printf, f, a)))
#endif

namespace ombru {

std::string FormatString(const char* format, ...) OMBRU_PRINTF_FORMAT(1, 2);
std::string FormatStringV(const char* format, va_list args);

}  // namespace ombru
