#include "runtime_link/report_requests.h"

#include <windows.h>

#include "framework/exclusive_lock.h"
#include "runtime_link/session_notifications.h"

namespace ombru {
namespace {

// The reports of one kind: at most one running, on a pool thread of its own, and one waiting.
class MergedReports {
 public:
  constexpr explicit MergedReports(LPTHREAD_START_ROUTINE report) : report(report) {}

  void Request() {
    const ExclusiveLock hold(lock);
    if (waiting)
      return;  // that report has not looked at the facts yet: it will see this change too
    waiting = true;
    if (running)
      return;
    running = QueueUserWorkItem(Run, this, WT_EXECUTEDEFAULT) != FALSE;
    // Not provoked: a pool that takes no item. Nothing is left waiting for a thread that never
    // comes, so the next change asks again.
    waiting = running;
  }

 private:
  // One pool thread runs the reports of its kind one after another, as long as one waits.
  static DWORD WINAPI Run(void* parameter) {
    MergedReports& reports = *static_cast<MergedReports*>(parameter);
    while (reports.TakeWaiting())
      reports.report(nullptr);
    return 0;
  }

  bool TakeWaiting() {
    const ExclusiveLock hold(lock);
    running = waiting;
    waiting = false;
    return running;
  }

  const LPTHREAD_START_ROUTINE report;
  SRWLOCK lock = SRWLOCK_INIT;
  bool waiting = false;
  bool running = false;
};

// Constant-initialised, with nothing to destroy: a report still running at the process's end finds
// them intact.
MergedReports shellStateReports(NotifyShellStateChange);
MergedReports userChangeReports(NotifyUserChange);

}  // namespace

void RequestShellStateReport() { shellStateReports.Request(); }

void RequestUserChangeReport() { userChangeReports.Request(); }

}  // namespace ombru
