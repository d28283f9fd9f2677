// The frame's setting-change monitor: an environment change looks again at the directory
// identity, a storage-settings change reports the user again, anything else is only logged.
#include <vector>

#include "framework/format.h"
#include "framework/narrow_string.h"
#include "monitor/main_frame.h"
#include "monitor/setting_sections.h"
#include "runtime_link/directory_identity.h"
#include "runtime_link/report_requests.h"

namespace {

constexpr size_t kIdentityBufferSize = 256;

std::string SectionName(LPARAM lParam) {
  if (!ombru::SectionHasName(static_cast<uintptr_t>(lParam)))
    return std::string();
  return reinterpret_cast<const char*>(lParam);
}

}  // namespace

LRESULT CMainFrame::OnSettingChange(LPARAM lParam) {
  const std::string section = SectionName(lParam);
  switch (ombru::ClassifySection(section)) {
    case ombru::SettingSection::Environment:
      OnEnvironmentChange();
      break;
    case ombru::SettingSection::StorageSettings:
      OnStorageSettingsChange();
      break;
    case ombru::SettingSection::Other:
      log.LogInfo(("OMBRU::OnSettingChange::" + section).c_str());
      break;
  }
  return 0;
}

void CMainFrame::OnEnvironmentChange() {
  log.LogInfo("Detected environment change");
  const DirectoryIdentityLookup lookup;
  if (!lookup.Available())
    return;

  std::vector<char> identity(kIdentityBufferSize);
  GetDirectoryUserName(lookup, identity.data(), identity.size(), false);
  const std::string user = identity.data();
  if (ombru::CompareNoCase(user, lastDirectoryUser) == 0)
    return;

  log.LogInfo(ombru::FormatString("Detected Novell user changed from \"%s\" to \"%s\"",
                                  lastDirectoryUser.c_str(), user.c_str())
                  .c_str());
  lastDirectoryUser = user;
  uint32_t storageType = NET_LOCAL;
  if (runtimeSession)
    runtimeSession->GetStorageType(&storageType);
  if (storageType == NET_LOCAL) {
    log.LogInfo("Storage type is local, ignoring Novell user change");
  } else {
    ombru::RequestUserChangeReport();
  }
}

void CMainFrame::OnStorageSettingsChange() {
  log.LogInfo("Storage location changed");
  const DirectoryIdentityLookup lookup;
  if (lookup.Available())
    ombru::RequestUserChangeReport();
}
