// Captures the system's debug output (OutputDebugStringA) the way a debug monitor does: the
// "DBWinMutex", "DBWIN_BUFFER_READY" / "DBWIN_DATA_READY" events and the 4096-byte
// "DBWIN_BUFFER" mapping that holds the writer's process id, then its text.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/handle.h"

namespace lab {

class DebugOutputCapture {
 public:
  DebugOutputCapture();
  ~DebugOutputCapture();
  DebugOutputCapture(const DebugOutputCapture&) = delete;
  DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

  struct Output {
    DWORD processId;
    double timeMs;  // when the capture took it
    std::string text;
  };

  // Every output of one process so far, one entry per OutputDebugStringA call.
  std::vector<std::string> Texts(DWORD processId) const;
  std::vector<Output> Outputs(DWORD processId) const;

  // Waits until the process wrote at least `count` outputs, then returns them all.
  std::vector<std::string> WaitForTexts(DWORD processId, size_t count,
                                        DWORD timeoutMs = 10000) const;

 private:
  static DWORD WINAPI Listen(void* self);

  lab::Handle mutex;
  lab::Handle bufferReady;
  lab::Handle dataReady;
  lab::Handle mapping;
  const char* view = nullptr;
  mutable CRITICAL_SECTION lock;
  std::vector<Output> outputs;
  volatile LONG stopping = 0;
  lab::Handle listener;
};

// A debug monitor that never takes a line: it has the monitor's objects, and either holds
// "DBWinMutex" for as long as it lives, so that every writer waits for the mutex, or never says
// that its buffer is ready, so that every writer waits the 10 s a writer gives a monitor.
class StalledDebugMonitor {
 public:
  enum class Stall { HoldsMutex, NeverReady };

  explicit StalledDebugMonitor(Stall stall);
  ~StalledDebugMonitor();  // lets the mutex go
  StalledDebugMonitor(const StalledDebugMonitor&) = delete;
  StalledDebugMonitor& operator=(const StalledDebugMonitor&) = delete;

 private:
  static DWORD WINAPI Hold(void* self);

  lab::Handle mutex;
  lab::Handle bufferReady;
  lab::Handle dataReady;
  lab::Handle mapping;
  lab::Handle held;     // set once the mutex is held
  lab::Handle release;  // set to let it go
  lab::Handle holder;   // the thread that holds it: a mutex belongs to a thread
};

}  // namespace lab
