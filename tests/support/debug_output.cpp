#include "support/debug_output.h"

#include <cstring>

#include "support/process.h"

namespace testsupport {

constexpr DWORD kBufferSize = 4096;

DebugOutputCapture::DebugOutputCapture()
    : mutex(CreateMutexA(nullptr, FALSE, "DBWinMutex")),
      bufferReady(CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY")),
      dataReady(CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY")),
      mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize,
                                 "DBWIN_BUFFER")) {
  InitializeCriticalSection(&lock);
  view = static_cast<const char*>(MapViewOfFile(mapping.Get(), FILE_MAP_READ, 0, 0, 0));
  listener.Reset(CreateThread(nullptr, 0, Listen, this, 0, nullptr));
}

DebugOutputCapture::~DebugOutputCapture() {
  InterlockedExchange(&stopping, 1);
  WaitForSingleObject(listener.Get(), INFINITE);
  if (view)
    UnmapViewOfFile(view);
  DeleteCriticalSection(&lock);
}

DWORD WINAPI DebugOutputCapture::Listen(void* parameter) {
  auto& self = *static_cast<DebugOutputCapture*>(parameter);
  SetEvent(self.bufferReady.Get());
  while (!self.stopping) {
    if (WaitForSingleObject(self.dataReady.Get(), 20) != WAIT_OBJECT_0)
      continue;
    DWORD processId;
    std::memcpy(&processId, self.view, sizeof(processId));
    const char* text = self.view + sizeof(processId);
    const std::string copy(text, strnlen(text, kBufferSize - sizeof(processId)));
    EnterCriticalSection(&self.lock);
    self.texts.emplace_back(processId, copy);
    LeaveCriticalSection(&self.lock);
    SetEvent(self.bufferReady.Get());
  }
  return 0;
}

std::vector<std::string> DebugOutputCapture::Texts(DWORD processId) const {
  std::vector<std::string> result;
  EnterCriticalSection(&lock);
  for (const auto& entry : texts) {
    if (entry.first == processId)
      result.push_back(entry.second);
  }
  LeaveCriticalSection(&lock);
  return result;
}

std::vector<std::string> DebugOutputCapture::WaitForTexts(DWORD processId, size_t count,
                                                          DWORD timeoutMs) const {
  return PollForCount([&] { return Texts(processId); }, count, timeoutMs);
}

}  // namespace testsupport
