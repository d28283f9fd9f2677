// The agent's hidden frame and run loop, seen from outside the real ombru.exe.
#include <windows.h>

#include <string>

#include "harness/test.h"
#include "drivers/log_collector.h"
#include "drivers/process.h"
#include "drivers/runtime_record.h"

using lab::ChildProcess;
using lab::RuntimeStandIn;

namespace {

constexpr WPARAM kExitCommand = 0xE141;

std::string ClassName(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

ChildProcess StartAgent(WORD showCommand = SW_SHOWNORMAL) {
  return ChildProcess(lab::SiblingPath("ombru.exe"), "", showCommand);
}

size_t Count(const RuntimeStandIn& runtime, const char* operation, const char* argument) {
  size_t count = 0;
  for (const auto& call : runtime.Calls(operation)) {
    if (!call.arguments.empty() && call.arguments[0] == argument)
      ++count;
  }
  return count;
}

}  // namespace

START_TEST(frame_is_hidden_and_quit_code_is_exit_code) {
  RuntimeStandIn runtime;
  for (WORD show : {SW_SHOWNORMAL, SW_SHOWMAXIMIZED, SW_SHOW}) {
    ChildProcess agent = StartAgent(show);
    HWND frame = lab::WaitForThreadWindow(agent.MainThreadId(), "ATL:");
    ok(frame != nullptr, "show %u: no frame window\n", show);
    Sleep(200);
    ok(!IsWindowVisible(frame), "show %u: the frame must stay hidden\n", show);
    ok(GetWindowTextLengthA(frame) == 0, "show %u: the title should be empty\n", show);
    ok(ClassName(frame).rfind("ATL:", 0) == 0, "class name [%s]\n", ClassName(frame).c_str());
    const LONG_PTR style = GetWindowLongPtrA(frame, GWL_STYLE);
    ok((style & ~WS_VISIBLE) == 0x06CF0000, "style %#llx\n", static_cast<long long>(style));
    const LONG_PTR exStyle = GetWindowLongPtrA(frame, GWL_EXSTYLE);
    ok((exStyle & 0x00040100) == 0x00040100, "extended style %#llx\n",
       static_cast<long long>(exStyle));
    ok(GetMenu(frame) != nullptr, "the frame carries menu 128\n");

    ok(lab::PostToThread(agent.MainThreadId(), WM_QUIT, 7, 0), "cannot post WM_QUIT\n");
    ok(agent.WaitForExit(10000) && agent.ExitCode() == 7, "show %u: exit code %lu\n", show,
       agent.ExitCode());
  }
  ok(runtime.UnbalancedObjects().empty(), "every runtime object released, also after WM_QUIT\n");
}

START_TEST(exit_command_destroys_frame_and_ends_agent) {
  RuntimeStandIn runtime;
  ChildProcess agent = StartAgent();
  HWND frame = lab::WaitForThreadWindow(agent.MainThreadId(), "ATL:");
  ok(frame != nullptr, "no frame window\n");
  PostMessageA(frame, WM_COMMAND, kExitCommand, 0);
  ok(agent.WaitForExit(10000), "the agent must end when its frame is destroyed\n");
  ok(agent.ExitCode() == 0, "exit code %lu\n", agent.ExitCode());
  ok(Count(runtime, "Release", "0") == 1 && runtime.Calls("Destroyed").size() == 1,
     "the session object is released exactly once\n");
  ok(runtime.UnbalancedObjects().empty(), "unbalanced references\n");

  // The guard went with the first agent.
  ChildProcess next = StartAgent();
  ok(!next.WaitForExit(1000), "a new agent can start in the same session\n");
  ok(lab::WaitForThreadWindow(next.MainThreadId(), "ATL:") != nullptr, "new agent has a frame\n");
  lab::PostToThread(next.MainThreadId(), WM_QUIT, 0, 0);
  ok(next.WaitForExit(10000), "the new agent did not end\n");
}
