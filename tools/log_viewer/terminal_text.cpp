#include "log_viewer/terminal_text.h"

#include <cstdio>

namespace viewer {

std::string TerminalSafe(const std::string& bytes, UINT codePage) {
  const auto isControl = [](unsigned char c) { return c < 0x20 || (c >= 0x7f && c <= 0x9f); };
  // Every double-byte code page takes trail bytes from 0x40 up, never DEL.
  const auto isTrail = [](unsigned char c) { return c >= 0x40 && c != 0x7f; };
  std::string text;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (i + 1 < bytes.size() && IsDBCSLeadByteEx(codePage, c) &&
        isTrail(static_cast<unsigned char>(bytes[i + 1]))) {
      text += bytes.substr(i++, 2);
    } else if (c == 0) {
      text += "\\0";
    } else if (isControl(c)) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
      text += escaped;
    } else {
      text += static_cast<char>(c);
    }
  }
  return text;
}

}  // namespace viewer
