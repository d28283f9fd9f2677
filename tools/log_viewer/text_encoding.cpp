#include "log_viewer/text_encoding.h"

namespace viewer {

std::wstring WideFromCodePage(const std::string& text, UINT codePage) {
  if (text.empty())
    return std::wstring();
  const int size = static_cast<int>(text.size());
  std::wstring wide(MultiByteToWideChar(codePage, 0, text.data(), size, nullptr, 0), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], static_cast<int>(wide.size()));
  return wide;
}

std::string Utf8FromWide(const std::wstring& wide) {
  if (wide.empty())
    return std::string();
  const int size = static_cast<int>(wide.size());
  std::string text(WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr),
                   '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &text[0], static_cast<int>(text.size()),
                      nullptr, nullptr);
  return text;
}

}  // namespace viewer
