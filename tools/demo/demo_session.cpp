// Plays one whole session of the real ombru.exe against the lab's stand-ins and prints a
// timeline: seconds since the start, where something arrived, and what, field by field. The demo
// serves the two log pipes itself, as the runtime's log collector would. At the end it draws the
// same timeline as an SVG sequence diagram.
//
//   demo_session.exe [--svg PATH]   (default: demo_session.svg beside the demo)
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "common/invoke_message.h"
#include "demo/sequence_svg.h"
#include "demo/timeline.h"
#include "drivers/debug_output.h"
#include "drivers/directory_client.h"
#include "drivers/message_box.h"
#include "drivers/process.h"
#include "drivers/runtime_record.h"
#include "drivers/services.h"
#include "drivers/session_input.h"
#include "drivers/shell.h"
#include "framework/unique_handle.h"
#include "log_viewer/pipe_server.h"
#include "log_viewer/refusal.h"
#include "log_viewer/record_text.h"
#include "log_viewer/terminal_text.h"
#include "log_viewer/text_encoding.h"

using namespace lab;

namespace {

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

demo::EventFields InvokeFields(const ParsedMessage& message) {
  demo::EventFields fields = {
      {"method", std::to_string(message.methodId) + " " + MethodName(message.methodId)},
      {"object", std::to_string(message.objectId)}};
  const char* names[] = {"user", "domain", "token", "process"};
  for (size_t i = 0; i < message.inArguments.size() && i < 4; ++i) {
    const ParsedArgument& argument = message.inArguments[i];
    fields.emplace_back(names[i], argument.type == 2 ? "\"" + ArgumentString(argument) + "\""
                                                     : std::to_string(ArgumentUInt32(argument)));
  }
  return fields;
}

// What the peers recorded since the last look, handed to the timeline with their own times.
class Peers {
 public:
  Peers(demo::Timeline& timeline, const RuntimeStandIn& runtime, const ConsoleRecord& console,
        const ServiceStandIns& services, const DebugOutputCapture& debug)
      : timeline(timeline), runtime(runtime), console(console), services(services), debug(debug) {}

  void Collect(DWORD watchdogId = 0) {
    const auto calls = runtime.Calls();
    for (; runtimeSeen < calls.size(); ++runtimeSeen)
      AddRuntimeCall(calls[runtimeSeen]);
    const auto starts = console.Starts();
    for (; consoleSeen < starts.size(); ++consoleSeen) {
      const ConsoleStart& start = starts[consoleSeen];
      timeline.Add(start.timeMs, "console", "started",
                   {{"file", start.module},
                    {"args", start.arguments},
                    {"show", std::to_string(start.showCommand)}});
    }
    const auto started = services.Starts();
    for (; servicesSeen < started.size(); ++servicesSeen) {
      timeline.Add(started[servicesSeen].timeMs, "service",
                   started[servicesSeen].name + " started");
    }
    if (watchdogId) {
      for (const auto& output : debug.Outputs(watchdogId))
        timeline.Add(output.timeMs, "debug", output.text);
    }
  }

 private:
  void AddRuntimeCall(const RuntimeCall& call) {
    if (call.operation == "Invoke") {
      const std::vector<uint8_t> bytes = FromHex(call.arguments.at(1));
      if (const auto message = ParseInvokeMessage(bytes.data(), bytes.size())) {
        timeline.Add(call.timeMs, "runtime", "Invoke, " + call.arguments.at(0) + " bytes",
                     InvokeFields(*message));
      }
      return;
    }
    for (const char* shown :
         {"Connect", "GetOperation", "CompleteOperation", "FailOperation", "GetStorageType"}) {
      if (call.operation != shown)
        continue;
      std::string arguments;
      for (const std::string& argument : call.arguments)
        arguments += " " + argument;
      timeline.Add(call.timeMs, "runtime", call.operation + arguments);
    }
  }

