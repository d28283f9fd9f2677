#include "framework/narrow_string.h"

#include <mbstring.h>

namespace ombru {

std::string MakeUpper(std::string text) {
  _mbsupr(reinterpret_cast<unsigned char*>(&text[0]));
  return text;
}

int CompareNoCase(const std::string& left, const std::string& right) {
  return _mbsicmp(reinterpret_cast<const unsigned char*>(left.c_str()),
                  reinterpret_cast<const unsigned char*>(right.c_str()));
}

}  // namespace ombru
