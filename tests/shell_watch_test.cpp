// The real agent watching the desktop shell: what it logs and what reaches the runtime.
#include <windows.h>

#include <string>
#include <vector>

#include "harness/test.h"
#include "drivers/agent.h"
#include "common/invoke_message.h"
#include "drivers/log_collector.h"
#include "drivers/process.h"
#include "drivers/runtime_record.h"
#include "drivers/shell.h"

using lab::Bracketed;
using lab::InfoPipe;
using lab::LogCollector;
using lab::RuntimeStandIn;

namespace {

std::vector<std::string> InvokedMessages(const RuntimeStandIn& runtime, size_t atLeast) {
  std::vector<std::string> hex;
  for (const auto& call : runtime.WaitForCalls("Invoke", atLeast))
    hex.push_back(call.arguments.at(1));
  return hex;
}

std::string ShellMessage(unsigned method) {
  return ombru::FormatString("%02x%02x0000", method & 0xFF, method >> 8) + "00000000" + "0b000000" +
         std::string(32, '0') + "00000000" + "00000000";
}

}  // namespace

START_TEST(shell_transitions_are_reported) {
  RuntimeStandIn runtime;
  LogCollector collector;
  lab::Agent agent;

  // No shell in this session yet: the first tick reports its termination.
  std::vector<std::string> texts = collector.WaitForInfoTexts(4);
  ok(Bracketed(texts, 2) == "[Detected shell termination][Notifying OMBR of shell state change]",
     "agent without shell: %s\n", Bracketed(texts, 2).c_str());
  std::vector<std::string> sent = InvokedMessages(runtime, 1);
  ok(sent.size() == 1 && sent[0] == ShellMessage(922), "922 expected: %s\n",
     sent.empty() ? "" : sent[0].c_str());
  const auto connects = runtime.Calls("Connect");
  ok(connects.size() == 1 && connects[0].arguments.at(0) == "WINSERVER:127.0.0.1:34348" &&
         connects[0].arguments.at(1) == "25",
     "connected to the runtime's target first\n");

  lab::ShellStandIn shell;
  ok(shell.Running(), "shell stand-in did not start\n");
  texts = collector.WaitForInfoTexts(6);
  ok(Bracketed(texts, 4) == "[Detected shell start][Notifying OMBR of shell state change]",
     "shell start: %s\n", Bracketed(texts, 4).c_str());
  sent = InvokedMessages(runtime, 2);
  ok(sent.size() == 2 && sent[1] == ShellMessage(923), "923 expected: %s\n",
     sent.size() < 2 ? "" : sent[1].c_str());

  // Nothing changes, nothing is reported.
  Sleep(500);
  ok(collector.Messages(InfoPipe()).size() == 6 && runtime.Calls("Invoke").size() == 2,
     "quiet while the shell runs: %s\n", Bracketed(collector.WaitForInfoTexts(0), 6).c_str());

  shell.Stop();
  texts = collector.WaitForInfoTexts(8);
  ok(Bracketed(texts, 6) == "[Detected shell termination][Notifying OMBR of shell state change]",
     "shell end: %s\n", Bracketed(texts, 6).c_str());
  sent = InvokedMessages(runtime, 3);
  ok(sent.size() == 3 && sent[2] == ShellMessage(922), "922 expected after the shell ends\n");

  agent.Exit();
  ok(runtime.UnbalancedObjects().empty(), "every runtime object released\n");
}

START_TEST(held_up_report_never_ends_on_a_stale_state) {
  lab::ShellStandIn shell;
  RuntimeStandIn runtime;
  runtime.HoldConnect(1500);
  LogCollector collector;
  lab::Agent agent;
  collector.WaitForMessages(InfoPipe(), 2);
  // The report of the shell's end is held up at the runtime while the shell starts again.
  ok(shell.Toggle(), "the shell window did not go\n");
  collector.WaitForMessages(InfoPipe(), 4);
  ok(shell.Toggle(), "the shell window did not come back\n");
  const auto texts = collector.WaitForInfoTexts(6);
  ok(Bracketed(texts, 2) ==
         "[Detected shell termination][Notifying OMBR of shell state change]"
         "[Detected shell start][Notifying OMBR of shell state change]",
     "both transitions logged: %s\n", Bracketed(texts, 2).c_str());
  const std::vector<std::string> sent = InvokedMessages(runtime, 2);
  ok(sent.size() == 2 && sent.back() == ShellMessage(923),
     "the runtime's last report must be the running shell: %s\n",
     sent.empty() ? "" : sent.back().c_str());
  ok(agent.Exit() == 0, "exit code\n");
}
