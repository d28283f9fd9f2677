// The agent's hidden frame and run loop, seen from outside the real ombru.exe.
#include <windows.h>

#include <string>

#include "drivers/agent.h"
#include "drivers/process.h"
#include "drivers/runtime_record.h"
#include "harness/test.h"

using lab::ChildProcess;
using lab::RuntimeStandIn;

START_TEST(frame_is_hidden_and_quit_code_is_exit_code) {
  RuntimeStandIn runtime;
  for (WORD show : {SW_SHOWNORMAL, SW_SHOWMAXIMIZED, SW_SHOW}) {
    lab::WaitForNoAgent();
    ChildProcess agent(lab::SiblingPath("ombru.exe"), "", show);
    HWND frame = lab::WaitForAgentFrame(agent);
    ok(frame != nullptr, "show %u: no frame window\n", show);
    Sleep(200);
    ok(!IsWindowVisible(frame) && GetWindowTextLengthA(frame) == 0,
       "show %u: the frame must stay hidden, without title\n", show);
    const LONG_PTR style = GetWindowLongPtrA(frame, GWL_STYLE);
    ok((style & ~WS_VISIBLE) == 0x06CF0000, "style %#llx\n", static_cast<long long>(style));
    const LONG_PTR exStyle = GetWindowLongPtrA(frame, GWL_EXSTYLE);
    ok((exStyle & 0x00040100) == 0x00040100, "extended style %#llx\n",
       static_cast<long long>(exStyle));
    ok(GetMenu(frame) != nullptr, "the frame carries menu 128\n");

    ok(lab::PostToThread(agent.MainThreadId(), WM_QUIT, 7, 0), "cannot post WM_QUIT\n");
    agent.WaitForExit(10000);
    ok(agent.ExitCode() == 7, "show %u: exit code %lu\n", show, agent.ExitCode());
  }
  ok(runtime.UnbalancedObjects().empty(), "every runtime object released, also after WM_QUIT\n");
}

START_TEST(exit_command_destroys_frame_and_ends_agent) {
  RuntimeStandIn runtime;
  {
    lab::Agent agent;
    ok(agent.Frame() != nullptr, "no frame window\n");
    ok(agent.Exit() == 0, "exit code after the Exit command\n");
  }
  size_t released = 0;
  for (const auto& call : runtime.Calls("Release"))
    released += call.arguments.at(0) == "0";
  ok(released == 1 && runtime.Calls("Destroyed").size() == 1 && runtime.UnbalancedObjects().empty(),
     "the session object is released exactly once\n");

  // The guard went with the first agent.
  lab::Agent next;
  // Any other command goes on to the frame's default handling, which leaves the frame alone.
  PostMessageA(next.Frame(), WM_COMMAND, 0x1234, 0);
  ok(next.Frame() != nullptr && !next.Process().WaitForExit(500),
     "a new agent can start in the same session, and command 0x1234 does not end it\n");
}
