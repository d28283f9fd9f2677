#include "monitor/hot_keys.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <optional>
#include <string>

#include "framework/narrow_string.h"
#include "monitor/hot_key_settings.h"

namespace ombru {
namespace {

constexpr char kConsoleSettingsKey[] = "Software\\Velmora\\TSL";
constexpr char kAgentSettingsKey[] = "Software\\Velmora\\OMBR";
constexpr char kDefaultConsolePath[] = "C:\\Program Files\\Velmora\\Tessaline\\TSL.exe";
constexpr char kConsoleFileName[] = "tsl.exe";

RegistryKey OpenLocalMachineKey(const char* name, REGSAM access) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, name, 0, access, &key) != ERROR_SUCCESS) {
    return RegistryKey();
  }
  return RegistryKey(key);
}

// A setting's text, whatever the value's type; nothing when the query fails.
std::optional<std::string> QuerySettingText(HKEY key, const char* valueName) {
  BYTE buffer[kSettingBufferSize] = {};
  DWORD type = REG_NONE;
  DWORD size = sizeof(buffer);
  const LONG result = RegQueryValueExA(key, valueName, nullptr, &type, buffer, &size);
  if (result != ERROR_SUCCESS)
    return std::nullopt;
  return SettingText(result, type, buffer, size);
}

bool IsPressIgnored(int pressedId) {
  for (const HotKeyDefinition& hotKey : kHotKeys) {
    const RegistryKey key = OpenLocalMachineKey(kAgentSettingsKey, KEY_QUERY_VALUE);
    if (!key)
      continue;
    DWORD value = 0;
    DWORD type = REG_NONE;
    DWORD size = sizeof(value);
    const LONG result = RegQueryValueExA(key.Get(), hotKey.ignoreValue, nullptr, &type,
                                         reinterpret_cast<BYTE*>(&value), &size);
    if (IgnoresPress(result, type, value, hotKey.id, pressedId))
      return true;
  }
  return false;
}

// The console's path, or empty when the configured folder leaves no room for "tsl.exe": the
// folder alone must never be "opened" in its place.
std::string ConsolePath() {
  const RegistryKey key = OpenLocalMachineKey(kConsoleSettingsKey, KEY_READ);
  if (!key)
    return kDefaultConsolePath;
  const std::optional<std::string> folder = QuerySettingText(key.Get(), "Path");
  if (!folder)
    return kDefaultConsolePath;

  char path[MAX_PATH] = {};
  if (folder->size() >= MAX_PATH)
    return std::string();
  folder->copy(path, folder->size());
  if (!PathAppendA(path, kConsoleFileName))
    return std::string();
  return path;
}

}  // namespace

RegistryKey OpenHotKeySettings() { return OpenLocalMachineKey(kConsoleSettingsKey, KEY_READ); }

void RegisterHotKeys(HWND frame, const RegistryKey& settings) {
  UINT keys[3];
  for (size_t i = 0; i < 3; ++i) {
    const std::string text =
        MakeUpper(QuerySettingText(settings.Get(), kHotKeys[i].settingValue).value_or(""));
    keys[i] = HotKeyCode(text, kHotKeys[i].defaultKey);
  }
  for (size_t i = 0; i < 3; ++i) {
    RegisterHotKey(frame, kHotKeys[i].id, kModControlShift, keys[i]);
  }
}

void UnregisterHotKeys(HWND frame) {
  for (const HotKeyDefinition& hotKey : kHotKeys)
    UnregisterHotKey(frame, hotKey.id);
}

void HandleHotKeyPress(int hotKeyId, IVLLog& log) {
  if (IsPressIgnored(hotKeyId))
    return;
  const std::string path = ConsolePath();
  log.LogInfo("Launching TSL");
  if (path.empty())
    return;
  const ConsoleLaunch launch = ConsoleLaunchFor(hotKeyId);
  ShellExecuteA(nullptr, "open", path.c_str(), launch.arguments, nullptr, launch.showCommand);
}

}  // namespace ombru