  demo::Timeline& timeline;
  const RuntimeStandIn& runtime;
  const ConsoleRecord& console;
  const ServiceStandIns& services;
  const DebugOutputCapture& debug;
  size_t runtimeSeen = 0, consoleSeen = 0, servicesSeen = 0;
};

bool WritePicture(const demo::Timeline& timeline, const std::string& path) {
  const std::string svg = demo::SequenceSvg(timeline.Printed(), timeline.EpochMs());
  const ombru::FileHandle file(
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file &&
         WriteFile(file.Get(), svg.data(), static_cast<DWORD>(svg.size()), &written, nullptr) &&
         written == svg.size();
}

// The picture's path as the person who started the demo names it: under Wine, the host's own path
// of the file; on Windows, the path itself.
std::string PathOnHost(const std::string& path) {
  using ToUnixPath = char*(CDECL*)(const wchar_t*);
  const auto toUnixPath = reinterpret_cast<ToUnixPath>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  char* unixPath =
      toUnixPath ? toUnixPath(viewer::WideFromCodePage(path, CP_ACP).c_str()) : nullptr;
  if (!unixPath)
    return path;
  const std::string hostPath = unixPath;
  HeapFree(GetProcessHeap(), 0, unixPath);
  return hostPath;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string picture =
      argc == 3 && std::string(argv[1]) == "--svg" ? argv[2] : SiblingPath("demo_session.svg");
  demo::Timeline timeline(NowMs());
  std::printf("    time  where    what\n");

  // The session's surroundings: runtime, directory client, console settings, services.
  RuntimeStandIn runtime;
  runtime.SetStorageType("2");
  DirectoryClientSettings identity;
  identity.identity = "CN=alice.O=CORP";
  ConfigureDirectoryClient(identity);
  UseDirectoryClient(DirectoryClient::Complete);
  DeleteMachineKey("Software\\Velmora\\OMBR");
  DeleteMachineKey("Software\\Velmora\\TSL");
  SetMachineString("Software\\Velmora\\TSL", "Path", SiblingPath("console").c_str());
  ConsoleRecord console;
  ServiceStandIns services("stay");
  DebugOutputCapture debug;
  Peers peers(timeline, runtime, console, services, debug);

  viewer::LogPipeServer collector([&](const viewer::ClientMessage& message) {
    demo::EventFields fields;
    for (const auto& field : viewer::RecordFields(*message.pipe, message.bytes))
      fields.emplace_back(field.first, viewer::TerminalSafe(field.second));
    timeline.Add(NowMs(), message.pipe->label, "record", fields);
  });
  viewer::LogPipeServer::Failure failure;
  if (!collector.Start(failure)) {
    return viewer::RefuseToServe(failure, stderr);
  }

  // Each step shows what happened during the one before, in time order.
  auto step = [&](const char* what, DWORD watchdogId = 0) {
    Sleep(100);  // what is still on its way
    peers.Collect(watchdogId);
    timeline.Flush();
    std::printf("\n");
    timeline.Add(NowMs(), "demo", std::string("-- ") + what);
    timeline.Flush();
  };

  step("the agent starts: ombru.exe, in a session with the Novell client and no shell yet");
  ChildProcess agent(SiblingPath("ombru.exe"), "");
  WaitForAgentFrame(agent);
  runtime.WaitForSent(901, 1, 5000);
  runtime.WaitForSent(922, 1, 5000);

  step("the desktop shell starts");
  ShellStandIn shell;
  timeline.Add(NowMs(), "shell", "shell window created");
  runtime.WaitForSent(923, 1, 5000);

  step("the user's directory identity changes; an \"Environment\" broadcast follows");
  identity.identity = "CN=bob.O=CORP";
  ConfigureDirectoryClient(identity);
  BroadcastSettingChange("Environment");
  runtime.WaitForSent(901, 2, 5000);

  step("the runtime's storage settings change: a \"VLMStorageSettings\" broadcast");
  BroadcastSettingChange("VLMStorageSettings");
  runtime.WaitForSent(901, 3, 5000);

  step("the user presses Ctrl+Shift+F");
  PressHotKey('F');
  console.WaitForStarts(1);

  step("the runtime starts ombru.exe /OPKEY:42 for a pending message");
  runtime.SetOperation("11,7,2,1,Your session ends at 18:00.");
  {
    ChildProcess pending(SiblingPath("ombru.exe"), "/OPKEY:42");
    const MessageBoxSeen box = AcknowledgeMessageBox(pending.MainThreadId());
    timeline.Add(NowMs(), "screen", "message box, acknowledged with OK",
                 {{"caption", box.caption}, {"text", box.text}});
    pending.WaitForExit(10000);
    timeline.Add(NowMs(), "demo",
                 "ombru.exe /OPKEY:42 ended with exit code " + std::to_string(pending.ExitCode()));
  }
  runtime.SetOperation(nullptr);

  step("a watchdog waits for a process, which ends after half a second");
  DWORD watchdogId = 0;
  {
    ChildProcess watched(SiblingPath("waiter.exe"), "500");
    const std::string option = "/WATCHDOG:" + std::to_string(watched.Id());
    ChildProcess watchdog(SiblingPath("ombru.exe"), option);
    watchdog.WaitForExit(20000);
    debug.WaitForTexts(watchdog.Id(), 1, 2000);
    watchdogId = watchdog.Id();
    timeline.Add(
        NowMs(), "demo",
        "ombru.exe " + option + " ended with exit code " + std::to_string(watchdog.ExitCode()));
  }

  step("the desktop shell ends", watchdogId);
  shell.Stop();
  timeline.Add(NowMs(), "shell", "shell window destroyed");
  runtime.WaitForSent(922, 2, 5000);

  step("WM_QUIT with wParam 0 reaches the agent's main thread");
  PostToThread(agent.MainThreadId(), WM_QUIT, 0, 0);
  agent.WaitForExit(10000);
  timeline.Add(NowMs(), "demo",
               "the agent ended with exit code " + std::to_string(agent.ExitCode()));
  Sleep(100);
  peers.Collect();
  timeline.Flush();

  DeleteMachineKey("Software\\Velmora\\TSL");
  ConfigureDirectoryClient({});
  if (!WritePicture(timeline, picture)) {
    std::fprintf(stderr, "demo: could not write %s\n", picture.c_str());
    return 1;
  }
  std::printf("\nThe session as a picture (an SVG sequence diagram, for any browser): %s\n",
              PathOnHost(picture).c_str());
  return agent.ExitCode() == 0 ? 0 : 1;
}
