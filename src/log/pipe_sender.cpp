#include "log/pipe_sender.h"

#include <windows.h>

#include "framework/format.h"
#include "framework/unique_handle.h"

namespace ombru {
namespace {

constexpr DWORD kBusyPipeWaitMs = 1000;

// Whoever serves a pipe of this name may identify the user, but never act as the user.
constexpr DWORD kClientFlags = SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

FileHandle OpenPipe(const std::string& pipeName) {
  return FileHandle(CreateFileA(pipeName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, kClientFlags, nullptr));
}

void ReportToDebugger(const char* format, DWORD error, const std::string& record) {
  OutputDebugStringA(FormatString(format, static_cast<unsigned>(error)).c_str());
  OutputDebugStringA(record.c_str());
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
      return;
  }

  DWORD mode = PIPE_READMODE_MESSAGE;
  if (!SetNamedPipeHandleState(pipe.Get(), &mode, nullptr, nullptr)) {
    ReportToDebugger("Error %u setting pipe handle state:", GetLastError(), record);
    return;
  }

  DWORD written = 0;
  if (!WriteFile(pipe.Get(), record.c_str(), static_cast<DWORD>(record.size() + 1), &written,
                 nullptr)) {
    ReportToDebugger("Error %u writing message into pipe:", GetLastError(), record);
  }
}

}  // namespace ombru
