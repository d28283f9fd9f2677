// Plays one whole session of the real ombru.exe against the stand-ins and prints a timeline:
// seconds since the start, where something arrived, and what, field by field. The log viewer
// serves the two log pipes and prints their records into the same timeline.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/debug_output.h"
#include "support/invoke_message.h"
#include "support/message_box.h"
#include "support/process.h"
#include "support/runtime_stand_in.h"
#include "support/services.h"
#include "support/session_input.h"
#include "support/stand_ins.h"

using namespace testsupport;

namespace {

double epochMs = 0;
size_t runtimeShown = 0, consoleShown = 0;

void Line(double atMs, const char* where, const std::string& what) {
  std::printf("%9.3f  %-8s %s\n", (atMs - epochMs) / 1000.0, where, what.c_str());
  std::fflush(stdout);
}

void Step(const std::string& what) {
  std::printf("\n");
  Line(NowMs(), "demo", "-- " + what);
}

void Field(const char* name, const std::string& value) {
  std::printf("           %-8s %s\n", name, value.c_str());
}

const char* MethodName(uint32_t method) {
  switch (method) {
    case 901:
      return "METHOD_USER_CHANGED";
    case 922:
      return "METHOD_SHELL_STOPPED";
    case 923:
      return "METHOD_SHELL_STARTED";
  }
  return "?";
}

void ShowInvoke(const RuntimeCall& call) {
  const std::vector<uint8_t> bytes = FromHex(call.arguments.at(1));
  const auto message = ParseInvokeMessage(bytes.data(), bytes.size());
  if (!message)
    return;
  Line(call.timeMs, "runtime", "Invoke, " + call.arguments.at(0) + " bytes");
  Field("method", std::to_string(message->methodId) + " " + MethodName(message->methodId));
  Field("object", std::to_string(message->objectId));
  const char* names[] = {"user", "domain", "token", "process"};
  for (size_t i = 0; i < message->inArguments.size() && i < 4; ++i) {
    const ParsedArgument& argument = message->inArguments[i];
    Field(names[i], argument.type == 2 ? "\"" + ArgumentString(argument) + "\""
                                       : std::to_string(ArgumentUInt32(argument)));
  }
}

void ShowRuntime(const RuntimeStandIn& runtime) {
  const auto calls = runtime.Calls();
  for (; runtimeShown < calls.size(); ++runtimeShown) {
    const RuntimeCall& call = calls[runtimeShown];
    if (call.operation == "Invoke") {
      ShowInvoke(call);
    } else if (call.operation == "Connect" || call.operation == "GetOperation" ||
               call.operation == "CompleteOperation" || call.operation == "FailOperation" ||
               call.operation == "GetStorageType") {
      std::string arguments;
      for (const std::string& argument : call.arguments)
        arguments += " " + argument;
      Line(call.timeMs, "runtime", call.operation + arguments);
    }
  }
}

void ShowConsole(const ConsoleRecord& console) {
  const auto starts = console.Starts();
  for (; consoleShown < starts.size(); ++consoleShown) {
    Line(NowMs(), "console", "started");
    Field("file", starts[consoleShown].module);
    Field("args", starts[consoleShown].arguments);
    Field("show", std::to_string(starts[consoleShown].showCommand));
  }
}

void ShowDebugOutput(const DebugOutputCapture& debug, DWORD processId) {
  for (const std::string& text : debug.Texts(processId))
    Line(NowMs(), "debug", text);
}

void WaitForSent(const RuntimeStandIn& runtime, uint32_t method, size_t count) {
  runtime.WaitForSent(method, count, 5000);
  Sleep(100);  // let the log viewer print what came with it
}

}  // namespace

