// Carries out the runtime's pending operation stored under this computer's name and a key.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/com_ptr.h"
#include "log/ivllog.h"
#include "runtime_link/runtime_interfaces.h"

class CPendingOpExec {
 public:
  // Connects to the runtime and learns the computer name; logs through the given log.
  CPendingOpExec(uint32_t operationKey, IVLLog& log);
  ~CPendingOpExec();
  CPendingOpExec(const CPendingOpExec&) = delete;
  CPendingOpExec& operator=(const CPendingOpExec&) = delete;

  // S_OK when carried out, E_FAIL when no valid record could be had, E_INVALIDARG when the
  // operation was rejected.
  HRESULT Execute();

 private:
  uint32_t operationKey;
  ombru::ComPtr<IRuntimeSession> session;
  // Lives as long as the session; the runtime's convention asks for no release of its own.
  IPendingOperations* pendingOperations = nullptr;
  std::string computerName;
};
