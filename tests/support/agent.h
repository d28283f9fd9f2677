// The real agent, started for a test and ended with its own Exit command, which must end it with
// exit code 0.
#pragma once

#include <windows.h>

#include "harness/test.h"
#include "support/process.h"

namespace testsupport {

class Agent {
 public:
  explicit Agent(const char* currentDirectory = nullptr)
      : process(SiblingPath("ombru.exe"), "", SW_SHOWNORMAL, currentDirectory),
        frame(WaitForAgentFrame(process)) {}
  ~Agent() { Exit(); }
  Agent(const Agent&) = delete;
  Agent& operator=(const Agent&) = delete;

  HWND Frame() const { return frame; }
  const ChildProcess& Process() const { return process; }
  DWORD Handles() const { return HandleCountOf(process.Id()); }

  // How long the agent's thread takes to handle one setting change, as its sender sees it.
  double SettingChangeMs(const char* section) {
    const double start = NowMs();
    DWORD_PTR result = 0;
    SendMessageTimeoutA(frame, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(section), SMTO_NORMAL,
                        30000, &result);
    return NowMs() - start;
  }

  void Exit(const char* name = "agent") {
    if (exited)
      return;
    exited = true;
    constexpr WPARAM kExitCommand = 0xE141;
    if (frame)
      PostMessageA(frame, WM_COMMAND, kExitCommand, 0);
    ok(process.WaitForExit(30000) && process.ExitCode() == 0, "%s: exit code %lu\n", name,
       process.ExitCode());
  }

 private:
  ChildProcess process;
  HWND frame;
  bool exited = false;
};

}  // namespace testsupport
