// Child processes of a lab driver: started from the driver's own folder, never left running.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "common/clock.h"
#include "common/handle.h"

namespace lab {

// Full Windows path of the running executable, and of a file beside it.
std::string OwnPath();
std::string SiblingPath(const char* fileName);

class ChildProcess {
 public:
  // Starts `exePath` with the command line `"exePath" arguments`.
  ChildProcess(const std::string& exePath, const std::string& arguments,
               WORD showCommand = SW_SHOWNORMAL, const char* currentDirectory = nullptr);
  ~ChildProcess();  // terminates the child if it still runs

  ChildProcess(ChildProcess&&) = default;

  bool Started() const { return static_cast<bool>(process); }
  DWORD Id() const { return processId; }
  DWORD MainThreadId() const { return threadId; }
  HANDLE Get() const { return process.Get(); }
  const std::string& Path() const { return path; }

  bool WaitForExit(DWORD timeoutMs) const;
  DWORD ExitCode() const;  // STILL_ACTIVE while running
  void Terminate();
  // Lets the child run on alone: once it ends, nothing here keeps it in the system.
  void Detach() { process.Reset(); }

 private:
  std::string path;
  lab::Handle process;
  DWORD processId = 0;
  DWORD threadId = 0;
};

// The agent's hidden frame once its creation has completed (the agent waits for input).
HWND WaitForAgentFrame(const ChildProcess& agent, DWORD timeoutMs = 10000);

// Posts a thread message, retrying while the thread has no message queue yet.
bool PostToThread(DWORD threadId, UINT message, WPARAM wParam, LPARAM lParam,
                  DWORD timeoutMs = 10000);

// The first top-level window of a thread whose class name starts with `classPrefix`, waiting for
// it to appear.
HWND WaitForThreadWindow(DWORD threadId, const char* classPrefix, DWORD timeoutMs = 10000);

// The handles a process holds, read from outside (the system's handle table: GetProcessHandleCount
// answers 0 under Wine), each with the access it was granted.
struct HeldHandle {
  HANDLE value;
  ACCESS_MASK grantedAccess;
};
std::vector<HeldHandle> HandlesOf(DWORD processId);
DWORD HandleCountOf(DWORD processId);
// The threads a process has now (a Toolhelp snapshot).
size_t ThreadCountOf(DWORD processId);

// Asks `done` every 10 ms until it answers true or the time is up; returns its last answer.
template <typename Done>
bool PollUntil(Done done, DWORD timeoutMs) {
  const double deadline = NowMs() + timeoutMs;
  for (;;) {
    if (done())
      return true;
    if (NowMs() > deadline)
      return false;
    Sleep(10);
  }
}

// Calls `fetch` until what it returns holds at least `count` entries or the time is up, and
// returns the last answer.
template <typename Fetch>
auto PollForCount(Fetch fetch, size_t count, DWORD timeoutMs) -> decltype(fetch()) {
  decltype(fetch()) result;
  PollUntil(
      [&] {
        result = fetch();
        return result.size() >= count;
      },
      timeoutMs);
  return result;
}

}  // namespace lab
