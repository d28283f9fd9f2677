// The agent against a failing world: the runtime refusing, the log collector absent or
// misbehaving, the console missing. In each it keeps working, sends what it can and leaks nothing.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "harness/test.h"
#include "support/agent.h"
#include "support/debug_output.h"
#include "support/log_collector.h"
#include "support/process.h"
#include "support/runtime_stand_in.h"
#include "support/session_input.h"
#include "support/stand_ins.h"

using namespace testsupport;

namespace {

constexpr int kTransitions = 4;

// Shell transitions, each waited for at the runtime when it can see them.
void Transitions(ShellStandIn& shell, const RuntimeStandIn& runtime, const char* operation) {
  for (int i = 0; i < kTransitions; ++i) {
    shell.Toggle();
    if (operation) {
      runtime.WaitForCalls(operation, static_cast<size_t>(i + 1), 15000);
    } else {
      Sleep(300);
    }
  }
}

}  // namespace

START_TEST(runtime_failures) {
  static const struct {
    const char* name;
    bool registered;
    const char* failures;
    const char* seenCall;  // the last call the runtime sees for each notification
    size_t invokes, replies;
  } cases[] = {
      {"class missing", false, nullptr, nullptr, 0, 0},
      {"creation refused", true, "create", nullptr, 0, 0},
      {"Connect failing", true, "connect", "Connect", 0, 0},
      {"Invoke failing", true, "invoke", "Invoke", kTransitions, 0},
  };
  for (const auto& c : cases) {
    ShellStandIn shell;
    RuntimeStandIn runtime(c.registered);
    if (c.failures)
      runtime.SetFailures(c.failures);
    LogCollector collector;
    Agent agent;
    const DWORD handlesBefore = agent.Handles();
    Transitions(shell, runtime, c.seenCall);
    agent.SettingChangeMs("Policy");
    const auto records = collector.WaitForMessages(kInfoPipe, 3 + 2 * kTransitions);
    ok(records.size() == 3 + 2 * kTransitions, "%s: %zu records\n", c.name, records.size());
    ok(runtime.Calls("Invoke").size() == c.invokes, "%s: %zu invokes\n", c.name,
       runtime.Calls("Invoke").size());
    ok(runtime.Calls("FreeReply").size() == c.replies, "%s: replies freed\n", c.name);
    ok(agent.Handles() <= handlesBefore + 8, "%s: handles %lu, before %lu\n", c.name,
       agent.Handles(), handlesBefore);
    agent.Exit(c.name);
    ok(runtime.UnbalancedObjects().empty(), "%s: runtime objects left referenced\n", c.name);
  }
}

START_TEST(collector_absent_busy_byte_mode_slow) {
  static const struct {
    const char* behaviour;  // null: no collector at all
    bool recordsArrive;
    bool debugOutput;
  } cases[] = {
      {nullptr, false, false},
      {"busy", false, false},
      {"byte", false, true},
      {"slow", true, false},
  };
  for (const auto& c : cases) {
    const char* name = c.behaviour ? c.behaviour : "absent";
    ShellStandIn shell;
    RuntimeStandIn runtime;
    DebugOutputCapture debug;
    std::unique_ptr<LogCollector> collector;
    if (c.behaviour)
      collector = std::make_unique<LogCollector>(c.behaviour);
    Agent agent;
    const double settingChangeMs = agent.SettingChangeMs("Policy");
    trace("collector %s: one logged setting change holds the agent's thread %.0f ms\n", name,
          settingChangeMs);
    Transitions(shell, runtime, "Invoke");
    ok(runtime.Calls("Invoke").size() == kTransitions, "%s: %zu notifications sent\n", name,
       runtime.Calls("Invoke").size());
    const size_t expected = 3 + 2 * kTransitions;
    if (collector) {
      const auto records = collector->WaitForMessages(kInfoPipe, c.recordsArrive ? expected : 0,
                                                      c.recordsArrive ? 30000 : 0);
      ok(records.size() == (c.recordsArrive ? expected : 0), "%s: %zu records arrived\n", name,
         records.size());
    }
    const auto texts = debug.Texts(agent.Process().Id());
    if (c.debugOutput) {
      ok(texts.size() >= 2 && texts[0] == "Error 87 setting pipe handle state:",
         "%s: %zu debug outputs\n", name, texts.size());
    } else {
      ok(texts.empty(), "%s: no debug output expected, got %zu\n", name, texts.size());
    }
    agent.Exit(name);
    ok(runtime.UnbalancedObjects().empty(), "%s: runtime objects left referenced\n", name);
  }
}

START_TEST(console_missing) {
  ShellStandIn shell;
  RuntimeStandIn runtime;
  ConsoleRecord console;
  const std::string empty = SiblingPath("no_console_here");
  CreateDirectoryA(empty.c_str(), nullptr);
  SetMachineString("Software\\Velmora\\TSL", "Path", empty.c_str());
  LogCollector collector;
  Agent agent;
  PressHotKey('F');
  collector.WaitForMessages(kInfoPipe, 3);
  agent.SettingChangeMs("Policy");
  const auto records = collector.WaitForMessages(kInfoPipe, 4);
  ok(records.size() == 4 && records[2].rfind("Launching TSL|", 0) == 0 &&
         records[3].rfind("OMBRU::OnSettingChange::Policy|", 0) == 0,
     "the press is logged and the agent goes on\n");
  ok(console.Starts().empty(), "nothing started\n");
  agent.Exit("console missing");
  DeleteMachineKey("Software\\Velmora\\TSL");
}
