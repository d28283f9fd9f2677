// The real watchdog modes: a watched process ends, a stand-in service is started again, and the
// outcome is written to the debug output.
#include <windows.h>

#include <string>
#include <vector>

#include "harness/test.h"
#include "drivers/debug_output.h"
#include "drivers/log_collector.h"
#include "drivers/process.h"
#include "drivers/services.h"

using namespace lab;

namespace {

struct Outcome {
  DWORD exitCode;
  std::vector<std::string> debugOutput;
};

// Watches a process that lives `lifetimeMs`, and returns what the watchdog did.
Outcome Watch(const char* option, DWORD lifetimeMs, size_t expectedOutputs) {
  DebugOutputCapture debug;
  ChildProcess watched(SiblingPath("waiter.exe"), std::to_string(lifetimeMs));
  ChildProcess watchdog(SiblingPath("ombru.exe"), option + std::to_string(watched.Id()));
  ok(!watchdog.WaitForExit(lifetimeMs / 2), "%s: the watchdog waits for the process\n", option);
  ok(watchdog.WaitForExit(20000), "%s: the watchdog did not end\n", option);
  Outcome outcome = {watchdog.ExitCode(), debug.WaitForTexts(watchdog.Id(), expectedOutputs, 3000)};
  Sleep(200);
  outcome.debugOutput = debug.Texts(watchdog.Id());
  return outcome;
}

}  // namespace

START_TEST(restart_outcomes) {
  static const struct {
    const char* option;
    const char* service;
    const char* behaviour;
    bool runningBefore;
    bool deleted;
    const char* output;
    size_t starts;
  } cases[] = {
      {"/WATCHDOG:", "ombr", "stay", false, false, "[Restarted service]", 1},
      {"/watchdog2:", "VLMSpindleSrv", "stay", false, false, "[Restarted service]", 1},
      {"/WATCHDOG:", "ombr", "refuse-first", false, false,
       "[Error 1st restarting service][Restarted service]", 1},
      {"/WATCHDOG2:", "VLMSpindleSrv", "stay", true, false,
       "[Error 1st restarting service][Error restarting service]", 1},
      {"/WATCHDOG:", "ombr", "stay", false, true, "[Failed to open service]", 0},
  };
  for (const auto& c : cases) {
    ServiceStandIns services(c.behaviour);
    if (c.runningBefore)
      ok(services.Start(c.service), "%s: could not start first\n", c.service);
    if (c.deleted)
      services.Delete(c.service);
    const size_t outputs = std::string(c.output).find("][") == std::string::npos ? 1 : 2;
    const Outcome outcome = Watch(c.option, 400, outputs);
    ok(outcome.exitCode == 0, "%s %s: exit code %lu\n", c.option, c.behaviour, outcome.exitCode);
    ok(Bracketed(outcome.debugOutput) == c.output, "%s %s: %s\n", c.option, c.behaviour,
       Bracketed(outcome.debugOutput).c_str());
    const std::vector<ServiceStart> starts = services.Starts();
    ok(starts.size() == c.starts, "%s %s: %zu starts\n", c.option, c.behaviour, starts.size());
    for (const ServiceStart& started : starts)
      ok(started.name == c.service, "%s: started [%s]\n", c.option, started.name.c_str());
  }
}

START_TEST(no_such_process) {
  ServiceStandIns services("stay");
  DebugOutputCapture debug;
  for (const char* commandLine : {"/WATCHDOG:2147483647", "/WATCHDOG2:-8", "/WATCHDOG:0"}) {
    ChildProcess watchdog(SiblingPath("ombru.exe"), commandLine);
    ok(watchdog.WaitForExit(10000) && watchdog.ExitCode() == 0, "%s: exit code %lu\n", commandLine,
       watchdog.ExitCode());
    Sleep(100);
    ok(debug.Texts(watchdog.Id()).empty(), "%s: no message\n", commandLine);
  }
  ok(services.Starts().empty(), "no service started\n");
}

START_TEST(stalled_monitor_holds_up_no_watchdog) {
  // Both services already run, so that both start requests fail and the retry comes between
  // them: two lines for a monitor that takes none.
  ServiceStandIns services("stay");
  for (const char* service : {"ombr", "VLMSpindleSrv"})
    ok(services.Start(service), "%s: could not start first\n", service);
  for (const auto stall :
       {StalledDebugMonitor::Stall::HoldsMutex, StalledDebugMonitor::Stall::NeverReady}) {
    const StalledDebugMonitor monitor(stall);
    for (const char* option : {"/WATCHDOG:", "/WATCHDOG2:"}) {
      ChildProcess watched(SiblingPath("waiter.exe"), "400");
      ChildProcess watchdog(SiblingPath("ombru.exe"), option + std::to_string(watched.Id()));
      watched.WaitForExit(10000);
      const double ended = NowMs();
      const bool done = watchdog.WaitForExit(25000);
      const double ms = NowMs() - ended;
      ok(done && watchdog.ExitCode() == 0 && ms < 3000,
         "stall %d, %s: exit code %lu, %.0f ms after its process\n", static_cast<int>(stall),
         option, watchdog.ExitCode(), ms);
    }
  }
}
