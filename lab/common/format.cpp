#include "common/format.h"

#include <cstdarg>
#include <cstdio>

namespace lab {

std::string Format(const char* format, ...) {
  std::string text(128, '\0');
  for (;;) {
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(&text[0], text.size(), format, args);
    va_end(args);
    if (length < 0)
      return std::string();
    if (static_cast<size_t>(length) < text.size()) {
      text.resize(static_cast<size_t>(length));
      return text;
    }
    text.resize(static_cast<size_t>(length) + 1);
  }
}

}  // namespace lab
