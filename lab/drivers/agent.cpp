#include "drivers/agent.h"

namespace lab {
namespace {

ChildProcess StartAgent(const char* currentDirectory) {
  WaitForNoAgent();
  return ChildProcess(SiblingPath("ombru.exe"), "", SW_SHOWNORMAL, currentDirectory);
}

}  // namespace

bool AgentGuardHeld() {
  return static_cast<bool>(lab::Handle(OpenMutexA(SYNCHRONIZE, FALSE, "VLM.OMBRU.Running")));
}

void WaitForNoAgent() {
  PollUntil([] { return !AgentGuardHeld(); }, 5000);
}

Agent::Agent(const char* currentDirectory)
    : process(StartAgent(currentDirectory)), frame(WaitForAgentFrame(process)) {}

void Agent::SettingChange(const char* section) const {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(frame, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(section), SMTO_NORMAL,
                      30000, &result);
}

void Agent::HotKey(WPARAM id, UINT key) const {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(frame, WM_HOTKEY, id, MAKELPARAM(MOD_CONTROL | MOD_SHIFT, key), SMTO_NORMAL,
                      10000, &result);
}

DWORD Agent::Exit() {
  if (!exited) {
    exited = true;
    constexpr WPARAM kExitCommand = 0xE141;
    if (frame)
      PostMessageA(frame, WM_COMMAND, kExitCommand, 0);
    process.WaitForExit(30000);
  }
  return process.ExitCode();
}

}  // namespace lab
