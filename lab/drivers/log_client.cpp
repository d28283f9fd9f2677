#include "drivers/log_client.h"

#include "common/handle.h"

namespace lab {
namespace {

constexpr DWORD kBusyWaitMs = 1000;
constexpr DWORD kWriteWaitMs = 1000;

HANDLE Open(const char* pipeName) {
  return CreateFileA(pipeName, FILE_GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES, 0,
                     nullptr, OPEN_EXISTING,
                     SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION | FILE_FLAG_OVERLAPPED,
                     nullptr);
}

// The record and its closing NUL as one message, cancelled when the server does not take it.
bool Write(HANDLE pipe, const std::string& record) {
  const Handle written(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  OVERLAPPED overlapped = {};
  overlapped.hEvent = written.Get();
  if (WriteFile(pipe, record.c_str(), static_cast<DWORD>(record.size() + 1), nullptr,
                &overlapped)) {
    return true;
  }
  if (GetLastError() != ERROR_IO_PENDING)
    return false;
  if (WaitForSingleObject(written.Get(), kWriteWaitMs) != WAIT_OBJECT_0)
    CancelIoEx(pipe, &overlapped);
  DWORD count = 0;
  return GetOverlappedResult(pipe, &overlapped, &count, TRUE);
}

}  // namespace

LogClientResult SendAsAgent(const char* pipeName, const std::string& record) {
  LogClientResult result;
  Handle pipe(Open(pipeName));
  if (!pipe) {
    result.error = GetLastError();
    if (result.error != ERROR_PIPE_BUSY)
      return result;
    result.foundBusy = true;
    if (!WaitNamedPipeA(pipeName, kBusyWaitMs)) {
      result.error = GetLastError();
      return result;
    }
    pipe.Reset(Open(pipeName));
    if (!pipe) {
      result.error = GetLastError();
      return result;
    }
  }
  DWORD mode = PIPE_READMODE_MESSAGE;
  result.written =
      SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr) && Write(pipe.Get(), record);
  result.error = result.written ? 0 : GetLastError();
  return result;
}

}  // namespace lab
