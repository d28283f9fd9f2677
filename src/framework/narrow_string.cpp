#include "framework/narrow_string.h"

#include <mbstring.h>

namespace ombru {

std::string MakeUpper(std::string text) {
  _mbsupr(reinterpret_cast<unsigned char*>(&text[0]));
  return text;
}

}  // namespace ombru
