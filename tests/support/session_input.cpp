#include "support/session_input.h"

#include <fstream>
#include <sstream>

#include "support/process.h"

namespace testsupport {

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
  char directory[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, directory);
  path = std::string(directory) + UniqueName("console") + ".txt";
  SetEnvironmentVariableA("OMBRU_TSL_RECORD", path.c_str());
}

ConsoleRecord::~ConsoleRecord() {
  SetEnvironmentVariableA("OMBRU_TSL_RECORD", nullptr);
  DeleteFileA(path.c_str());
}

std::vector<ConsoleStart> ConsoleRecord::Starts() const {
  std::vector<ConsoleStart> starts;
  for (const std::string& line : CompleteLines(path)) {
    std::stringstream fields(line);
    ConsoleStart start;
    std::string show, set;
    std::getline(fields, start.module, '|');
    std::getline(fields, show, '|');
    std::getline(fields, set, '|');
    std::getline(fields, start.arguments);
    start.showCommand = std::stoi(show);
    start.showCommandSet = set == "1";
    starts.push_back(start);
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

}  // namespace testsupport
