#include "runtime_link/shell_state.h"

#include <windows.h>

#include "framework/unique_handle.h"

bool IsShellRunning() {
  if (!IsWindow(GetShellWindow()))
    return false;
  DWORD processId = 0;
  GetWindowThreadProcessId(GetShellWindow(), &processId);
  if (processId == 0)
    // Not provoked: only a shell window gone between the two GetShellWindow calls has no process.
    return false;
  return static_cast<bool>(ombru::Handle(OpenProcess(SYNCHRONIZE, FALSE, processId)));
}
