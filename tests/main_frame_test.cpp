// CMainFrame's handlers called directly, in this process: its messages are sent, never pumped,
// so its own timer never fires and each handler's effect is its own.
#include <windows.h>

#include <atomic>
#include <string>

#include "app/run_loop.h"
#include "framework/unique_handle.h"
#include "framework/wtl_app_module.h"
#include "harness/test.h"
#include "monitor/main_frame.h"
#include "res/resource.h"
#include "drivers/log_collector.h"
#include "drivers/runtime_record.h"

using lab::InfoPipe;

namespace {

// RunMessageLoop on a thread of its own, with the time its frame's window got WM_DESTROY.
struct LoopRun {
  std::atomic<HWND> frame{nullptr};
  std::atomic<double> destroyedMs{0};
  int exitCode = -1;
  bool windowLeft = true;  // whether the window still existed when RunMessageLoop returned
};
LoopRun* loopRun = nullptr;

LRESULT CALLBACK SeeDestroy(int code, WPARAM wParam, LPARAM lParam) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && sent->message == WM_DESTROY && sent->hwnd == loopRun->frame)
    loopRun->destroyedMs = lab::NowMs();
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

DWORD WINAPI RunLoop(void*) {
  CoInitialize(nullptr);
  const HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, SeeDestroy, nullptr, GetCurrentThreadId());
  loopRun->exitCode = RunMessageLoop(SW_HIDE);
  loopRun->windowLeft = IsWindow(loopRun->frame) != FALSE;
  UnhookWindowsHookEx(hook);
  CoUninitialize();
  return 0;
}

}  // namespace

START_TEST(timer_ids_other_than_1_do_nothing) {
  CoInitialize(nullptr);
  WTL::AppModule().Init(GetModuleHandleA(nullptr));
  lab::RuntimeStandIn runtime;
  lab::LogCollector collector;
  CMainFrame frame;
  HWND window = frame.CreateEx(IDR_MAINFRAME);
  ok(window != nullptr, "frame not created\n");
  Sleep(200);
  const size_t before = collector.Messages(InfoPipe()).size();

  for (WPARAM id : {0, 2, 3, 100, 0xFFFF}) {
    ok(SendMessageA(window, WM_TIMER, id, 0) == 0, "timer %u answers 0\n",
       static_cast<unsigned>(id));
  }
  Sleep(200);
  ok(collector.Messages(InfoPipe()).size() == before, "other timer ids log nothing\n");
  ok(runtime.Calls("Invoke").empty(), "other timer ids send nothing\n");

  // No shell here: timer 1 sees the change from the initial "running".
  ok(SendMessageA(window, WM_TIMER, 1, 0) == 0, "timer 1 answers 0\n");
  const auto records = collector.WaitForMessages(InfoPipe(), before + 1);
  ok(records.size() > before && records[before].rfind("Detected shell termination|", 0) == 0,
     "timer 1 compares the shell state: %zu records, first [%s]\n", records.size(),
     records.empty() ? "" : records[0].c_str());
  runtime.WaitForCalls("Invoke", 1);
  DestroyWindow(window);
}

START_TEST(setting_change_section_names) {
  lab::RuntimeStandIn runtime;
  lab::LogCollector collector;
  CMainFrame frame;
  HWND window = frame.CreateEx(IDR_MAINFRAME);
  ok(collector.WaitForMessages(InfoPipe(), 1).size() == 1, "creation looks at the environment\n");

  static const struct {
    LPARAM lParam;
    const char* logged;
  } cases[] = {
      {0, "OMBRU::OnSettingChange::"},
      {5, "OMBRU::OnSettingChange::"},
      {0xFFFF, "OMBRU::OnSettingChange::"},
      {reinterpret_cast<LPARAM>("Policy"), "OMBRU::OnSettingChange::Policy"},
      {reinterpret_cast<LPARAM>("a|b %s"), "OMBRU::OnSettingChange::a|b %s"},
      {reinterpret_cast<LPARAM>(""), "OMBRU::OnSettingChange::"},
  };
  size_t expected = 1;
  for (const auto& c : cases) {
    ok(SendMessageA(window, WM_SETTINGCHANGE, 0, c.lParam) == 0, "answers 0\n");
    const auto records = collector.WaitForMessages(InfoPipe(), ++expected);
    const std::string text =
        records.size() == expected
            ? records.back().substr(0, records.back().rfind('|', records.back().rfind('|') - 1))
            : "";
    ok(text == c.logged, "lParam %#llx: logged [%s]\n", static_cast<long long>(c.lParam),
       text.c_str());
  }
  DestroyWindow(window);
}

START_TEST(window_goes_before_the_frame_object) {
  WTL::AppModule().Init(GetModuleHandleA(nullptr));
  lab::RuntimeStandIn runtime;
  lab::LogCollector collector;
  LoopRun run;
  loopRun = &run;
  DWORD threadId = 0;
  const ombru::Handle thread(CreateThread(nullptr, 0, RunLoop, nullptr, 0, &threadId));
  run.frame = lab::WaitForThreadWindow(threadId, "ATL:");
  collector.WaitForMessages(InfoPipe(), 1);  // created: it has looked at the environment
  lab::PostToThread(threadId, WM_QUIT, 9, 0);
  ok(WaitForSingleObject(thread.Get(), 10000) == WAIT_OBJECT_0, "the loop did not end\n");
  ok(run.exitCode == 9, "exit code %d\n", run.exitCode);
  ok(!run.windowLeft && run.destroyedMs > 0, "the window outlived the loop\n");

  // The frame's own runtime session object is the first one created, at WM_CREATE.
  const auto created = runtime.Calls("Created");
  const long frameObject = created.empty() ? -1 : created[0].object;
  std::vector<lab::RuntimeCall> lastReleases;
  for (const lab::RuntimeCall& call : runtime.Calls("Release")) {
    if (call.object == frameObject && call.arguments.at(0) == "0")
      lastReleases.push_back(call);
  }
  ok(lastReleases.size() == 1 && runtime.UnbalancedObjects().empty(),
     "the frame's object: %zu last releases, unbalanced %s\n", lastReleases.size(),
     lab::Bracketed(runtime.UnbalancedObjects()).c_str());
  ok(!lastReleases.empty() && run.destroyedMs <= lastReleases[0].timeMs,
     "released at %.1f ms, the window destroyed at %.1f ms\n",
     lastReleases.empty() ? 0.0 : lastReleases[0].timeMs, run.destroyedMs.load());
}
