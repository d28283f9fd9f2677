// The program's only entry point: one start runs exactly one mode, chosen from the command line.
#include <windows.h>

#include "app/agent_mode.h"
#include "app/command_line.h"
#include "app/program_log.h"
#include "framework/narrow_string.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  CoInitialize(nullptr);

  // Every start leaves its trace, also one that ends because another agent runs.
  ProgramLog().LogInfo(commandLine);

  const ombru::ModeSelection selection =
      ombru::SelectMode(ombru::MakeUpper(commandLine ? commandLine : ""));
  switch (selection.mode) {
    case ombru::Mode::PendingOperation:
      return 0;
    case ombru::Mode::Watchdog:
    case ombru::Mode::Watchdog2:
      return 0;
    case ombru::Mode::Agent:
      break;
  }
  return RunAgentMode(instance);
}
