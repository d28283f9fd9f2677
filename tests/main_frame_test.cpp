// CMainFrame's handlers called directly, in this process: its messages are sent, never pumped,
// so its own timer never fires and each handler's effect is its own.
#include <windows.h>

#include <string>

#include "framework/wtl_app_module.h"
#include "harness/test.h"
#include "monitor/main_frame.h"
#include "res/resource.h"
#include "drivers/log_collector.h"
#include "drivers/runtime_record.h"

using lab::InfoPipe;

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
