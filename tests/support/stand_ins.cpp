#include "support/stand_ins.h"

namespace testsupport {

ShellStandIn::ShellStandIn()
    : stopName(UniqueName("shell.stop")),
      toggleName(UniqueName("shell.toggle")),
      toggledName(UniqueName("shell.toggled")),
      stop(CreateEventA(nullptr, TRUE, FALSE, stopName.c_str())),
      toggle(CreateEventA(nullptr, FALSE, FALSE, toggleName.c_str())),
      toggled(CreateEventA(nullptr, FALSE, FALSE, toggledName.c_str())) {
  const std::string readyName = UniqueName("shell.ready");
  ombru::Handle ready(CreateEventA(nullptr, TRUE, FALSE, readyName.c_str()));
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

std::string DirectoryClientFolder(DirectoryClient client) {
  switch (client) {
    case DirectoryClient::Complete:
      return SiblingPath("netwin32\\complete");
    case DirectoryClient::Incomplete:
      return SiblingPath("netwin32\\incomplete");
    case DirectoryClient::Absent:
      break;
  }
  const std::string empty = SiblingPath("netwin32\\absent");
  CreateDirectoryA(empty.c_str(), nullptr);
  return empty;
}

void ConfigureDirectoryClient(const DirectoryClientSettings& settings) {
  const char* key = "Software\\OMBRU\\NetWin32StandIn";
  RegDeleteTreeA(HKEY_CURRENT_USER, key);
  const struct {
    const char* name;
    const char* value;
  } values[] = {{"Identity", settings.identity},
                {"Authenticated", settings.authenticated ? nullptr : "0"},
                {"Fail", settings.failingCall},
                {"Record", settings.recordPath}};
  for (const auto& value : values) {
    if (!value.value)
      continue;
    RegSetKeyValueA(HKEY_CURRENT_USER, key, value.name, REG_SZ, value.value,
                    static_cast<DWORD>(strlen(value.value) + 1));
  }
}

}  // namespace testsupport
