// One agent through a long session: many setting-change broadcasts and many shell transitions.
// Nothing may be lost and no handle may be left behind.
#include <windows.h>

#include <string>

#include "harness/test.h"
#include "drivers/agent.h"
#include "drivers/log_collector.h"
#include "drivers/process.h"
#include "drivers/runtime_record.h"
#include "drivers/session_input.h"
#include "drivers/shell.h"

using namespace lab;

namespace {

constexpr int kTransitions = 500;
constexpr int kBroadcasts = 10000;

void Broadcast() {
  for (int i = 0; i < kBroadcasts; ++i)
    BroadcastSettingChange("Policy");
}

size_t CountTexts(const LogCollector& collector, const std::string& text) {
  size_t count = 0;
  for (const std::string& record : collector.Messages(InfoPipe())) {
    count += record.compare(0, text.size() + 1, text + "|") == 0;
  }
  return count;
}

}  // namespace

START_TEST(long_session) {
  RuntimeStandIn runtime;
  LogCollector collector("many");
  ShellStandIn shell;
  Agent agent;

  // Warm up, so that what the system allocates once is not counted as a leak.
  for (int i = 0; i < 10; ++i)
    shell.Toggle(), runtime.WaitForCalls("Invoke", i + 1);
  for (int i = 0; i < 100; ++i)
    BroadcastSettingChange("Policy");
  const DWORD handlesBefore = agent.Handles();

  // The broadcasts first, then the transitions: each record then has the collector to itself, so
  // none can lose the race for a free pipe instance that the log's single wait allows.
  Broadcast();
  int transitions = 10;
  for (; transitions < kTransitions; ++transitions) {
    if (!shell.Toggle() || runtime.WaitForCalls("Invoke", transitions + 1).size() !=
                               static_cast<size_t>(transitions + 1)) {
      break;
    }
  }
  ok(transitions == kTransitions, "stopped after %d transitions\n", transitions);

  const DWORD handlesAfter = agent.Handles();
  ok(handlesBefore > 0 && handlesAfter <= handlesBefore + 16, "handles grew from %lu to %lu\n",
     handlesBefore, handlesAfter);

  // Every transition was told to the runtime once, alternately stopped and started.
  const auto invokes = runtime.Calls("Invoke");
  ok(invokes.size() == static_cast<size_t>(kTransitions), "%zu notifications for %d transitions\n",
     invokes.size(), kTransitions);
  size_t outOfOrder = 0;
  for (size_t i = 0; i < invokes.size(); ++i) {
    outOfOrder += invokes[i].arguments.at(1).rfind(i % 2 == 0 ? "9a03" : "9b03", 0) != 0;
  }
  ok(outOfOrder == 0, "%zu notifications report the wrong state\n", outOfOrder);

  // Every record reached the collector.
  const size_t expected = 2 + 2 * kTransitions + 100 + kBroadcasts;
  const auto records = collector.WaitForMessages(InfoPipe(), expected, 30000);
  ok(records.size() == expected, "%zu records, expected %zu\n", records.size(), expected);
  ok(CountTexts(collector, "OMBRU::OnSettingChange::Policy") == 100 + kBroadcasts,
     "%zu setting changes logged\n", CountTexts(collector, "OMBRU::OnSettingChange::Policy"));
  ok(CountTexts(collector, "Notifying OMBR of shell state change") == kTransitions,
     "%zu notifications logged\n", CountTexts(collector, "Notifying OMBR of shell state change"));

  ok(agent.Exit() == 0, "agent exit code\n");
  ok(runtime.UnbalancedObjects().empty(), "runtime objects left referenced\n");
}
