#include "log/event_report.h"

#include <memory>
#include <new>

#include "framework/unique_handle.h"

namespace ombru {
namespace {

// The token's user information, or null when any step of reading it fails.
std::unique_ptr<BYTE[]> ReadTokenUser(HANDLE token) {
  DWORD size = 0;
  if (!GetTokenInformation(token, TokenUser, nullptr, 0, &size) &&
      GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
    // Not reached: the current user's token is always readable.
    return nullptr;
  }
  std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[size]);
  if (!buffer || !GetTokenInformation(token, TokenUser, buffer.get(), size, &size))
    // Not reached: the current user's token is always readable.
    return nullptr;
  if (!IsValidSid(reinterpret_cast<TOKEN_USER*>(buffer.get())->User.Sid))
    // Not reached: the current user's token always holds a valid SID.
    return nullptr;
  return buffer;
}

}  // namespace

const EventLogApi& SystemEventLogApi() {
  static const EventLogApi api = {&::OpenProcessToken, &::ReportEventA};
  return api;
}

void ReportEventAsCurrentUser(const EventLogApi& api, HANDLE eventSource, WORD eventType,
                              WORD category, DWORD eventId, WORD stringCount, LPCSTR* strings,
                              DWORD dataSize, LPVOID data) {
  Handle token;
  std::unique_ptr<BYTE[]> tokenUser;
  if (api.openProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put())) {
    tokenUser = ReadTokenUser(token.Get());
  }
  PSID user = tokenUser ? reinterpret_cast<TOKEN_USER*>(tokenUser.get())->User.Sid : nullptr;
  api.reportEvent(eventSource, eventType, category, eventId, user, stringCount, dataSize, strings,
                  data);
}

}  // namespace ombru
