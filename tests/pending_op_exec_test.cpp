// The real pending-operation mode against the runtime stand-in: the message box the user sees
// and what the runtime is told.
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness/test.h"
#include "drivers/hung_application.h"
#include "drivers/log_collector.h"
#include "drivers/message_box.h"
#include "drivers/process.h"
#include "drivers/runtime_record.h"

using namespace lab;

namespace {

std::string ComputerName() {
  char name[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  GetComputerNameA(name, &size);
  return name;
}

std::string Arguments(const RuntimeCall& call) { return Bracketed(call.arguments); }

struct Run {
  MessageBoxSeen box;
  DWORD exitCode;
};

Run RunOperation(const std::string& commandLine, bool expectBox) {
  ChildProcess run(SiblingPath("ombru.exe"), commandLine);
  Run result;
  result.box = AcknowledgeMessageBox(run.MainThreadId(), expectBox ? 10000 : 300);
  ok(run.WaitForExit(10000), "%s: did not end\n", commandLine.c_str());
  result.exitCode = run.ExitCode();
  return result;
}

}  // namespace

START_TEST(messages_shown_and_completed) {
  static const struct {
    uint32_t typeMask;
    const char* caption;
  } cases[] = {{0, ""}, {1, "Information"}, {2, "Warning Message"}, {7, "Critical Message"}};
  for (const auto& c : cases) {
    RuntimeStandIn runtime;
    const std::string text = "Your session ends at 18:00 | %s";
    runtime.SetOperation(
        ombru::FormatString("11,7,%u,%u,%s", c.typeMask, c.typeMask == 7 ? 3u : 1u, text.c_str())
            .c_str());
    const Run run = RunOperation("/OPKEY:42", true);
    ok(run.box.found, "mask %u: no message box\n", c.typeMask);
    ok(run.box.caption == c.caption, "mask %u: caption [%s]\n", c.typeMask,
       run.box.caption.c_str());
    ok(run.box.text == text, "mask %u: text [%s]\n", c.typeMask, run.box.text.c_str());
    ok(run.exitCode == 0, "mask %u: exit code %lu\n", c.typeMask, run.exitCode);
    const auto completed = runtime.Calls("CompleteOperation");
    ok(completed.size() == 1 && Arguments(completed[0]) == "[" + ComputerName() + "][42]",
       "mask %u: CompleteOperation %s\n", c.typeMask,
       completed.empty() ? "" : Arguments(completed[0]).c_str());
    ok(runtime.Calls("FreeOperation").size() == 1 && runtime.Calls("FailOperation").empty(),
       "mask %u: freed once, nothing failed\n", c.typeMask);
    ok(runtime.Calls("FreeOperation")[0].arguments.at(0) ==
           runtime.Calls("Served")[0].arguments.at(0),
       "mask %u: the served record is the one freed\n", c.typeMask);
  }
}

START_TEST(hung_foreground_application_holds_up_no_message) {
  const HungApplication hung;
  DWORD_PTR answer = 0;
  ok(hung.Window() && GetForegroundWindow() == hung.Window() &&
         !SendMessageTimeoutA(hung.Window(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, &answer),
     "no hung application in the foreground\n");
  RuntimeStandIn runtime;
  runtime.SetOperation("11,7,1,1,Shown beside a hung application");
  const double deadline = NowMs() + 15000;
  ChildProcess run(SiblingPath("ombru.exe"), "/OPKEY:3");
  const MessageBoxSeen box = AcknowledgeMessageBox(run.MainThreadId(), 15000);
  ok(box.found && box.text == "Shown beside a hung application", "box found %d, text [%s]\n",
     box.found, box.text.c_str());
  ok(run.WaitForExit(static_cast<DWORD>(std::max(0.0, deadline - NowMs()))) && run.ExitCode() == 0,
     "not ended within 15 s with 0: %lu\n", run.ExitCode());
  ok(runtime.Calls("CompleteOperation").size() == 1 && runtime.Calls("FailOperation").empty(),
     "completed %zu times\n", runtime.Calls("CompleteOperation").size());
}

START_TEST(rejected_and_invalid_records) {
  static const struct {
    const char* served;
    const char* fail;
    const char* failed;  // FailOperation's arguments after the computer name, or null
    size_t freed;
  } cases[] = {
      {"11,7,1,0,hidden", nullptr, "[7][4][0x80070057][Unknown message type]", 1},
      {"11,7,1,2,hidden", nullptr, "[7][4][0x80070057][Message type not supported]", 1},
      {"11,6,1,1,hidden", nullptr, nullptr, 1},
      {"12,7,1,1,hidden", nullptr, nullptr, 1},
      {"11,7,-", nullptr, nullptr, 1},
      {"11,7,1,1,hidden", "getoperation", nullptr, 0},
  };
  for (const auto& c : cases) {
    RuntimeStandIn runtime;
    if (c.fail)
      runtime.SetFailures(c.fail);
    runtime.SetOperation(c.served);
    const Run run = RunOperation("/opkey:7", false);
    ok(!run.box.found, "%s: nothing may be shown\n", c.served);
    ok(run.exitCode == 0, "%s: exit code %lu\n", c.served, run.exitCode);
    const auto failed = runtime.Calls("FailOperation");
    if (c.failed) {
      ok(failed.size() == 1 && Arguments(failed[0]) == "[" + ComputerName() + "]" + c.failed,
         "%s: FailOperation %s\n", c.served, failed.empty() ? "" : Arguments(failed[0]).c_str());
    } else {
      ok(failed.empty(), "%s: nothing reported\n", c.served);
    }
    ok(runtime.Calls("CompleteOperation").empty(), "%s: nothing completed\n", c.served);
    ok(runtime.Calls("FreeOperation").size() == c.freed, "%s: freed %zu times\n", c.served,
       runtime.Calls("FreeOperation").size());
    ok(runtime.UnbalancedObjects().empty(), "%s: session object released\n", c.served);
  }
}

START_TEST(keys_storage_types_and_log) {
  static const struct {
    const char* commandLine;
    const char* key;
    const char* storageType;
    const char* line;
  } cases[] = {
      {"/OPKEY:", "0", nullptr, "Pending has a NET_LOCAL type"},
      {"/OPKEY:-1", "4294967295", "1", "Pending has a NET_LOCAL type"},
      {"x/opkey:12 /WATCHDOG:34", "12", "2", "Pending has a NET_NT type"},
      {"/OPKEY:99999999999", "2147483647", "5", "Pending has a NET_OTHER type"},
  };
  for (const auto& c : cases) {
    RuntimeStandIn runtime;
    runtime.SetStorageType(c.storageType);
    LogCollector collector;
    const Run run = RunOperation(c.commandLine, false);
    ok(run.exitCode == 0, "%s: exit code\n", c.commandLine);
    const auto asked = runtime.Calls("GetOperation");
    ok(asked.size() == 1 && Arguments(asked[0]) == "[" + ComputerName() + "][" + c.key + "]",
       "%s: GetOperation %s\n", c.commandLine, asked.empty() ? "" : Arguments(asked[0]).c_str());
    collector.WaitForMessages(InfoPipe(), 3);
    ok(Bracketed(collector.WaitForInfoTexts(0), 1) ==
           std::string("[Creating CPendingOpExec][") + c.line + "]",
       "%s: logged %s\n", c.commandLine, Bracketed(collector.WaitForInfoTexts(0), 1).c_str());
  }

  RuntimeStandIn unregistered(false);
  LogCollector collector;
  const Run run = RunOperation("/OPKEY:5", false);
  ok(run.exitCode == 0 && !run.box.found, "without the runtime's class\n");
  collector.WaitForMessages(InfoPipe(), 2);
  Sleep(200);
  ok(Bracketed(collector.WaitForInfoTexts(0), 1) == "[Creating CPendingOpExec]", "logged %s\n",
     Bracketed(collector.WaitForInfoTexts(0), 1).c_str());
}
