#include "drivers/session_input.h"

#include <cstring>

#include "common/record_file.h"
#include "drivers/process.h"

namespace lab {

void SetMachineValue(const char* key, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY handle;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  RegSetValueExA(handle, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(handle);
}

void SetMachineString(const char* key, const char* name, const char* text, DWORD type) {
  SetMachineValue(key, name, type, text, static_cast<DWORD>(strlen(text) + 1));
}

void SetMachineDword(const char* key, const char* name, DWORD value) {
  SetMachineValue(key, name, REG_DWORD, &value, sizeof(value));
}

void DeleteMachineKey(const char* key) { RegDeleteTreeA(HKEY_LOCAL_MACHINE, key); }

bool HotKeyTaken(UINT key) {
  constexpr int kProbeId = 0xBFFE;
  if (RegisterHotKey(nullptr, kProbeId, MOD_CONTROL | MOD_SHIFT, key)) {
    UnregisterHotKey(nullptr, kProbeId);
    return false;
  }
  return GetLastError() == ERROR_HOTKEY_ALREADY_REGISTERED;
}

void PressHotKey(UINT key) {
  INPUT inputs[6] = {};
  const WORD keys[] = {VK_CONTROL, VK_SHIFT, static_cast<WORD>(key)};
  for (int i = 0; i < 3; ++i) {
    inputs[i].type = INPUT_KEYBOARD;
    inputs[i].ki.wVk = keys[i];
    inputs[5 - i].type = INPUT_KEYBOARD;
    inputs[5 - i].ki.wVk = keys[i];
    inputs[5 - i].ki.dwFlags = KEYEVENTF_KEYUP;
  }
  SendInput(6, inputs, sizeof(INPUT));
}

void BroadcastSettingChange(const char* section) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(section),
                      SMTO_ABORTIFHUNG, 5000, &result);
}

ConsoleRecord::ConsoleRecord() {
  path = TempPath("console");
  SetEnvironmentVariableA("OMBRU_TSL_RECORD", path.c_str());
}

ConsoleRecord::~ConsoleRecord() {
  SetEnvironmentVariableA("OMBRU_TSL_RECORD", nullptr);
  DeleteFileA(path.c_str());
}

std::vector<ConsoleStart> ConsoleRecord::Starts() const {
  std::vector<ConsoleStart> starts;
  for (const std::string& line : CompleteLines(path)) {
    // The arguments come last and may themselves hold "|".
    std::vector<std::string> fields = Fields(line);
    std::string arguments = fields.at(4);
    for (size_t i = 5; i < fields.size(); ++i)
      arguments += "|" + fields[i];
    starts.push_back({std::stod(fields.at(0)), fields.at(1), std::stoi(fields.at(2)),
                      fields.at(3) == "1", arguments});
  }
  return starts;
}

std::vector<ConsoleStart> ConsoleRecord::WaitForStarts(size_t count, DWORD timeoutMs) const {
  return PollForCount([&] { return Starts(); }, count, timeoutMs);
}

void InstallConsole(const std::string& path) {
  for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
    CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
  }
  CopyFileA(SiblingPath("console\\tsl.exe").c_str(), path.c_str(), FALSE);
}

}  // namespace lab
