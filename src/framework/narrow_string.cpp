#include "framework/narrow_string.h"

#include <mbctype.h>
#include <mbstring.h>

#include <cstddef>
#include <cstring>

namespace ombru {
namespace {

// The length of the text's whole characters: up to its NUL, less a lead byte that stands last.
// The C runtime's upper-casing would take that NUL for the lead byte's trail byte and walk on
// past the end of the text.
size_t WholeCharactersLength(const unsigned char* text) {
  size_t length = 0;
  while (text[length] != 0) {
    if (!_ismbblead(text[length]))
      ++length;
    else if (text[length + 1] != 0)
      length += 2;
    else
      break;
  }
  return length;
}

}  // namespace

void UpperCaseInPlace(char* text) {
  auto* bytes = reinterpret_cast<unsigned char*>(text);
  const size_t end = WholeCharactersLength(bytes);
  const unsigned char kept = bytes[end];
  bytes[end] = 0;
  _mbsupr(bytes);
  bytes[end] = kept;
}

std::string MakeUpper(std::string text) {
  UpperCaseInPlace(&text[0]);
  return text;
}

int CompareNoCase(const std::string& left, const std::string& right) {
  // The C runtime's comparison walks past a last lead byte as upper-casing does: compare the
  // whole characters, then what is left of each text (a lone lead byte or nothing) as bytes.
  const auto* leftBytes = reinterpret_cast<const unsigned char*>(left.c_str());
  const auto* rightBytes = reinterpret_cast<const unsigned char*>(right.c_str());
  const std::string leftWhole(left.c_str(), WholeCharactersLength(leftBytes));
  const std::string rightWhole(right.c_str(), WholeCharactersLength(rightBytes));
  if (const int order = _mbsicmp(reinterpret_cast<const unsigned char*>(leftWhole.c_str()),
                                 reinterpret_cast<const unsigned char*>(rightWhole.c_str()))) {
    return order;
  }
  return std::strcmp(left.c_str() + leftWhole.size(), right.c_str() + rightWhole.size());
}

}  // namespace ombru
