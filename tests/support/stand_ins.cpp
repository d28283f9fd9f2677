#include "support/stand_ins.h"

namespace testsupport {

ShellStandIn::ShellStandIn()
    : stopName(UniqueName("shell.stop")),
      stop(CreateEventA(nullptr, TRUE, FALSE, stopName.c_str())) {
  const std::string readyName = UniqueName("shell.ready");
  ombru::Handle ready(CreateEventA(nullptr, TRUE, FALSE, readyName.c_str()));
  process.emplace(SiblingPath("shell_stand_in.exe"), readyName + " " + stopName);
  HANDLE waitFor[] = {ready.Get(), process->Get()};
  running = process->Started() && WaitForMultipleObjects(2, waitFor, FALSE, 10000) == WAIT_OBJECT_0;
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
  SetEnvironmentVariableA("OMBRU_NETWIN32_IDENTITY", settings.identity);
  SetEnvironmentVariableA("OMBRU_NETWIN32_AUTHENTICATED", settings.authenticated ? nullptr : "0");
  SetEnvironmentVariableA("OMBRU_NETWIN32_FAIL", settings.failingCall);
  SetEnvironmentVariableA("OMBRU_NETWIN32_RECORD", settings.recordPath);
}

}  // namespace testsupport
