#include "app/watchdog.h"

#include "log/debug_output.h"

namespace {

constexpr DWORD kRetryDelayMs = 100;

// One call, and one more after the retry delay if the first failed.
template <typename Open>
ombru::ServiceHandle OpenWithOneRetry(Open open) {
  ombru::ServiceHandle handle(open());
  if (!handle) {
    Sleep(kRetryDelayMs);
    handle.Reset(open());
  }
  return handle;
}

}  // namespace

ombru::Handle OpenWatchedProcess(DWORD processId) {
  return ombru::Handle(OpenProcess(SYNCHRONIZE, FALSE, processId));
}

void RestartServiceAfterProcess(const ombru::Handle& process, const char* serviceName) {
  if (!process)
    return;
  if (WaitForSingleObject(process.Get(), INFINITE) != WAIT_OBJECT_0)
    // A wait on a process handle this process holds does not fail.
    return;

  const ombru::ServiceHandle manager =
      OpenWithOneRetry([] { return OpenSCManagerA(nullptr, nullptr, GENERIC_READ); });
  if (!manager) {
    // Not reached under Wine, which lets every user open the service control manager.
    ombru::DebugOutput().Enqueue({"Failed to open SCM"});
    return;
  }
  const ombru::ServiceHandle service = OpenWithOneRetry([&] {
    return OpenServiceA(manager.Get(), serviceName, SERVICE_START | SERVICE_QUERY_STATUS);
  });
  if (!service) {
    ombru::DebugOutput().Enqueue({"Failed to open service"});
    return;
  }

  if (StartServiceA(service.Get(), 0, nullptr)) {
    ombru::DebugOutput().Enqueue({"Restarted service"});
    return;
  }
  ombru::DebugOutput().Enqueue({"Error 1st restarting service"});
  Sleep(kRetryDelayMs);
  ombru::DebugOutput().Enqueue({StartServiceA(service.Get(), 0, nullptr)
                                    ? "Restarted service"
                                    : "Error restarting service"});
}
