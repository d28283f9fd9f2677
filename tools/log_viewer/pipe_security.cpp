#include "log_viewer/pipe_security.h"

#include <sddl.h>

#include <vector>

#include "framework/format.h"
#include "framework/unique_handle.h"

namespace viewer {

std::string PipeSecurity(const std::string& accountSid) {
  return ombru::FormatString("D:P(A;;0x%lx;;;IU)(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x%lx;;;%s)",
                             static_cast<unsigned long>(kClientRights),
                             static_cast<unsigned long>(kServerRights), accountSid.c_str());
}

std::string OwnAccountSid(DWORD& error) {
  ombru::Handle token;
  DWORD size = 0;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.Put()) ||
      (!GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size) &&
       GetLastError() != ERROR_INSUFFICIENT_BUFFER)) {
    error = GetLastError();
    return std::string();
  }
  std::vector<BYTE> user(size);
  char* text = nullptr;
  if (!GetTokenInformation(token.Get(), TokenUser, user.data(), size, &size) ||
      !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) {
    error = GetLastError();
    return std::string();
  }
  const std::string sid = text;
  LocalFree(text);
  return sid;
}

}  // namespace viewer
