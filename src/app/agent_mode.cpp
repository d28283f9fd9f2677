#include "app/agent_mode.h"

#include <commctrl.h>

#include "framework/unique_handle.h"

namespace {

constexpr char kSingleInstanceGuardName[] = "VLM.OMBRU.Running";

int PumpUntilQuit() {
  MSG message;
  BOOL result;
  while ((result = GetMessageA(&message, nullptr, 0, 0)) != 0) {
    if (result == -1)
      continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace

int RunAgentMode(HINSTANCE) {
  // The guard is the name's existence; ownership is never tested. The handle is the last thing
  // closed, so a new agent can start only after this one has torn down.
  ombru::Handle guard(CreateMutexA(nullptr, TRUE, kSingleInstanceGuardName));
  if (guard && GetLastError() == ERROR_ALREADY_EXISTS)
    return 0;

  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  const int exitCode = PumpUntilQuit();

  CoUninitialize();
  return exitCode;
}
