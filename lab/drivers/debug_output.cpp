#include "drivers/debug_output.h"

#include <cstring>

#include "common/little_endian.h"
#include "drivers/process.h"

namespace lab {

constexpr DWORD kBufferSize = 4096;

namespace {

// The objects every monitor has; a writer waits on the mutex only when all four exist.
HANDLE MonitorMutex() { return CreateMutexA(nullptr, FALSE, "DBWinMutex"); }
HANDLE BufferReadyEvent() { return CreateEventA(nullptr, FALSE, FALSE, "DBWIN_BUFFER_READY"); }
HANDLE DataReadyEvent() { return CreateEventA(nullptr, FALSE, FALSE, "DBWIN_DATA_READY"); }
HANDLE BufferMapping() {
  return CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize,
                            "DBWIN_BUFFER");
}

}  // namespace

DebugOutputCapture::DebugOutputCapture()
    : mutex(MonitorMutex()),
      bufferReady(BufferReadyEvent()),
      dataReady(DataReadyEvent()),
      mapping(BufferMapping()) {
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
    const DWORD processId = ReadUInt32(reinterpret_cast<const uint8_t*>(self.view));
    const char* text = self.view + sizeof(processId);
    Output output{processId, NowMs(), std::string(text, strnlen(text, kBufferSize - 4))};
    EnterCriticalSection(&self.lock);
    self.outputs.push_back(std::move(output));
    LeaveCriticalSection(&self.lock);
    SetEvent(self.bufferReady.Get());
  }
  return 0;
}

std::vector<DebugOutputCapture::Output> DebugOutputCapture::Outputs(DWORD processId) const {
  std::vector<Output> result;
  EnterCriticalSection(&lock);
  for (const Output& output : outputs) {
    if (output.processId == processId)
      result.push_back(output);
  }
  LeaveCriticalSection(&lock);
  return result;
}

std::vector<std::string> DebugOutputCapture::Texts(DWORD processId) const {
  std::vector<std::string> texts;
  for (const Output& output : Outputs(processId))
    texts.push_back(output.text);
  return texts;
}

std::vector<std::string> DebugOutputCapture::WaitForTexts(DWORD processId, size_t count,
                                                          DWORD timeoutMs) const {
  return PollForCount([&] { return Texts(processId); }, count, timeoutMs);
}

StalledDebugMonitor::StalledDebugMonitor(Stall stall)
    : mutex(MonitorMutex()),
      bufferReady(BufferReadyEvent()),
      dataReady(DataReadyEvent()),
      mapping(BufferMapping()),
      held(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      release(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
  if (stall == Stall::HoldsMutex) {
    holder.Reset(CreateThread(nullptr, 0, Hold, this, 0, nullptr));
    WaitForSingleObject(held.Get(), 5000);
  }
}

StalledDebugMonitor::~StalledDebugMonitor() {
  SetEvent(release.Get());
  if (holder)
    WaitForSingleObject(holder.Get(), INFINITE);
}

DWORD WINAPI StalledDebugMonitor::Hold(void* parameter) {
  auto& self = *static_cast<StalledDebugMonitor*>(parameter);
  WaitForSingleObject(self.mutex.Get(), INFINITE);
  SetEvent(self.held.Get());
  WaitForSingleObject(self.release.Get(), INFINITE);
  ReleaseMutex(self.mutex.Get());
  return 0;
}

}  // namespace lab
