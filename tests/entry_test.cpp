// The entry point of the real ombru.exe: its start record in every mode, the modes it chooses and
// the single-instance guard.
#include <windows.h>

#include <string>

#include "drivers/agent.h"
#include "harness/test.h"
#include "drivers/log_collector.h"
#include "drivers/process.h"

using lab::ChildProcess;
using lab::InfoPipe;
using lab::LogCollector;

namespace {

std::string StartRecord(const ChildProcess& agent, const std::string& commandLine) {
  return ombru::FormatString("%s|%lu|%s", commandLine.c_str(), agent.MainThreadId(),
                             agent.Path().c_str()) +
         std::string(1, '\0');
}

std::string OmbruPath() { return lab::SiblingPath("ombru.exe"); }

// Agents also report what they see of the session; start records are told apart by content.
size_t CountRecord(const LogCollector& collector, const std::string& record) {
  size_t count = 0;
  for (const std::string& message : collector.Messages(InfoPipe()))
    count += message == record;
  return count;
}

}  // namespace

START_TEST(one_shot_modes_send_start_record_and_exit_0) {
  static const char* const commandLines[] = {"/watchdog2:4711", "/WATCHDOG:abc",
                                             "/WATCHDOG:0 trailing", "/opkey:", "/OPKEY:12 | %s"};
  for (const char* commandLine : commandLines) {
    LogCollector collector;
    ChildProcess run(OmbruPath(), commandLine);
    ok(run.WaitForExit(20000), "[%s] did not end by itself\n", commandLine);
    ok(run.ExitCode() == 0, "[%s] exit code %lu\n", commandLine, run.ExitCode());
    const auto records = collector.WaitForMessages(InfoPipe(), 1);
    ok(!records.empty() && records[0] == StartRecord(run, commandLine), "[%s] start record [%s]\n",
       commandLine, records.empty() ? "" : records[0].c_str());
  }
}

START_TEST(second_agent_in_session_exits_at_once) {
  LogCollector collector;
  ChildProcess first(OmbruPath(), "");
  collector.WaitForMessages(InfoPipe(), 1);
  ok(!first.WaitForExit(300), "first agent should keep running\n");
  const size_t firstAgentRecords = collector.Messages(InfoPipe()).size();

  ChildProcess second(OmbruPath(), "-second");
  ok(second.WaitForExit(10000) && second.ExitCode() == 0, "second agent exit code %lu\n",
     second.ExitCode());
  Sleep(300);
  ok(CountRecord(collector, StartRecord(second, "-second")) == 1,
     "second agent sends its start record\n");
  ok(collector.Messages(InfoPipe()).size() == firstAgentRecords + 1,
     "second agent sends nothing else: %zu records after %zu\n",
     collector.Messages(InfoPipe()).size(), firstAgentRecords);

  // Modes other than the agent run beside it, unguarded.
  ChildProcess watchdog(OmbruPath(), "/WATCHDOG:abc");
  ok(watchdog.WaitForExit(10000) && watchdog.ExitCode() == 0, "watchdog beside agent\n");

  lab::PostToThread(first.MainThreadId(), WM_QUIT, 0, 0);
  ok(first.WaitForExit(10000), "first agent did not end\n");

  // The guard is gone with the first agent.
  lab::WaitForNoAgent();
  ChildProcess third(OmbruPath(), "");
  ok(!third.WaitForExit(500), "a new agent can start once the first has ended\n");
  lab::PostToThread(third.MainThreadId(), WM_QUIT, 0, 0);
  ok(third.WaitForExit(10000), "third agent did not end\n");
  ok(CountRecord(collector, StartRecord(third, "")) == 1, "third agent's start record\n");
}
