#include "drivers/directory_client.h"

#include <windows.h>

#include <cstring>

#include "common/format.h"
#include "common/handle.h"
#include "common/record_file.h"
#include "drivers/process.h"

namespace lab {

std::string DirectoryClientFolder(DirectoryClient client) {
  switch (client) {
    case DirectoryClient::Complete:
      return SiblingPath("netwin32\\complete");
    case DirectoryClient::Incomplete:
      return SiblingPath("netwin32\\incomplete");
    case DirectoryClient::WithoutFreeContext:
      return SiblingPath("netwin32\\without_free_context");
    case DirectoryClient::Absent:
      break;
  }
  const std::string empty = SiblingPath("netwin32\\absent");
  CreateDirectoryA(empty.c_str(), nullptr);
  return empty;
}

void UseDirectoryClient(DirectoryClient client) {
  static const std::string original = [] {
    char path[32767] = {};
    GetEnvironmentVariableA("PATH", path, sizeof(path));
    return std::string(path);
  }();
  const std::string path =
      client == DirectoryClient::Absent ? original : DirectoryClientFolder(client) + ";" + original;
  SetEnvironmentVariableA("PATH", path.c_str());
}

namespace {

// The event a held NWDSWhoAmI waits for: this process's, for as long as it runs.
const char* ReleaseName() {
  static const std::string name = Format("OMBRU.NetWin32Release.%lu", GetCurrentProcessId());
  static const Handle release(CreateEventA(nullptr, TRUE, FALSE, name.c_str()));
  return name.c_str();
}

}  // namespace

void ReleaseWhoAmI() {
  const Handle release(OpenEventA(EVENT_MODIFY_STATE, FALSE, ReleaseName()));
  SetEvent(release.Get());
}

void ConfigureDirectoryClient(const DirectoryClientSettings& settings) {
  const char* key = "Software\\OMBRU\\NetWin32StandIn";
  RegDeleteTreeA(HKEY_CURRENT_USER, key);
  std::string hold;
  if (settings.holdWhoAmI) {
    const Handle release(OpenEventA(EVENT_MODIFY_STATE, FALSE, ReleaseName()));
    ResetEvent(release.Get());
    hold = Format("%u,%s", settings.holdWhoAmI, ReleaseName());
  }
  const struct {
    const char* name;
    const char* value;
  } values[] = {{"Identity", settings.identity},
                {"Authenticated", settings.authenticated ? nullptr : "0"},
                {"Fail", settings.failingCall},
                {"Record", settings.recordPath},
                {"HoldWhoAmI", hold.empty() ? nullptr : hold.c_str()}};
  for (const auto& value : values) {
    if (!value.value)
      continue;
    RegSetKeyValueA(HKEY_CURRENT_USER, key, value.name, REG_SZ, value.value,
                    static_cast<DWORD>(strlen(value.value) + 1));
  }
}

std::vector<std::vector<std::string>> DirectoryClientCalls(const std::string& recordPath,
                                                           const char* entryPoint) {
  std::vector<std::vector<std::string>> calls;
  for (const std::string& line : CompleteLines(recordPath)) {
    std::vector<std::string> fields = Fields(line);
    if (fields[0] == entryPoint)
      calls.emplace_back(fields.begin() + 1, fields.end());
  }
  return calls;
}

}  // namespace lab
