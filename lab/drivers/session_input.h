// What a user or another program does to a session: registry settings, hot-key presses,
// setting-change broadcasts, and the console stand-in's record of its starts.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace lab {

// HKEY_LOCAL_MACHINE.
void SetMachineValue(const char* key, const char* name, DWORD type, const void* data, DWORD size);
void SetMachineString(const char* key, const char* name, const char* text, DWORD type = REG_SZ);
void SetMachineDword(const char* key, const char* name, DWORD value);
void DeleteMachineKey(const char* key);

// Whether another program holds Ctrl+Shift+key in this session.
bool HotKeyTaken(UINT key);

// Ctrl+Shift+key as keyboard input.
void PressHotKey(UINT key);

// SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, section).
void BroadcastSettingChange(const char* section);

struct ConsoleStart {
  double timeMs;
  std::string module;
  int showCommand;
  bool showCommandSet;
  std::string arguments;
};

// The console stand-in's record, in this process's environment for the agents it starts.
class ConsoleRecord {
 public:
  ConsoleRecord();
  ~ConsoleRecord();
  std::vector<ConsoleStart> Starts() const;
  std::vector<ConsoleStart> WaitForStarts(size_t count, DWORD timeoutMs = 10000) const;

 private:
  std::string path;
};

// Copies the console stand-in to `path`, creating its folders.
void InstallConsole(const std::string& path);

}  // namespace lab
