#include "drivers/shell.h"

#include "common/record_file.h"

namespace lab {

ShellStandIn::ShellStandIn()
    : stopName(UniqueName("shell.stop")),
      toggleName(UniqueName("shell.toggle")),
      toggledName(UniqueName("shell.toggled")),
      stop(CreateEventA(nullptr, TRUE, FALSE, stopName.c_str())),
      toggle(CreateEventA(nullptr, FALSE, FALSE, toggleName.c_str())),
      toggled(CreateEventA(nullptr, FALSE, FALSE, toggledName.c_str())) {
  const std::string readyName = UniqueName("shell.ready");
  lab::Handle ready(CreateEventA(nullptr, TRUE, FALSE, readyName.c_str()));
  process.emplace(SiblingPath("shell_stand_in.exe"),
                  readyName + " " + stopName + " " + toggleName + " " + toggledName);
  HANDLE waitFor[] = {ready.Get(), process->Get()};
  running = process->Started() && WaitForMultipleObjects(2, waitFor, FALSE, 10000) == WAIT_OBJECT_0;
}

bool ShellStandIn::Toggle() {
  SetEvent(toggle.Get());
  return WaitForSingleObject(toggled.Get(), 10000) == WAIT_OBJECT_0;
}

void ShellStandIn::Stop() {
  if (!process)
    return;
  SetEvent(stop.Get());
  process->WaitForExit(10000);
  process.reset();
  running = false;
}

}  // namespace lab
