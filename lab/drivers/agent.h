// The real agent, started for a driver (once no other agent holds the session's guard) and ended
// with its own Exit command.
#pragma once

#include <windows.h>

#include "drivers/process.h"

namespace lab {

// Whether an agent holds the session's guard ("VLM.OMBRU.Running").
bool AgentGuardHeld();

// Waits (at most 5 s) until no agent holds the session's guard. A process is seen as ended a
// moment before its handles are closed; an agent started in that moment would find the guard
// still there and end at once.
void WaitForNoAgent();

class Agent {
 public:
  explicit Agent(const char* currentDirectory = nullptr);
  ~Agent() { Exit(); }
  Agent(const Agent&) = delete;
  Agent& operator=(const Agent&) = delete;

  HWND Frame() const { return frame; }
  const ChildProcess& Process() const { return process; }
  DWORD Handles() const { return HandleCountOf(process.Id()); }

  // Sends one setting change and returns once the agent's thread has handled it.
  void SettingChange(const char* section) const;

  // Sends Ctrl+Shift+F's hot-key message and returns once the agent has handled it.
  void HotKey(WPARAM id = 1, UINT key = 'F') const;

  // The Exit command (0xE141); returns the agent's exit code, STILL_ACTIVE if it did not end.
  DWORD Exit();

 private:
  ChildProcess process;
  HWND frame;
  bool exited = false;
};

}  // namespace lab
