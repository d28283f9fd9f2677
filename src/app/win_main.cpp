// The program's only entry point: one start runs exactly one mode, chosen from the command line.
#include <windows.h>

#include "app/agent_mode.h"
#include "app/command_line.h"
#include "app/program_log.h"
#include "app/watchdog.h"
#include "failure/se_translator.h"
#include "failure/translate.h"
#include "framework/narrow_string.h"
#include "log/debug_output.h"
#include "runtime_link/pending_op_exec.h"

namespace {

// What a debug monitor has not taken by the end of a mode is given up after this long: a monitor
// that does not read costs the program its lines, never its end.
constexpr DWORD kDebugOutputEndMs = 1000;

// Libraries loaded by name (the Novell client's "NETWIN32.DLL") must never come from whatever
// folder the agent was started in; the program's folder, the system folders and PATH still find
// them. Any DLL directory takes the current directory out of the search. Windows also accepts ""
// for that, Wine only a name: the system folder, which the search holds anyway.
void RemoveCurrentDirectoryFromDllSearch() {
  char system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryA(system, MAX_PATH);
  SetDllDirectoryA(length > 0 && length < MAX_PATH ? system : "");
}

int RunMode(HINSTANCE instance, const char* commandLine) {
  const ombru::ModeSelection selection =
      ombru::SelectMode(ombru::MakeUpper(commandLine ? commandLine : ""));
  // The start record may wait on a busy collector; a watched process must not end unseen meanwhile.
  // No digits, or only zeros, name no process.
  const bool watchdog =
      selection.mode == ombru::Mode::Watchdog || selection.mode == ombru::Mode::Watchdog2;
  const ombru::Handle watched = watchdog && selection.value != 0
                                    ? OpenWatchedProcess(static_cast<DWORD>(selection.value))
                                    : ombru::Handle();

  // Every start leaves its trace, also one that ends because another agent runs.
  ProgramLog().LogInfo(commandLine);

  switch (selection.mode) {
    case ombru::Mode::PendingOperation: {
      // 0 and negative keys are passed on as their 32-bit pattern.
      CPendingOpExec executor(static_cast<uint32_t>(selection.value), ProgramLog());
      executor.Execute();
      return 0;
    }
    case ombru::Mode::Watchdog:
    case ombru::Mode::Watchdog2:
      RestartServiceAfterProcess(watched, ombru::WatchdogServiceName(selection.mode));
      return 0;
    case ombru::Mode::Agent:
      break;
  }
  return RunAgentMode(instance);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  RemoveCurrentDirectoryFromDllSearch();
  CoInitialize(nullptr);
  // From here on, faults on this thread reach handlers as VLM:: exceptions.
  ombru::SetStructuredExceptionTranslator(TranslateStructuredException);

  const int exitCode = RunMode(instance, commandLine);
  ombru::DebugOutput().Flush(kDebugOutputEndMs);
  return exitCode;
}
