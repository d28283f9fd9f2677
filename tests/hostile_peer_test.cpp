// The real ombru.exe beside peers that stall or meddle: a log server that accepts and never
// reads beside a debug monitor that holds its mutex, a collector held busy while a watched process
// ends, and another process writing the frame's window memory.
#include <windows.h>

#include <string>

#include "drivers/agent.h"
#include "drivers/debug_output.h"
#include "drivers/log_collector.h"
#include "drivers/message_box.h"
#include "drivers/process.h"
#include "drivers/runtime_record.h"
#include "drivers/services.h"
#include "drivers/shell.h"
#include "harness/test.h"

using namespace lab;

namespace {

std::string OmbruPath() { return SiblingPath("ombru.exe"); }

bool WaitForInfoText(const LogCollector& collector, const std::string& text) {
  return PollUntil(
      [&] {
        for (const std::string& seen : collector.WaitForInfoTexts(0)) {
          if (seen == text)
            return true;
        }
        return false;
      },
      10000);
}

}  // namespace

START_TEST(stalled_log_server_holds_no_mode) {
  LogCollector stalled("stall");
  ok(stalled.Running(), "stalling server did not start\n");
  // Every record the server does not take goes to the debug output, whose monitor holds its mutex.
  const StalledDebugMonitor monitor(StalledDebugMonitor::Stall::HoldsMutex);

  {
    ServiceStandIns services("stay");
    ChildProcess watched(SiblingPath("waiter.exe"), "300");
    ChildProcess watchdog(OmbruPath(), "/WATCHDOG:" + std::to_string(watched.Id()));
    ok(watchdog.WaitForExit(15000) && watchdog.ExitCode() == 0, "watchdog: exit code %lu\n",
       watchdog.ExitCode());
    const auto starts = services.Starts();
    ok(starts.size() == 1 && starts[0].name == "ombr", "watchdog: %zu service starts\n",
       starts.size());
  }
  {
    RuntimeStandIn runtime;
    runtime.SetOperation("11,7,1,1,Backup at noon");
    ChildProcess run(OmbruPath(), "/OPKEY:3");
    const MessageBoxSeen box = AcknowledgeMessageBox(run.MainThreadId(), 15000);
    ok(box.found && box.text == "Backup at noon", "pending operation: box [%s]\n",
       box.text.c_str());
    ok(run.WaitForExit(15000) && run.ExitCode() == 0, "pending operation: exit code %lu\n",
       run.ExitCode());
    ok(runtime.Calls("CompleteOperation").size() == 1, "pending operation: not completed\n");
  }
  {
    WaitForNoAgent();
    ChildProcess agent(OmbruPath(), "");
    ok(WaitForAgentFrame(agent, 15000) != nullptr, "agent: no frame\n");
    PostToThread(agent.MainThreadId(), WM_QUIT, 5, 0);
    ok(agent.WaitForExit(15000) && agent.ExitCode() == 5, "agent: exit code %lu\n",
       agent.ExitCode());
  }
}

START_TEST(watchdog_holds_process_while_start_record_waits) {
  // How long a start of ombru.exe takes here until it has ended, with no collector to wait for.
  const double probeStart = NowMs();
  ChildProcess probe(OmbruPath(), "/WATCHDOG:0");
  probe.WaitForExit(10000);
  const DWORD startMs = static_cast<DWORD>(NowMs() - probeStart);

  LogCollector busy("busy");
  ServiceStandIns services("stay");
  ChildProcess watched(SiblingPath("waiter.exe"), "60000");
  ChildProcess watchdog(OmbruPath(), "/WATCHDOG2:" + std::to_string(watched.Id()));
  // The start record then waits 1000 ms for the busy pipe; the process is gone before that, and
  // with no handle left here, gone from the system too.
  Sleep(startMs + 300);
  watched.Terminate();
  watched.Detach();
  ok(watchdog.WaitForExit(15000) && watchdog.ExitCode() == 0, "exit code %lu\n",
     watchdog.ExitCode());
  const auto starts = services.Starts();
  ok(starts.size() == 1 && starts[0].name == "VLMSpindleSrv",
     "%zu service starts (the process ended %lu ms after the watchdog's start)\n", starts.size(),
     startMs + 300);
}

START_TEST(frame_ignores_window_memory_written_by_others) {
  for (const LONG_PTR written : {LONG_PTR{0}, static_cast<LONG_PTR>(0x4141414141414141)}) {
    LogCollector collector;
    Agent agent;
    ok(agent.Frame() != nullptr, "no frame\n");
    SetLastError(0);
    SetWindowLongPtrA(agent.Frame(), GWLP_USERDATA, written);
    ok(GetLastError() == 0 && GetWindowLongPtrA(agent.Frame(), GWLP_USERDATA) == written,
       "%#llx: could not write the frame's user data\n", static_cast<long long>(written));
    // The agent starts without a shell, so its timer first logs the shell's absence.
    ok(WaitForInfoText(collector, "Detected shell termination"), "%#llx: no shell watch: %s\n",
       static_cast<long long>(written), Bracketed(collector.WaitForInfoTexts(0)).c_str());
    ShellStandIn shell;
    ok(WaitForInfoText(collector, "Detected shell start"), "%#llx: shell start not logged: %s\n",
       static_cast<long long>(written), Bracketed(collector.WaitForInfoTexts(0)).c_str());
    ok(agent.Exit() == 0, "%#llx: exit code %lu\n", static_cast<long long>(written),
       agent.Process().ExitCode());
    ok(PollUntil([] { return !AgentGuardHeld(); }, 5000), "%#llx: guard still held\n",
       static_cast<long long>(written));
  }
}
