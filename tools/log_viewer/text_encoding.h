// Text of the agents (narrow, in a Windows code page) for outputs that are UTF-8: the log
// viewer's JSON lines and the demo's picture.
#pragma once

#include <windows.h>

#include <string>

namespace viewer {

std::wstring WideFromCodePage(const std::string& text, UINT codePage);
std::string Utf8FromWide(const std::wstring& wide);

}  // namespace viewer
