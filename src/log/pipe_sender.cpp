#include "log/pipe_sender.h"

#include <windows.h>

#include "framework/format.h"
#include "framework/unique_handle.h"
#include "log/debug_output.h"

namespace ombru {
namespace {

constexpr DWORD kBusyPipeWaitMs = 1000;
// A server that accepts a connection and never reads must not hold the caller for ever: any
// process can serve these names, and a stalled collector would otherwise freeze every mode.
constexpr DWORD kWriteWaitMs = 1000;

// Whoever serves a pipe of this name may identify the user, but never act as the user.
// Overlapped, so that a write can be given up.
constexpr DWORD kClientFlags =
    SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION | FILE_FLAG_OVERLAPPED;

// What the open needs and no more: reading, writing the record and switching to message mode.
// Generic write would also ask for FILE_CREATE_PIPE_INSTANCE, and so make every collector grant
// the agent's users the right to serve its pipe's name beside it.
constexpr DWORD kClientAccess = FILE_GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES;

FileHandle OpenPipe(const std::string& pipeName) {
  return FileHandle(CreateFileA(pipeName.c_str(), kClientAccess, 0, nullptr, OPEN_EXISTING,
                                kClientFlags, nullptr));
}

// Writes the record with its closing NUL as one message. A write the server has not taken within
// kWriteWaitMs is cancelled, so the message arrives whole or not at all; the system's error
// (ERROR_OPERATION_ABORTED for a cancelled write) is left as the last error.
bool WriteMessage(HANDLE pipe, const std::string& record) {
  const Handle written(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (!written)
    // Not reached: CreateEventA does not fail.
    return false;
  OVERLAPPED overlapped = {};
  overlapped.hEvent = written.Get();
  if (WriteFile(pipe, record.c_str(), static_cast<DWORD>(record.size() + 1), nullptr,
                &overlapped)) {
    return true;
  }
  if (GetLastError() != ERROR_IO_PENDING)
    // Not provoked: only a server that closes between the mode switch and the write fails it at
    // once.
    return false;
  if (WaitForSingleObject(written.Get(), kWriteWaitMs) != WAIT_OBJECT_0)
    CancelIoEx(pipe, &overlapped);
  // The write may still have completed before the cancellation reached it; its result decides.
  DWORD count = 0;
  return GetOverlappedResult(pipe, &overlapped, &count, TRUE);
}

void ReportToDebugger(const char* format, DWORD error, const std::string& record) {
  DebugOutput().Enqueue({FormatString(format, static_cast<unsigned>(error)), record});
}

}  // namespace

void SendRecordToPipe(const std::string& pipeName, const std::string& record) {
  FileHandle pipe = OpenPipe(pipeName);
  if (!pipe) {
    if (GetLastError() != ERROR_PIPE_BUSY)
      return;
    if (!WaitNamedPipeA(pipeName.c_str(), kBusyPipeWaitMs))
      return;
    pipe = OpenPipe(pipeName);
    if (!pipe)
      // Not provoked: another client takes the freed instance first.
      return;
  }

  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr)) {
    ReportToDebugger("Error %u setting pipe handle state:", GetLastError(), record);
    return;
  }
  if (!WriteMessage(pipe.Get(), record))
    ReportToDebugger("Error %u writing message into pipe:", GetLastError(), record);
}

}  // namespace ombru