int main() {
  epochMs = NowMs();
  std::printf("    time  where    what\n");

  // The session's surroundings: runtime, directory client, console settings, services.
  RuntimeStandIn runtime;
  runtime.SetStorageType("2");
  DirectoryClientSettings identity;
  identity.identity = "CN=alice.O=CORP";
  ConfigureDirectoryClient(identity);
  DeleteMachineKey("Software\\Velmora\\OMBR");
  DeleteMachineKey("Software\\Velmora\\TSL");
  SetMachineString("Software\\Velmora\\TSL", "Path", SiblingPath("console").c_str());
  ConsoleRecord console;
  ServiceStandIns services("stop");
  DebugOutputCapture debug;

  char viewerLine[128];
  std::snprintf(viewerLine, sizeof(viewerLine), "--epoch %.3f", epochMs);
  ChildProcess viewer(SiblingPath("log_viewer.exe"), viewerLine);
  for (int i = 0; i < 500 && !WaitNamedPipeA("\\\\.\\pipe\\VLM.Log.Info", 1); ++i)
    Sleep(10);

  Step("the agent starts: ombru.exe, in a session with the Novell client and no shell yet");
  ChildProcess agent(SiblingPath("ombru.exe"), "", SW_SHOWNORMAL,
                     DirectoryClientFolder(DirectoryClient::Complete).c_str());
  WaitForAgentFrame(agent);
  WaitForSent(runtime, 901, 1);
  WaitForSent(runtime, 922, 1);
  ShowRuntime(runtime);

  Step("the desktop shell starts");
  ShellStandIn shell;
  WaitForSent(runtime, 923, 1);
  ShowRuntime(runtime);

  Step("the user's directory identity changes; an \"Environment\" broadcast follows");
  identity.identity = "CN=bob.O=CORP";
  ConfigureDirectoryClient(identity);
  BroadcastSettingChange("Environment");
  WaitForSent(runtime, 901, 2);
  ShowRuntime(runtime);

  Step("the runtime's storage settings change: a \"VLMStorageSettings\" broadcast");
  BroadcastSettingChange("VLMStorageSettings");
  WaitForSent(runtime, 901, 3);
  ShowRuntime(runtime);

  Step("the user presses Ctrl+Shift+F");
  PressHotKey('F');
  console.WaitForStarts(1);
  Sleep(100);
  ShowConsole(console);

  Step("the runtime starts ombru.exe /OPKEY:42 for a pending message");
  SetEnvironmentVariableA("OMBRU_RUNTIME_OPERATION", "11,7,2,1,Your session ends at 18:00.");
  {
    ChildProcess pending(SiblingPath("ombru.exe"), "/OPKEY:42");
    const MessageBoxSeen box = AcknowledgeMessageBox(pending.MainThreadId());
    Line(NowMs(), "screen", "message box, acknowledged with OK");
    Field("caption", box.caption);
    Field("text", box.text);
    pending.WaitForExit(10000);
    Sleep(100);
    ShowRuntime(runtime);
    Line(NowMs(), "demo",
         "ombru.exe /OPKEY:42 ended with exit code " + std::to_string(pending.ExitCode()));
  }

  Step("a watchdog waits for a process, which ends after half a second");
  {
    ChildProcess watched(SiblingPath("waiter.exe"), "500");
    ChildProcess watchdog(SiblingPath("ombru.exe"), "/WATCHDOG:" + std::to_string(watched.Id()));
    watchdog.WaitForExit(20000);
    debug.WaitForTexts(watchdog.Id(), 1, 2000);
    ShowDebugOutput(debug, watchdog.Id());
    for (const std::string& started : services.Starts())
      Line(NowMs(), "service", started + " started");
    Line(NowMs(), "demo",
         "ombru.exe /WATCHDOG: ended with exit code " + std::to_string(watchdog.ExitCode()));
  }

  Step("the desktop shell ends");
  shell.Stop();
  WaitForSent(runtime, 922, 2);
  ShowRuntime(runtime);

  Step("WM_QUIT with wParam 0 reaches the agent's main thread");
  PostToThread(agent.MainThreadId(), WM_QUIT, 0, 0);
  agent.WaitForExit(10000);
  Sleep(200);
  Line(NowMs(), "demo", "the agent ended with exit code " + std::to_string(agent.ExitCode()));

  viewer.Terminate();
  DeleteMachineKey("Software\\Velmora\\TSL");
  ConfigureDirectoryClient({});
  return agent.ExitCode() == 0 ? 0 : 1;
}
