#include "runtime_link/session_notifications.h"

#define SECURITY_WIN32
#include <secext.h>

#include <cstdint>
#include <optional>
#include <string>

#include "framework/com_apartment.h"
#include "framework/format.h"
#include "framework/unique_handle.h"
#include "log/win_log_impl.h"
#include "runtime_link/shell_state.h"
#include "runtime_link/account_name.h"
#include "runtime_link/directory_identity.h"
#include "runtime_link/invoke_data.h"
#include "runtime_link/runtime_session.h"
#include "runtime_link/send_to_runtime.h"

namespace {

constexpr size_t kNameSize = 256;

uint32_t QueryStorageType() {
  uint32_t storageType = NET_LOCAL;
  if (ombru::ComPtr<IRuntimeSession> session = ombru::CreateRuntimeSession()) {
    session->GetStorageType(&storageType);
  }
  return storageType;
}

ombru::AccountName WindowsAccountName() {
  char name[kNameSize] = {};
  ULONG size = kNameSize;
  GetUserNameExA(NameSamCompatible, name, &size);
  return ombru::SplitAccountName(name);
}

ombru::AccountName DirectoryAccountName(const DirectoryIdentityLookup& lookup) {
  char name[kNameSize];
  GetDirectoryUserName(lookup, name, kNameSize, false);
  return {"NDS", name};
}

}  // namespace

DWORD WINAPI NotifyShellStateChange(void*) {
  const bool running = IsShellRunning();
  CWinLogImpl log;
  log.LogInfo("Notifying OMBR of shell state change");
  const ombru::CInvokeData message(
      running ? ombru::METHOD_SHELL_STARTED : ombru::METHOD_SHELL_STOPPED,
      ombru::RUNTIME_SESSION_OBJECT);
  ombru::SendToRuntime(message);
  return 0;
}

DWORD WINAPI NotifyUserChange(void*) {
  ombru::CInvokeData message(ombru::METHOD_USER_CHANGED, ombru::RUNTIME_SESSION_OBJECT);
  // Balanced before the work item returns: a pool thread is not ours to leave initialised.
  ombru::ComApartment apartment;
  const uint32_t storageType = QueryStorageType();

  const DirectoryIdentityLookup lookup;
  const ombru::AccountName account = lookup.Available() && storageType != NET_LOCAL
                                         ? DirectoryAccountName(lookup)
                                         : WindowsAccountName();

  const ombru::Handle process(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, GetCurrentProcessId()));
  if (!process)
    // Not reached: the agent may always open its own process.
    return 0;
  std::optional<CWinLogImpl> log;
  ombru::Handle token;
  if (!OpenProcessToken(process.Get(), TOKEN_ALL_ACCESS, token.Put()))
    // Not reached: the agent may always open its own token.
    return 0;

  log.emplace();
  log->LogInfo(ombru::FormatString("Notifying OMBR of user change (%s\\%s)", account.domain.c_str(),
                                   account.user.c_str())
                   .c_str());
  message.AddString(account.user.c_str());
  message.AddString(account.domain.c_str());
  // The runtime gets the handle's value together with the process that owns it; the handle
  // stays open until the send has returned.
  message.AddUInt32(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(token.Get())));
  message.AddUInt32(GetCurrentProcessId());
  ombru::SendToRuntime(message);
  return 0;
}
