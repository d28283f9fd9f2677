#include "app/agent_mode.h"

#include <commctrl.h>

#include "app/run_loop.h"
#include "framework/unique_handle.h"
#include "framework/wtl_app_module.h"

namespace {

constexpr char kSingleInstanceGuardName[] = "VLM.OMBRU.Running";

}  // namespace

int RunAgentMode(HINSTANCE instance) {
  // The guard is the name's existence; ownership is never tested. The handle is the last thing
  // closed, so a new agent can start only after this one has torn down.
  ombru::Handle guard(CreateMutexA(nullptr, TRUE, kSingleInstanceGuardName));
  if (guard && GetLastError() == ERROR_ALREADY_EXISTS)
    return 0;

  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);

  WTL::AppModule().Init(instance);
  const int exitCode = RunMessageLoop(SW_HIDE);
  WTL::AppModule().Term();

  CoUninitialize();
  return exitCode;
}
