#include "monitor/hot_key_settings.h"

#include <algorithm>

namespace ombru {

std::string SettingText(long queryResult, uint32_t type, const uint8_t* bytes, size_t size) {
  if (queryResult != kErrorSuccess)
    return std::string();
  if ((type == kRegSz || type == kRegExpandSz) && size == 0)
    return std::string();
  const size_t limit = std::min(size, kSettingBufferSize);
  const uint8_t* end = std::find(bytes, bytes + limit, 0);
  return std::string(bytes, end);
}

uint8_t HotKeyCode(const std::string& upperCasedText, uint8_t defaultKey) {
  return upperCasedText.empty() ? defaultKey : static_cast<uint8_t>(upperCasedText[0]);
}

bool IgnoresPress(long queryResult, uint32_t type, uint32_t value, int checkId, int pressedId) {
  return queryResult == kErrorSuccess && type == kRegDword && value != 0 && checkId == pressedId;
}

ConsoleLaunch ConsoleLaunchFor(int hotKeyId) {
  for (const HotKeyDefinition& hotKey : kHotKeys) {
    if (hotKey.id == hotKeyId)
      return {hotKey.arguments, hotKey.showCommand};
  }
  return {nullptr, kHotKeys[0].showCommand};
}

}  // namespace ombru
