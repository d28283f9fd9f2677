// The three Ctrl+Shift hot keys and how their registry values read. No platform calls here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ombru {

// Registry value types and query results, with the values Windows gives them.
inline constexpr uint32_t kRegNone = 0, kRegSz = 1, kRegExpandSz = 2, kRegBinary = 3, kRegDword = 4,
                          kRegMultiSz = 7, kRegQword = 11;
inline constexpr long kErrorSuccess = 0, kErrorMoreData = 234;

// Hot-key and path values are read into buffers of this size.
inline constexpr size_t kSettingBufferSize = 260;

struct HotKeyDefinition {
  int id;
  const char* settingValue;  // under "Software\Velmora\TSL"
  uint8_t defaultKey;
  const char* arguments;  // of the console, null for none
  int showCommand;
  const char* ignoreValue;  // under "Software\Velmora\OMBR"
};

inline constexpr int kModControlShift = 0x0006;  // MOD_CONTROL | MOD_SHIFT

inline constexpr HotKeyDefinition kHotKeys[] = {
    {1, "HotKey", 'F', nullptr, 1 /* SW_SHOWNORMAL */, "IgnoreHotKey"},
    {2, "ShutdownHotKey", 'S', "-SHUTDOWN", 8 /* SW_SHOWNA */, "IgnoreShutdownHotKey"},
    {3, "LogoffHotKey", 'L', "-LOGOFF", 8 /* SW_SHOWNA */, "IgnoreLogoffHotKey"},
};

// The text of a value queried into a kSettingBufferSize buffer, whatever its type: the bytes up
// to the first NUL, at most the buffer; empty when the query failed or a string value is empty.
std::string SettingText(long queryResult, uint32_t type, const uint8_t* bytes, size_t size);

// The virtual-key code of an upper-cased setting text: its first byte, else the default letter.
uint8_t HotKeyCode(const std::string& upperCasedText, uint8_t defaultKey);

// Whether an ignore value, as queried into a DWORD, suppresses a press of `pressedId`.
bool IgnoresPress(long queryResult, uint32_t type, uint32_t value, int checkId, int pressedId);

struct ConsoleLaunch {
  const char* arguments;  // null for none
  int showCommand;
};

// Hot keys 2 and 3 ask the console to shut down or log off; any other id starts it plainly.
ConsoleLaunch ConsoleLaunchFor(int hotKeyId);

}  // namespace ombru
